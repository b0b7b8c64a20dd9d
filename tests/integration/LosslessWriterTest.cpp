// The FLAC and Opus writers on the real engine over a generated image; the
// files are judged by the flac tools and ffmpeg.

#include "../platform/audio/AudioTestUtil.h"
#include "EngineFixture.h"
#include "ScriptedDialogs.h"
#include "rip/LosslessWriters.h"
#include "rip/RipJob.h"

#include <QCryptographicHash>
#include <csignal>
#include <sys/resource.h>

namespace qm::test {
namespace {

constexpr double kTrackSeconds = 25.0;
constexpr DWORD kBlock = 20000;

// A writer that raises the stop flag after `blocks` blocks, as the user's
// Stop does between two blocks.
template <typename Writer>
struct Stopping : Writer {
    template <typename... Args>
    Stopping(bool& flag, int blocks, Args&&... args) : Writer(std::forward<Args>(args)...), stop(flag), left(blocks) {}
    bool write(const char* data, DWORD bytes) override
    {
        stop = --left <= 0;
        return Writer::write(data, bytes);
    }
    bool& stop;
    int left;
};

QByteArray PcmBytes(const Pcm& pcm, std::size_t size = ~std::size_t{0})
{
    return QByteArray(reinterpret_cast<const char*>(pcm.data()), qsizetype(std::min(size, pcm.size())));
}

// The samples flac decodes, empty when it finds the file or its MD5 wrong.
QByteArray FlacPcm(const QString& file)
{
    return RunTool("flac", {"-d", "-s", "-c", "--force-raw-format", "--endian=little", "--sign=signed", file});
}

QByteArray Md5(const QByteArray& pcm)
{
    return QCryptographicHash::hash(pcm, QCryptographicHash::Md5).toHex();
}

QByteArray ProbeText(const QString& file, const char* entries)
{
    return RunTool("ffprobe", {"-v", "error", "-show_entries", entries, "-of", "default=nw=1", file});
}

class LosslessWriters : public EngineTest {
protected:
    void SetUp() override
    {
        // The pattern: a sample out of place shows, and no encoder makes
        // it smaller than its bitrate.
        image = write({.tracks = {{.pcm = PatternPcm(std::size_t(kTrackSeconds * 44100) * 4, 3)}}});
        engine = &openImage(image);
        out = path("out");
        QDir().mkpath(out);
    }
    RipResult rip(RipWriter& writer)
    {
        HSTREAM current = 0;
        const RipContext context{*engine, dialogs, nullptr, current, stop, [](bool) {}, 0, false};
        return RipOneTrack(context, 0, writer, {true, 0, {}});
    }
    QStringList files() const { return QDir(out).entryList(QDir::Files | QDir::Hidden); }

    WrittenImage image;
    CdAudioEngine* engine = nullptr;
    ScriptedDialogs dialogs;
    bool stop = false;
    QString out;
};

TrackTags Tags()
{
    TrackTags tags;
    tags.title = "Sommer ö";
    tags.number = 2;
    tags.total = 7;
    return tags;
}

TEST_F(LosslessWriters, FlacIsTheTracksPcmWithItsMd5AndASeekTable)
{
    const struct { FlacWriter::Settings settings; bool tags; } cases[] = {{{5, false}, true}, {{8, true}, false}};
    const QByteArray track = PcmBytes(image.track(0));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings.level);
        const QString file = out + QStringLiteral("/%1.flac").arg(c.settings.level);
        FlacWriter writer(*engine, file, c.settings, c.tags ? std::optional(Tags()) : std::nullopt);
        ASSERT_EQ(rip(writer), RipResult::Ripped) << writer.failure().reason.toStdString();
        EXPECT_TRUE(FlacPcm(file) == track);
        EXPECT_EQ(RunTool("metaflac", {"--show-md5sum", file}).trimmed(), Md5(track));
        const QByteArray seekTable = RunTool("metaflac", {"--list", "--block-type=SEEKTABLE", file});
        // A point every ten seconds, each filled in with its frame.
        EXPECT_TRUE(seekTable.contains("seek points: 3") && seekTable.count("frame_samples=4096") == 3)
            << seekTable.toStdString();
        EXPECT_EQ(ProbeText(file, "format_tags=title,track"), c.tags ? "TAG:TITLE=Sommer ö\nTAG:track=2\n" : "");
    }
}

TEST_F(LosslessWriters, OpusDecodesToTheTracksLengthAtItsBitrate)
{
    for (int kbps : {64, 256}) {
        SCOPED_TRACE(kbps);
        const QString file = out + QStringLiteral("/%1.opus").arg(kbps);
        OpusWriter writer(*engine, file, kbps, Tags());
        ASSERT_EQ(rip(writer), RipResult::Ripped) << writer.failure().reason.toStdString();
        EXPECT_NEAR(DecodedSeconds(file), double(image.track(0).size()) / kCdBytesPerSecond, 0.02);
        const double rate = ProbeText(file, "format=bit_rate").mid(9).toDouble();
        EXPECT_NEAR(rate, kbps * 1000, kbps * 100);
        EXPECT_EQ(ProbeText(file, "stream_tags=title,track"), "TAG:TITLE=Sommer ö\nTAG:track=2\n");
    }
}

// After a Stop the shorter file is complete: FLAC with the MD5 of what it
// holds, which flac checks as it decodes; the rip's stop flag is cleared.
TEST_F(LosslessWriters, StopKeepsAShorterFileThatDecodes)
{
    constexpr int kBlocks = 30;
    const QByteArray part = PcmBytes(image.track(0), kBlocks * kBlock);
    Stopping<FlacWriter> flac(stop, kBlocks, *engine, out + "/cut.flac", FlacWriter::Settings{}, Tags());
    EXPECT_EQ(rip(flac), RipResult::Cancelled);
    EXPECT_FALSE(stop);
    EXPECT_TRUE(FlacPcm(out + "/cut.flac") == part);
    EXPECT_EQ(RunTool("metaflac", {"--show-md5sum", out + "/cut.flac"}).trimmed(), Md5(part));
    // No seek point into audio that never came.
    const QByteArray seekTable = RunTool("metaflac", {"--list", "--block-type=SEEKTABLE", out + "/cut.flac"});
    EXPECT_EQ(seekTable.count("PLACEHOLDER"), 2) << seekTable.toStdString();

    Stopping<OpusWriter> opus(stop, kBlocks, *engine, out + "/cut.opus", 160, Tags());
    EXPECT_EQ(rip(opus), RipResult::Cancelled);
    EXPECT_NEAR(DecodedSeconds(out + "/cut.opus"), double(part.size()) / kCdBytesPerSecond, 0.02);
    EXPECT_EQ(files(), QStringList({"cut.flac", "cut.opus"}));
}

// A full disk (a file size limit stands in for it) and an encoder that
// refuses: the track fails with the system's or the encoder's words and
// leaves no file under any name.
TEST_F(LosslessWriters, FailuresCarryTheirWordsAndLeaveNoFile)
{
    const QString flac = out + "/x.flac", opus = out + "/x.opus";
    const QString full = ": " + QString::fromLocal8Bit(std::strerror(EFBIG));
    FlacWriter flacFull(*engine, flac, {}, Tags());
    OpusWriter opusFull(*engine, opus, 160, Tags());
    OpusWriter opusRefused(*engine, opus, 0, std::nullopt);
    const struct { RipWriter* writer; rlim_t limit; QString reason; } cases[] = {
        {&flacFull, 100000, flac + full},
        {&opusFull, 100000, opus + full},
        {&opusRefused, 0, "The Opus encoder failed: 0 kbps (invalid argument)"},
    };
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason.toStdString());
        const rlimit limit{c.limit ? c.limit : before.rlim_cur, before.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        const RipResult result = rip(*c.writer);
        ::setrlimit(RLIMIT_FSIZE, &before);
        EXPECT_EQ(result, RipResult::Failed);
        EXPECT_EQ(c.writer->failure().reason, c.reason);
        EXPECT_EQ(files(), QStringList());
    }
    std::signal(SIGXFSZ, oldHandler);
}

} // namespace
} // namespace qm::test
