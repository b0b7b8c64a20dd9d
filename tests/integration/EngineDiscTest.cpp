// The engine on disc images: drives, track tables, CD-Text blocks, the
// door, and what it answers to images and arguments it cannot use.

#include "EngineFixture.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <sys/stat.h>

namespace qm::test {
namespace {

using namespace std::string_literals; // "..."s keeps a block's own terminators

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
          .tracks = {{.pcm = PatternPcm(2 * kCdBytesPerSecond, 1), .title = "Dawn"},
                     {.pcm = PatternPcm(kCdBytesPerSecond + 1000, 2), .title = "Dusk", .performer = "Guest"}}},
         "TITLE0=Night Songs\0PERFORMER0=The Quills\0TITLE1=Dawn\0TITLE2=Dusk\0PERFORMER2=Guest\0\0"s},
        {"latin1_cue", {.title = "Café", .tracks = {{.pcm = PatternPcm(kCdBytesPerSecond, 5), .title = "Señor"}}},
         "TITLE0=Caf\xC3\xA9\0TITLE1=Se\xC3\xB1or\0\0"s},
        {"utf8_cue", {.title = "Café", .tracks = {{.pcm = PatternPcm(kCdBytesPerSecond, 5), .title = "東京"}}, .utf8Cue = true},
         "TITLE0=Caf\xC3\xA9\0TITLE1=\xE6\x9D\xB1\xE4\xBA\xAC\0\0"s},
        {"pregaps_no_text",
         {.tracks = {{.pcm = PatternPcm(75 * 2352, 6)},
                     {.pcm = PatternPcm(kCdBytesPerSecond / 2, 7), .pregapSectors = 150},
                     {.pcm = PatternPcm(kCdBytesPerSecond, 8), .pregapSectors = 33}}},
         ""},
        {"ninety_nine_tracks", many, "TITLE0=Many\0TITLE99=Last\0\0"s},
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

// What would hang libcdio (a FIFO bin), crash it (a first TRACK numbered
// above the track count) or is no disc at all is left out before it is
// opened; a damaged image is a drive without a readable disc, and whatever
// libcdio makes of one, no track delivers bytes the bin lacks.
TEST_F(EngineTest, BrokenImagesAreLeftOutOrEmptyAndNeverReadPastTheBin)
{
    const WrittenImage good = write({.tracks = {{.pcm = PatternPcm(kCdBytesPerSecond, 1)}, {.pcm = PatternPcm(kCdBytesPerSecond, 2)}}}, "good");
    QFile goodFile(good.cue);
    const QByteArray cue = goodFile.open(QIODevice::ReadOnly) ? goodFile.readAll() : QByteArray();
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
        {"two.cue", renumbered("TRACK 02", "TRACK 03"), bin, Readable},
        {"empty.cue", "", bin, Empty},
        {"garbage.cue", "this is not\x01\x02 a cue sheet\n", bin, Empty},
        {"short_bin.cue", cue, bin.left(75 * 2352 / 2), Readable},
        {"cut_bin.cue", cue, bin.left(bin.size() - 1000), Readable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString cuePath = path(QString::fromLatin1(c.file));
        const QString binPath = path(QFileInfo(cuePath).completeBaseName() + ".bin");
        for (const auto& [file, bytes] : {std::pair{cuePath, c.cue}, std::pair{binPath, c.bin}}) {
            QFile f(file);
            ASSERT_TRUE(bytes.isNull() || bytes == fifo || (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size()));
        }
        ASSERT_TRUE(c.bin != fifo || ::mkfifo(QFile::encodeName(binPath).constData(), 0600) == 0);
        auto& lib = open(QStringList{cuePath});
        EXPECT_EQ(lib.BASS_CD_GetDriveDescription(0) != nullptr, c.listed != No);
        if (c.listed != Readable || !lib.BASS_CD_IsReady(0)) {
            EXPECT_EQ(lib.BASS_CD_GetTracks(0), -1);
            EXPECT_EQ(lib.BASS_CD_StreamCreate(0, 0, BASS_CD_DECODE_FLAGS), 0u);
            continue;
        }
        for (int t = 0; t < lib.BASS_CD_GetTracks(0); ++t) {
            const HSTREAM s = lib.BASS_CD_StreamCreate(0, t, BASS_CD_DECODE_FLAGS);
            const QWORD length = lib.BASS_StreamGetLength(s);
            EXPECT_TRUE(!s || drain(lib, s, 20000).size() == length || lib.BASS_ErrorGetCode() != BASS_OK);
        }
    }
    // A track over 2 GiB is no CD's: the disc is refused, not listed with a wrapped length.
    QFile huge(path("huge.bin"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(5LL << 30)); // sparse
    huge.close();
    QFile hugeCue(path("huge.cue"));
    ASSERT_TRUE(hugeCue.open(QIODevice::WriteOnly));
    hugeCue.write("FILE \"huge.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    hugeCue.close();
    EXPECT_FALSE(open(QStringList{path("huge.cue")}).BASS_CD_IsReady(0));
    // Only as many drives as the list can show.
    EXPECT_EQ(open(QStringList(70, good.cue)).BASS_CD_GetDriveDescription(64), nullptr);
}

TEST_F(EngineTest, PathsThatAreNoFilesGiveNoDriveAndTheDemoStandsIn)
{
    const WrittenImage demo = write({.title = "Demo", .tracks = {{.pcm = PatternPcm(kCdBytesPerSecond, 1)}}}, "demo");
    QDir(m_dir.path()).mkdir("folder.cue");
    EXPECT_STREQ(open({path("missing.cue"), path("folder.cue")}, demo.cue).QM_CD_GetDriveName(0), "demo.cue");
    EXPECT_EQ(m_engine->QM_CD_GetDriveName(1), nullptr);
    // Only when nothing else is there.
    EXPECT_EQ(open({write({.tracks = {{.pcm = PatternPcm(kCdBytesPerSecond, 2)}}}, "mine").cue}, demo.cue).QM_CD_GetDriveName(1), nullptr);
    EXPECT_FALSE(open(QStringList{path("missing.cue")}).BASS_CD_IsReady(0));
}

// The emulated door of an image drive: open takes the disc out, close puts it
// back (read afresh), a locked door stays shut.
TEST_F(EngineTest, OpenDoorMeansNoDiscAndClosingReadsTheImageAgain)
{
    auto& lib = openImage(write({.tracks = {{.pcm = PatternPcm(2 * kCdBytesPerSecond, 1)}, {.pcm = PatternPcm(kCdBytesPerSecond, 2)}}}));
    const HSTREAM s = lib.BASS_CD_StreamCreate(0, 0, BASS_CD_DECODE_FLAGS);
    std::uint8_t buf[100];
    ASSERT_EQ(lib.BASS_ChannelGetData(s, buf, sizeof buf), sizeof buf);
    ASSERT_TRUE(lib.BASS_CD_Door(0, BASS_CD_DOOR_OPEN));
    EXPECT_FALSE(lib.BASS_CD_IsReady(0));
    EXPECT_EQ(lib.BASS_CD_StreamCreate(0, 0, BASS_CD_DECODE_FLAGS), 0u);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NOCD);
    // The stream made before fails its next read, even from sectors it holds.
    EXPECT_EQ(lib.BASS_ChannelGetData(s, buf, sizeof buf), BASS_DATA_ERROR);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NOCD);

    // Another disc goes in while the door is open.
    write({.title = "Second Disc", .tracks = {{.pcm = PatternPcm(kCdBytesPerSecond, 3)}, {.pcm = PatternPcm(kCdBytesPerSecond, 4)}}});
    ASSERT_TRUE(lib.BASS_CD_Door(0, BASS_CD_DOOR_CLOSE));
    EXPECT_STREQ(lib.BASS_CD_GetID(0, BASS_CDID_TEXT), "TITLE0=Second Disc");
    EXPECT_EQ(drain(lib, lib.BASS_CD_StreamCreate(0, 1, BASS_CD_DECODE_FLAGS), 20000), PatternPcm(kCdBytesPerSecond, 4));

    // A disc that cannot be read leaves the drive closed but empty.
    ASSERT_TRUE(lib.BASS_CD_Door(0, BASS_CD_DOOR_OPEN));
    ASSERT_TRUE(QFile::remove(path("disc.bin")));
    ASSERT_TRUE(lib.BASS_CD_Door(0, BASS_CD_DOOR_CLOSE));
    EXPECT_FALSE(lib.BASS_CD_DoorIsOpen(0));
    EXPECT_FALSE(lib.BASS_CD_IsReady(0));
}

TEST_F(EngineTest, LockedDoorRefusesToOpen)
{
    auto& lib = openImage(write({.tracks = {{.pcm = PatternPcm(kCdBytesPerSecond, 1)}}}));
    struct Step { DWORD action; bool ok, open, locked; };
    const Step steps[] = {
        {BASS_CD_DOOR_LOCK, true, false, true},  {BASS_CD_DOOR_OPEN, false, false, true},
        {BASS_CD_DOOR_UNLOCK, true, false, false}, {BASS_CD_DOOR_OPEN, true, true, false},
        {BASS_CD_DOOR_LOCK, true, true, true},   {BASS_CD_DOOR_CLOSE, true, false, true},
        {7, false, false, true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "action " << s.action);
        EXPECT_EQ(lib.BASS_CD_Door(0, s.action), s.ok);
        EXPECT_EQ(lib.BASS_CD_DoorIsOpen(0), s.open);
        EXPECT_EQ(lib.BASS_CD_DoorIsLocked(0), s.locked);
    }
}

} // namespace
} // namespace qm::test
