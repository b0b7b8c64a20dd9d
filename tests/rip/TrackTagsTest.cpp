// Tags written into files the real encoders made (named as the rip's temporary
// files), read back with ffprobe and from the bytes ffprobe does not show.
#include "rip/TrackTags.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <csignal>
#include <sys/resource.h>

using namespace qm;

namespace {

QByteArray Output(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0) << qPrintable(program) << p.readAllStandardError().constData();
    return p.readAllStandardOutput();
}

const QString kTitle = QString::fromUtf8("東京 — Ωmega"), kArtist = QString::fromUtf8("Café Zoë");

struct Case {
    TagFormat format;
    QString file;
    QStringList encode; // the encoder with an old tag of its own; the PCM and the file follow
    QByteArray cover;   // only the signature: the type is judged from it
    QString coverCodec;
    std::vector<std::pair<QString, QString>> keys; // ffprobe's keys, lowercased
    QByteArrayList raw;                            // bytes the file must hold
};
void PrintTo(const Case& c, std::ostream* os) { *os << qPrintable(c.file); }

const Case kCases[] = {
    {TagFormat::Mp3, "x.mp3.part", {"lame", "-r", "--little-endian", "--quiet", "--id3v1-only", "--tt", "Old"},
     "\x89PNG\r\n\x1A\nIHDR", "png",
     {{"title", kTitle}, {"artist", kArtist}, {"album_artist", "Various"}, {"album", "Nights"}, {"track", "3/12"},
      {"date", "1999"}, {"genre", "Jazz"}, {"musicbrainz album id", "rel-1"}, {"musicbrainz artist id", "art-2"},
      {"musicbrainz disc id", "disc-4"}},
     // ID3v2.4; UTF-8 (0x03) even where Latin-1 would do; the recording's UFID; a front cover's type
     {"ID3\x04", "\x03" + kArtist.toUtf8(), "\x03" + kTitle.toUtf8(), QByteArray("http://musicbrainz.org\0rec-3", 28),
      QByteArray("\x03image/png\0\x03", 12)}},
    {TagFormat::Ogg, "x.ogg.part", {"oggenc", "-Q", "-r", "-t", "Old", "-o"}, "\xFF\xD8\xFF\xE0JFIF", "mjpeg",
     {{"title", kTitle}, {"artist", kArtist}, {"album_artist", "Various"}, {"album", "Nights"}, {"track", "3"},
      {"tracktotal", "12"}, {"date", "1999"}, {"genre", "Jazz"}, {"musicbrainz_albumid", "rel-1"},
      {"musicbrainz_artistid", "art-2"}, {"musicbrainz_trackid", "rec-3"}, {"musicbrainz_discid", "disc-4"}},
     // the picture block starts with the front cover's kind and its type
     {"METADATA_BLOCK_PICTURE=" + QByteArray("\0\0\0\x03\0\0\0\x0aimage/jpeg", 18).toBase64()}},
};

struct Tags : ::testing::TestWithParam<Case> {
    QTemporaryDir dir;
    QString path = dir.filePath(GetParam().file);
    TrackTags disc{kTitle, kArtist, "Various", "Nights", "1999", "Jazz", 3, 12,
                   "rel-1", "art-2", "rec-3", "disc-4", GetParam().cover};

    QByteArray bytes() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const QString& file, const QByteArray& bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    // A second of 44.1 kHz 16-bit stereo silence.
    void encode()
    {
        ASSERT_NO_FATAL_FAILURE(write(dir.filePath("pcm"), QByteArray(44100 * 4, 0)));
        QStringList args = GetParam().encode;
        const QString program = args.takeFirst();
        Output(program, args + (program == "lame" ? QStringList{dir.filePath("pcm"), path} : QStringList{path, dir.filePath("pcm")}));
    }
    // The container's and the audio stream's tags with lowercased keys, and the duration.
    QVariantMap probe(QJsonArray* streams)
    {
        const QJsonObject json = QJsonDocument::fromJson(
            Output("ffprobe", {"-v", "error", "-show_format", "-show_streams", "-of", "json", path})).object();
        *streams = json["streams"].toArray();
        QVariantMap tags{{"duration", json["format"]["duration"].toString().toDouble()}};
        for (const QJsonValue& from : {json["format"]["tags"], streams->isEmpty() ? QJsonValue() : streams->at(0)["tags"]}) {
            const QJsonObject object = from.toObject();
            for (auto it = object.begin(); it != object.end(); ++it)
                tags[it.key().toLower()] = it.value().toString();
        }
        return tags;
    }
};

TEST_P(Tags, EveryFieldAndTheCoverReadBackAndTheAudioStillPlays)
{
    ASSERT_NO_FATAL_FAILURE(encode());
    const Case& c = GetParam();
    QString why;
    ASSERT_TRUE(WriteTags(path, c.format, disc, &why)) << qPrintable(why);
    QJsonArray streams;
    const QVariantMap tags = probe(&streams);
    for (const auto& [key, value] : c.keys)
        EXPECT_EQ(tags.value(key).toString(), value) << qPrintable(key);
    EXPECT_NEAR(tags["duration"].toDouble(), 1.0, 0.1);
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams.at(1)["disposition"]["attached_pic"].toInt(), 1);
    EXPECT_EQ(streams.at(1)["codec_name"].toString(), c.coverCodec);
    for (const QByteArray& raw : c.raw)
        EXPECT_TRUE(bytes().contains(raw)) << raw.toHex().constData();
    EXPECT_FALSE(bytes().right(128).startsWith("TAG")) << "the encoder's ID3v1 tag stays";

    // Tagged again with only a title: every other field and the cover go.
    TrackTags only;
    only.title = "Only";
    ASSERT_TRUE(WriteTags(path, c.format, only, nullptr));
    QVariantMap few = probe(&streams);
    EXPECT_EQ(few.take("title").toString(), "Only");
    for (const auto& [key, value] : c.keys)
        EXPECT_FALSE(few.contains(key)) << qPrintable(key);
    EXPECT_EQ(streams.size(), 1);
}

TEST_P(Tags, AFileThatIsNotAudioIsRefusedAndLeftAsItWas)
{
    QByteArray noise(20000, 0);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    ASSERT_NO_FATAL_FAILURE(write(path, noise));
    QString why;
    EXPECT_FALSE(WriteTags(path, GetParam().format, disc, &why));
    EXPECT_TRUE(why.startsWith("the file could not be read as")) << qPrintable(why);
    EXPECT_TRUE(bytes() == noise);
}

// A disk that fills as the tags go in: the tagging fails with the system's
// words, not a file cut short and called tagged. (A limit on file size stands
// in for the full disk: the same writes fail.)
TEST_P(Tags, AFileThatCannotGrowFailsRatherThanLoseItsEnd)
{
    ASSERT_NO_FATAL_FAILURE(encode());
    disc.cover += QByteArray(100000, 'x');
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit tight = before;
    tight.rlim_cur = rlim_t(QFileInfo(path).size() + 1000);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const auto restore = qScopeGuard([&] {
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, previous);
    });
    QString why;
    EXPECT_FALSE(WriteTags(path, GetParam().format, disc, &why));
    EXPECT_EQ(why, "File too large");
}

INSTANTIATE_TEST_SUITE_P(Formats, Tags, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.format == TagFormat::Mp3 ? "Mp3" : "Ogg"; });

} // namespace
