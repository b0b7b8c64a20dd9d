// The engine on disc images: drives, track tables, CD-Text blocks, and what
// it answers to images and arguments it cannot use.

#include "EngineFixture.h"

#include <QDir>
#include <QFile>

#include <cmath>
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

TEST_F(EngineTest, ImageDriveDescribesItselfAndItsDoor)
{
    auto& lib = openImage(write({.tracks = {{.pcm = PatternPcm(kSecond, 1)}}}, QStringLiteral("album")));
    EXPECT_STREQ(lib.BASS_CD_GetDriveDescription(0), "album.cue (disc image)");
    EXPECT_STREQ(lib.QM_CD_GetDriveName(0), "album.cue");
    EXPECT_EQ(lib.BASS_CD_GetDriveLetter(0), -1);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_OK);

    BASS_CD_INFO info;
    ASSERT_TRUE(lib.BASS_CD_GetInfo(0, &info));
    EXPECT_EQ(info.size, 28u);
    EXPECT_EQ(info.canopen, 1u);
    EXPECT_EQ(info.canlock, 1u);
    EXPECT_TRUE(info.flags & (1u << 24)) << "reads CD audio";

    // Past the last drive, and records the engine must not write.
    EXPECT_EQ(lib.BASS_CD_GetDriveDescription(1), nullptr);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_EQ(lib.QM_CD_GetDriveName(1), nullptr);
    EXPECT_FALSE(lib.BASS_CD_GetInfo(1, &info));
    EXPECT_FALSE(lib.BASS_CD_GetInfo(0, nullptr));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    BASS_CD_INFO small;
    small.size = 12;
    EXPECT_FALSE(lib.BASS_CD_GetInfo(0, &small));
    EXPECT_EQ(small.flags, 0u);
}

struct TableCase {
    const char* name;
    DiscLayout layout;
    std::string cdText; // expected block, empty for none
};

std::vector<TableCase> TableCases()
{
    std::vector<TableCase> cases;
    cases.push_back({"cd_text",
                     {.title = "Night Songs",
                      .performer = "The Quills",
                      .tracks = {{.pcm = PatternPcm(2 * kSecond, 1), .title = "Dawn"},
                                 {.pcm = PatternPcm(kSecond + 1000, 2), .title = "Dusk", .performer = "Guest"}}},
                     Block("TITLE0=Night Songs\0PERFORMER0=The Quills\0TITLE1=Dawn\0TITLE2=Dusk\0PERFORMER2=Guest\0\0")});
    cases.push_back({"no_cd_text", {.tracks = {{.pcm = PatternPcm(kSecond, 3)}, {.pcm = PatternPcm(kSecond, 4)}}}, ""});
    cases.push_back({"latin1_accents",
                     {.title = "Café Noël", .performer = "Zoë Åström", .tracks = {{.pcm = PatternPcm(kSecond, 5), .title = "Señor"}}},
                     Block("TITLE0=Caf\xC3\xA9 No\xC3\xABl\0PERFORMER0=Zo\xC3\xAB \xC3\x85str\xC3\xB6m\0TITLE1=Se\xC3\xB1or\0\0")});
    // Most cues today are UTF-8, with text beyond Latin-1 too.
    cases.push_back({"utf8_accents",
                     {.title = "Café Noël", .performer = "Zoë Åström",
                      .tracks = {{.pcm = PatternPcm(kSecond, 5), .title = "Señor – 東京"}}, .utf8Cue = true},
                     Block("TITLE0=Caf\xC3\xA9 No\xC3\xABl\0PERFORMER0=Zo\xC3\xAB \xC3\x85str\xC3\xB6m\0TITLE1=Se\xC3\xB1or \xE2\x80\x93 \xE6\x9D\xB1\xE4\xBA\xAC\0\0")});
    cases.push_back({"pregaps",
                     {.tracks = {{.pcm = PatternPcm(kSecond, 6), .pregapSectors = 75},
                                 {.pcm = PatternPcm(kSecond / 2, 7), .pregapSectors = 150},
                                 {.pcm = PatternPcm(kSecond, 8), .pregapSectors = 33}}},
                     ""});
    cases.push_back({"one_track", {.title = "Single", .tracks = {{.pcm = PatternPcm(3 * kSecond, 9)}}},
                     Block("TITLE0=Single\0\0")});
    DiscLayout many{.title = "Many"};
    for (int i = 0; i < 99; ++i)
        many.tracks.push_back({.pcm = PatternPcm(4 * 2352 + static_cast<std::size_t>(i) * 4, static_cast<unsigned>(i))});
    many.tracks.back().title = "Last";
    cases.push_back({"ninety_nine_tracks", many, Block("TITLE0=Many\0TITLE99=Last\0\0")});
    return cases;
}

TEST_F(EngineTest, TrackTablesLengthsAndCdTextMatchTheImage)
{
    for (const TableCase& c : TableCases()) {
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

TEST_F(EngineTest, PregapOfTheNextTrackBelongsToTheTrackBeforeIt)
{
    auto& lib = openImage(write({.tracks = {{.pcm = PatternPcm(75 * 2352, 1)}, {.pcm = PatternPcm(75 * 2352, 2), .pregapSectors = 150}}}));
    EXPECT_EQ(lib.BASS_CD_GetTrackLength(0, 0), (75 + 150) * 2352);
    EXPECT_EQ(lib.BASS_CD_GetTrackLength(0, 1), 75 * 2352);
}

TEST_F(EngineTest, DataTracksHaveNoAudioLength)
{
    auto& lib = openImage(write({.tracks = {{.pcm = PatternPcm(kSecond, 1)}, {.pcm = PatternPcm(75 * 2352, 2), .data = true}}}));
    EXPECT_EQ(lib.BASS_CD_GetTracks(0), 2);
    EXPECT_GT(lib.BASS_CD_GetTrackLength(0, 0), 0);
    EXPECT_EQ(lib.BASS_CD_GetTrackLength(0, 1), -1);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NOTAUDIO);
    EXPECT_EQ(lib.BASS_CD_StreamCreate(0, 1, BASS_CD_DECODE_FLAGS), 0u);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NOTAUDIO);
}

TEST_F(EngineTest, UnusableImagesGiveAnEmptyDriveOrNone)
{
    const WrittenImage good = write({.tracks = {{.pcm = PatternPcm(kSecond, 1)}, {.pcm = PatternPcm(kSecond, 2)}}}, "good");
    const QByteArray goodCue = [&] { QFile f(good.cue); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    struct Case { const char* name; QByteArray cue; bool withBin; qint64 binBytes; };
    const Case cases[] = {
        {"empty", "", true, -1},
        {"garbage", "this is not\x01\x02 a cue sheet\n", true, -1},
        {"truncated", goodCue.left(goodCue.indexOf("TRACK 02") + 5), true, -1},
        {"bin_shorter_than_tracks", goodCue, true, 75 * 2352 / 2},
        {"bin_empty", goodCue, true, 0},
        {"bin_cut_in_last_track", goodCue, true, static_cast<qint64>(good.binBytes.size()) - 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString cue = path(QString::fromLatin1(c.name) + ".cue");
        QFile f(cue);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.cue);
        f.close();
        if (c.withBin) {
            QFile bin(path(QString::fromLatin1(c.name) + ".bin"));
            ASSERT_TRUE(bin.open(QIODevice::WriteOnly));
            const QByteArray all(reinterpret_cast<const char*>(good.binBytes.data()), static_cast<qsizetype>(good.binBytes.size()));
            bin.write(c.binBytes < 0 ? all : all.left(c.binBytes));
        }
        auto& lib = open(QStringList{cue});
        ASSERT_NE(lib.BASS_CD_GetDriveDescription(0), nullptr) << "an image file is a drive, even an unreadable one";
        if (!lib.BASS_CD_IsReady(0)) {
            EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NOCD);
            EXPECT_EQ(lib.BASS_CD_GetTracks(0), -1);
            EXPECT_EQ(lib.BASS_CD_GetID(0, BASS_CDID_TEXT), nullptr);
            EXPECT_EQ(lib.BASS_CD_StreamCreate(0, 0, BASS_CD_DECODE_FLAGS), 0u);
            EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_NOCD);
            continue;
        }
        // Whatever libcdio makes of it, every track it reports must read
        // fully or fail with a code; none may deliver bytes the bin lacks.
        const int n = lib.BASS_CD_GetTracks(0);
        for (int t = 0; t < n; ++t) {
            const HSTREAM s = lib.BASS_CD_StreamCreate(0, t, BASS_CD_DECODE_FLAGS);
            if (!s)
                continue;
            const QWORD length = lib.BASS_StreamGetLength(s);
            const Pcm got = drain(lib, s, 20000);
            EXPECT_TRUE(got.size() == length || lib.BASS_ErrorGetCode() != BASS_OK);
            lib.BASS_StreamFree(s);
        }
    }
}

// What would hang libcdio (a FIFO bin), crash it (a first TRACK numbered
// above the track count) or is no disc at all is left out before it is opened.
TEST_F(EngineTest, ImagesTheReaderCannotTakeAreLeftOutAndTheRestListed)
{
    const WrittenImage good = write({.tracks = {{.pcm = PatternPcm(kSecond, 1)}, {.pcm = PatternPcm(kSecond, 2)}}}, "good");
    QFile goodFile(good.cue);
    ASSERT_TRUE(goodFile.open(QIODevice::ReadOnly));
    const QByteArray goodCue = goodFile.readAll();
    auto renumbered = [&](const char* first, const char* second) {
        return QByteArray(goodCue).replace("TRACK 02", second).replace("TRACK 01", first);
    };
    enum class Bin { Copy, Missing, Fifo };
    struct Case { const char* name; const char* file; QByteArray cue; Bin bin; bool listed; };
    const Case cases[] = {
        {"bin missing", "nobin.cue", goodCue, Bin::Missing, false},
        {"bin is a FIFO", "fifo.cue", goodCue, Bin::Fifo, false},
        {"not a cue", "passwd", "root:x:0:0:root:/root:/bin/bash\n", Bin::Copy, false},
        {"first track 95", "high.cue", renumbered("TRACK 95", "TRACK 96"), Bin::Copy, false},
        {"first track 3 of 2", "three.cue", renumbered("TRACK 03", "TRACK 04"), Bin::Copy, false},
        {"first track 2 of 2", "two.cue", renumbered("TRACK 02", "TRACK 03"), Bin::Copy, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString cue = path(QString::fromLatin1(c.file));
        QFile f(cue);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.cue);
        f.close();
        const QString bin = QFileInfo(cue).dir().filePath(QFileInfo(cue).completeBaseName() + ".bin");
        if (c.bin == Bin::Copy) {
            ASSERT_TRUE(QFile::copy(good.bin, bin));
        } else if (c.bin == Bin::Fifo) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(bin).constData(), 0600), 0);
        }
        auto& lib = open(QStringList{cue});
        EXPECT_EQ(lib.BASS_CD_GetDriveDescription(0) != nullptr, c.listed);
        EXPECT_EQ(lib.BASS_CD_GetTracks(0), c.listed ? 2 : -1);
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
    auto& lib = open(QStringList{path("huge.cue")});
    ASSERT_NE(lib.BASS_CD_GetDriveDescription(0), nullptr);
    EXPECT_FALSE(lib.BASS_CD_IsReady(0));

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
    EXPECT_EQ(none.BASS_CD_GetDriveDescription(0), nullptr);
    EXPECT_FALSE(none.BASS_CD_IsReady(0));
    EXPECT_EQ(none.BASS_CD_GetTracks(0), -1);
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

// The demo disc the build writes beside the program.
TEST_F(EngineTest, DemoDiscHasFourPiecesWithCdText)
{
    auto& lib = open(QStringList{}, QStringLiteral(QUILLMERE_BIN_DIR "/demo/Demo.cue"));
    EXPECT_STREQ(lib.QM_CD_GetDriveName(0), "Demo.cue");
    ASSERT_EQ(lib.BASS_CD_GetTracks(0), 4);
    const std::string block = [&] {
        const char* p = lib.BASS_CD_GetID(0, BASS_CDID_TEXT);
        std::string all;
        while (p && *p) {
            all += p;
            all += '\n';
            p += std::strlen(p) + 1;
        }
        return all;
    }();
    EXPECT_EQ(block.rfind("TITLE0=Demo Disc\nPERFORMER0=Quillmere\n", 0), 0u) << block;
    EXPECT_NE(block.find("TITLE3=Caf\xC3\xA9 Inkwell\n"), std::string::npos) << block;
    for (DWORD t = 0; t < 4; ++t) {
        SCOPED_TRACE(t);
        const std::int32_t bytes = lib.BASS_CD_GetTrackLength(0, t);
        EXPECT_GE(bytes, 20 * kSecond);
        EXPECT_LE(bytes, 40 * kSecond);
        // Sound, neither silent nor clipped, through the first seconds.
        const HSTREAM s = lib.BASS_CD_StreamCreate(0, t, BASS_CD_DECODE_FLAGS);
        std::vector<std::int16_t> pcm(3 * 44100 * 2);
        ASSERT_EQ(lib.BASS_ChannelGetData(s, pcm.data(), static_cast<DWORD>(pcm.size() * 2)), pcm.size() * 2);
        double energy = 0;
        int peak = 0;
        for (std::int16_t v : pcm) {
            energy += double(v) * v;
            peak = std::max(peak, std::abs(int(v)));
        }
        EXPECT_GT(std::sqrt(energy / double(pcm.size())), 1000.0);
        EXPECT_LT(peak, 32767);
        lib.BASS_StreamFree(s);
    }
}

} // namespace
} // namespace qm::test
