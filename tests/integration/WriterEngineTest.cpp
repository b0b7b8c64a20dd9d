// The MP3, OGG and WMA writers on the real engine over a generated image,
// with the real lame and oggenc; files are checked by decoding them.

#include "EngineFixture.h"
#include "WindowRig.h"
#include "rip/ErrorLog.h"

#include <QCheckBox>
#include <QProcess>

namespace qm::test {
namespace {

constexpr double kSeconds = 6.0;

struct Probe {
    double duration = -1;
    double bitRate = -1; // the audio stream's, or the file's when the stream has none
    QString tags;
};

Probe probe(const QString& file)
{
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-show_entries", "format=duration,bit_rate:stream=bit_rate:format_tags",
                        "-of", "default=nw=1", file});
    p.waitForFinished(30000);
    Probe out;
    double formatRate = -1;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        if (line.startsWith("duration="))
            out.duration = line.mid(9).toDouble();
        else if (line.startsWith("bit_rate=") && line.mid(9) != "N/A")
            (out.bitRate < 0 ? out.bitRate : formatRate) = line.mid(9).toDouble();
        else if (line.startsWith("TAG:") && !line.startsWith("TAG:encoder"))
            out.tags += line.mid(4) + ";";
    }
    return out;
}

// Child processes of this process that have ended but were not waited for.
int zombies()
{
    int count = 0;
    for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children("/proc/self/task/" + task + "/children");
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& pid : children.readAll().split(' ')) {
            QFile stat("/proc/" + pid.trimmed() + "/stat");
            if (!pid.trimmed().isEmpty() && stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z "))
                ++count;
        }
    }
    return count;
}

class WriterEngine : public EngineTest, public WindowRig {
protected:
    void SetUp() override
    {
        QFile::remove(ErrorLogPath());
        const WrittenImage image = write({.tracks = {{.pcm = TonePcm(kSeconds, 440, 660)}}});
        engine = &openImage(image);
        make(engine);
        window->EnumerateDrives();
        // As the start-up builds them.
        window->rip().wmaTagNames = QStringLiteral("Title,Author,WM/AlbumTitle,Description,Rating,Copyright,WM/Genre,WM/Year")
                                  .split(QLatin1Char(','));
        out = path("out");
        QDir().mkpath(out);
        window->settings().options->txtExtractPath->setText(out);
    }
    int logLines() const
    {
        QFile f(ErrorLogPath());
        return f.open(QIODevice::ReadOnly) ? static_cast<int>(f.readAll().count("\r\n")) : 0;
    }

    CdAudioEngine* engine = nullptr;
    QString out;
};

TEST_F(WriterEngine, Mp3AndOggDecodeToTheTrackAtTheirBitrate)
{
    const struct { const char* format; const char* rate; const char* file; double low, high; } cases[] = {
        {"MP3C", "128", "c.mp3", 128000, 128000},
        {"OGGV", "192", "v ö \"x\".ogg", 96000, 288000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        const QString file = out + "/" + QString::fromUtf8(c.file).remove('"');
        EXPECT_EQ(window->Converter("0", c.format, c.rate, file, true), RipResult::Ripped);
        const Probe p = probe(file);
        EXPECT_NEAR(p.duration, kSeconds, 0.1);
        EXPECT_GE(p.bitRate, c.low);
        EXPECT_LE(p.bitRate, c.high);
        EXPECT_FALSE(engine->BASS_CD_DoorIsLocked(0));
    }
    EXPECT_EQ(logLines(), 0);
    EXPECT_EQ(zombies(), 0);
}

TEST_F(WriterEngine, WmaWithAndWithoutTags)
{
    window->LoadWMAEncoderRates();
    OptionsPanels& o = *window->settings().options;
    ASSERT_GT(o.cmbWMAEncodingBitrate->count(), 4);
    for (QLineEdit* box : o.txtWMATags)
        box->clear();
    o.txtWMATags[0]->setText("Sommer");
    o.txtWMATags[7]->setText("1999");
    // Every rate is the encoder's own test; here the window's tag switch reaches the file.
    for (bool tags : {true, false}) {
        SCOPED_TRACE(tags);
        o.chkWMAFileTags->setChecked(tags);
        ASSERT_EQ(window->ExtractAudioTrackToWMA(0, 128000), RipResult::Ripped);
        const Probe p = probe(out + "/TRACK1.WMA");
        EXPECT_NEAR(p.duration, kSeconds, 0.1);
        EXPECT_EQ(p.tags, tags ? QString("Title=Sommer;WM/Year=1999;") : QString());
    }
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

} // namespace
} // namespace qm::test
