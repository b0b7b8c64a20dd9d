// The engine on disc images: drives, track tables, CD-Text blocks, and what
// it answers to images and arguments it cannot use.

#include "EngineFixture.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <sys/stat.h>
#include <thread>

namespace qm::test {
namespace {

constexpr std::int32_t kSecond = 176400;

// A block written as one literal with its explicit terminators.
template <std::size_t N>
std::string Block(const char (&text)[N])
{
    return std::string(text, N - 1);
}

TEST_F(EngineTest, ImageDriveDescribesItself)
{
    auto& lib = openImage(write({.tracks = {{.pcm = PatternPcm(kSecond, 1)}}}, QStringLiteral("album")));
    EXPECT_STREQ(lib.BASS_CD_GetDriveDescription(0), "album.cue (disc image)");
    EXPECT_STREQ(lib.QM_CD_GetDriveName(0), "album.cue");
    EXPECT_EQ(lib.BASS_CD_GetDriveLetter(0), -1);
    BASS_CD_INFO info;
    ASSERT_TRUE(lib.BASS_CD_GetInfo(0, &info));
    EXPECT_EQ(info.canopen, 1u);
    EXPECT_TRUE(info.flags & (1u << 24)) << "reads CD audio";
    // Past the last drive, and a record too small to write.
    EXPECT_EQ(lib.BASS_CD_GetDriveDescription(1), nullptr);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    BASS_CD_INFO small;
    small.size = 12;
    EXPECT_FALSE(lib.BASS_CD_GetInfo(0, &small));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

// Lengths include the next track's pregap; CD-Text comes back as the block
// the player parses, numbered from the disc's first track.
TEST_F(EngineTest, TrackTablesLengthsAndCdTextMatchTheImage)
{
    DiscLayout many{.title = "Many"};
    for (int i = 0; i < 99; ++i)
        many.tracks.push_back({.pcm = PatternPcm(4 * 2352 + static_cast<std::size_t>(i) * 4, static_cast<unsigned>(i))});
    many.tracks.back().title = "Last";
    const struct { const char* name; DiscLayout layout; std::string cdText; } cases[] = {
        {"cd_text",
         {.title = "Night Songs", .performer = "The Quills",
          .tracks = {{.pcm = PatternPcm(2 * kSecond, 1), .title = "Dawn"},
                     {.pcm = PatternPcm(kSecond + 1000, 2), .title = "Dusk", .performer = "Guest"}}},
         Block("TITLE0=Night Songs\0PERFORMER0=The Quills\0TITLE1=Dawn\0TITLE2=Dusk\0PERFORMER2=Guest\0\0")},
        {"latin1_cue", {.title = "Café", .tracks = {{.pcm = PatternPcm(kSecond, 5), .title = "Señor"}}},
         Block("TITLE0=Caf\xC3\xA9\0TITLE1=Se\xC3\xB1or\0\0")},
        {"utf8_cue", {.title = "Café", .tracks = {{.pcm = PatternPcm(kSecond, 5), .title = "東京"}}, .utf8Cue = true},
         Block("TITLE0=Caf\xC3\xA9\0TITLE1=\xE6\x9D\xB1\xE4\xBA\xAC\0\0")},
        {"pregaps_no_text",
         {.tracks = {{.pcm = PatternPcm(75 * 2352, 6)},
                     {.pcm = PatternPcm(kSecond / 2, 7), .pregapSectors = 150},
                     {.pcm = PatternPcm(kSecond, 8), .pregapSectors = 33}}},
         ""},
        {"ninety_nine_tracks", many, Block("TITLE0=Many\0TITLE99=Last\0\0")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const WrittenImage image = write(c.layout, QString::fromLatin1(c.name));
        auto& lib = openImage(image);
        ASSERT_TRUE(lib.BASS_CD_IsReady(0));
        const int n = lib.BASS_CD_GetTracks(0);
        ASSERT_EQ(n, static_cast<int>(c.layout.tracks.size()));
        for (int t = 0; t < n; ++t)
            EXPECT_EQ(lib.BASS_CD_GetTrackLength(0, t), static_cast<std::int32_t>(image.track(t).size())) << "track " << t;
        if (std::string(c.name) == "pregaps_no_text") { // spot check: track 2's two-second pregap is track 1's
            EXPECT_EQ(lib.BASS_CD_GetTrackLength(0, 0), (75 + 150) * 2352);
        }
        EXPECT_EQ(lib.BASS_CD_GetTrackLength(0, n), -1);
        EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_CDTRACK);
        const char* block = lib.BASS_CD_GetID(0, BASS_CDID_TEXT);
        if (c.cdText.empty()) {
            EXPECT_EQ(block, nullptr);
            EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
            continue;
        }
        ASSERT_NE(block, nullptr);
        std::size_t size = 0;
        while (block[size] != '\0' || block[size + 1] != '\0')
            ++size;
        EXPECT_EQ(std::string(block, size + 2), c.cdText);
    }
}

TEST_F(EngineTest, DataTracksHaveNoAudioLength)
{
    auto& lib = openImage(write({.tracks = {{.pcm = PatternPcm(kSecond, 1)}, {.pcm = PatternPcm(75 * 2352, 2), .data = true}}}));
    EXPECT_EQ(lib.BASS_CD_GetTracks(0), 2);
    EXPECT_EQ(lib.BASS_CD_GetTrackLength(0, 1), -1);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NOTAUDIO);
    EXPECT_EQ(lib.BASS_CD_StreamCreate(0, 1, BASS_CD_DECODE_FLAGS), 0u);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NOTAUDIO);
}

// What would hang libcdio (a FIFO bin), crash it (a first TRACK numbered
// above the track count) or is no disc at all is left out before it is
// opened; a damaged image is a drive without a readable disc, and whatever
// libcdio makes of one, no track delivers bytes the bin lacks.
TEST_F(EngineTest, BrokenImagesAreLeftOutOrEmptyAndNeverReadPastTheBin)
{
    const WrittenImage good = write({.tracks = {{.pcm = PatternPcm(kSecond, 1)}, {.pcm = PatternPcm(kSecond, 2)}}}, "good");
    QFile goodFile(good.cue);
    ASSERT_TRUE(goodFile.open(QIODevice::ReadOnly));
    const QByteArray cue = goodFile.readAll();
    const QByteArray bin(reinterpret_cast<const char*>(good.binBytes.data()), static_cast<qsizetype>(good.binBytes.size()));
    auto renumbered = [&](const char* first, const char* second) {
        return QByteArray(cue).replace("TRACK 02", second).replace("TRACK 01", first);
    };
    enum Listed { No, Empty, Readable };
    const QByteArray fifo = "fifo";
    const struct { const char* file; QByteArray cue, bin; Listed listed; } cases[] = {
        {"nobin.cue", cue, {}, No},
        {"fifo.cue", cue, fifo, No},
        {"passwd", "root:x:0:0:root:/root:/bin/bash\n", bin, No},
        {"high.cue", renumbered("TRACK 95", "TRACK 96"), bin, No},
        {"three.cue", renumbered("TRACK 03", "TRACK 04"), bin, No},
        {"two.cue", renumbered("TRACK 02", "TRACK 03"), bin, Readable},
        {"empty.cue", "", bin, Empty},
        {"garbage.cue", "this is not\x01\x02 a cue sheet\n", bin, Empty},
        {"truncated.cue", cue.left(cue.indexOf("TRACK 02") + 5), bin, Readable},
        {"short_bin.cue", cue, bin.left(75 * 2352 / 2), Readable},
        {"cut_bin.cue", cue, bin.left(bin.size() - 1000), Readable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString cuePath = path(QString::fromLatin1(c.file));
        QFile f(cuePath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.cue);
        f.close();
        const QString binPath = path(QFileInfo(cuePath).completeBaseName() + ".bin");
        if (c.bin == fifo) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(binPath).constData(), 0600), 0);
        } else if (!c.bin.isNull()) {
            QFile b(binPath);
            ASSERT_TRUE(b.open(QIODevice::WriteOnly));
            b.write(c.bin);
        }
        auto& lib = open(QStringList{cuePath});
        EXPECT_EQ(lib.BASS_CD_GetDriveDescription(0) != nullptr, c.listed != No);
        if (c.listed != Readable || !lib.BASS_CD_IsReady(0)) {
            EXPECT_EQ(lib.BASS_CD_GetTracks(0), -1);
            EXPECT_EQ(lib.BASS_CD_StreamCreate(0, 0, BASS_CD_DECODE_FLAGS), 0u);
            continue;
        }
        for (int t = 0; t < lib.BASS_CD_GetTracks(0); ++t) {
            const HSTREAM s = lib.BASS_CD_StreamCreate(0, t, BASS_CD_DECODE_FLAGS);
            if (!s)
                continue;
            const QWORD length = lib.BASS_StreamGetLength(s);
            EXPECT_TRUE(drain(lib, s, 20000).size() == length || lib.BASS_ErrorGetCode() != BASS_OK);
            lib.BASS_StreamFree(s);
        }
    }

    // A track longer than 2 GiB (or 4) is no CD's: the disc is refused, not shown wrapped.
    QFile huge(path("huge.cue"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write("FILE \"huge.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    huge.close();
    QFile sparse(path("huge.bin"));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(5LL << 30)); // sparse: no disk space is used
    sparse.close();
    EXPECT_FALSE(open(QStringList{path("huge.cue")}).BASS_CD_IsReady(0));

    // Only as many drives as the list can show.
    auto& many = open(QStringList(70, good.cue));
    EXPECT_NE(many.BASS_CD_GetDriveDescription(63), nullptr);
    EXPECT_EQ(many.BASS_CD_GetDriveDescription(64), nullptr);
}

TEST_F(EngineTest, PathsThatAreNoFilesGiveNoDriveAndTheDemoStandsIn)
{
    const WrittenImage demo = write({.title = "Demo", .tracks = {{.pcm = PatternPcm(kSecond, 1)}}}, "demo");
    QDir(m_dir.path()).mkdir("folder.cue");
    auto& lib = open({path("missing.cue"), path("folder.cue")}, demo.cue);
    EXPECT_STREQ(lib.QM_CD_GetDriveName(0), "demo.cue");
    EXPECT_EQ(lib.QM_CD_GetDriveName(1), nullptr);

    const WrittenImage mine = write({.tracks = {{.pcm = PatternPcm(kSecond, 2)}}}, "mine");
    auto& withImage = open({mine.cue}, demo.cue);
    EXPECT_STREQ(withImage.QM_CD_GetDriveName(0), "mine.cue");
    EXPECT_EQ(withImage.QM_CD_GetDriveName(1), nullptr) << "the demo only stands in when nothing else is there";

    auto& none = open(QStringList{path("missing.cue")});
    EXPECT_FALSE(none.BASS_CD_IsReady(0));
    EXPECT_EQ(none.BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_FALSE(none.BASS_CD_Door(0, BASS_CD_DOOR_UNLOCK));
}

TEST_F(EngineTest, LastErrorBelongsToTheCallingThread)
{
    auto& lib = openImage(write({.tracks = {{.pcm = PatternPcm(kSecond, 1)}}}));
    EXPECT_EQ(lib.BASS_CD_GetTrackLength(0, 5), -1);
    int otherThread = -2;
    std::thread([&] {
        otherThread = lib.BASS_ErrorGetCode(); // nothing failed there yet
        lib.BASS_CD_GetDriveDescription(0);
    }).join();
    EXPECT_EQ(otherThread, BASS_OK);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_CDTRACK);
}

} // namespace
} // namespace qm::test
