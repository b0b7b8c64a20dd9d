// Decoding streams on disc images: every byte of every track, in any block
// size, seeks, the end of a track, auto-free, and bad handles.
#include "EngineFixture.h"

#include "platform/audio/ParanoiaReader.h"

#include <QFile>

#include <set>

namespace qm::test {
namespace {

// Three tracks of odd lengths with pregaps between them.
DiscLayout ThreeTracks()
{
    return {.tracks = {{.pcm = PatternPcm(kCdBytesPerSecond + 1000, 1)},
                       {.pcm = PatternPcm(kCdBytesPerSecond / 2 + 8, 2), .pregapSectors = 40},
                       {.pcm = PatternPcm(kCdBytesPerSecond, 3), .pregapSectors = 75}}};
}

TEST_F(EngineTest, EveryTrackReadsByteForByteInAnyBlockSize)
{
    const WrittenImage image = write(ThreeTracks());
    auto& lib = openImage(image);
    for (DWORD block : {20000u, 262144u, 1u}) {
        for (DWORD t = block == 1 ? 1 : 0; t < (block == 1 ? 2u : 3u); ++t) { // a byte at a time: one short track
            SCOPED_TRACE(testing::Message() << "block " << block << " track " << t);
            const HSTREAM s = lib.BASS_CD_StreamCreate(0, t, BASS_CD_DECODE_FLAGS);
            ASSERT_NE(s, 0u);
            EXPECT_EQ(lib.BASS_StreamGetLength(s), image.track(t).size());
            EXPECT_TRUE(drain(lib, s, block) == image.track(t));
            EXPECT_EQ(lib.BASS_ChannelGetPosition(s), image.track(t).size());
            std::uint8_t more[16];
            EXPECT_EQ(lib.BASS_ChannelGetData(s, more, sizeof more), 0u);
            EXPECT_TRUE(lib.BASS_StreamFree(s));
        }
    }
}

TEST_F(EngineTest, SeeksLandOnTheRightBytes)
{
    const WrittenImage image = write(ThreeTracks());
    auto& lib = openImage(image);
    const HSTREAM s = lib.BASS_CD_StreamCreate(0, 0, BASS_CD_DECODE_FLAGS);
    const Pcm track = image.track(0);
    const QWORD length = track.size();
    for (const auto& [to, lands] : {std::pair<QWORD, QWORD>{7, 4}, {2352 * 3 + 8, 2352 * 3 + 8}, {length - 40, length - 40}, {0, 0}}) {
        SCOPED_TRACE(to);
        ASSERT_TRUE(lib.BASS_ChannelSetPosition(s, to));
        EXPECT_EQ(lib.BASS_ChannelGetPosition(s), lands);
        std::uint8_t buf[40];
        ASSERT_EQ(lib.BASS_ChannelGetData(s, buf, sizeof buf), sizeof buf);
        EXPECT_TRUE(std::equal(buf, buf + sizeof buf, track.begin() + static_cast<std::ptrdiff_t>(lands)));
    }
    // To the very end: nothing left; back again: alive; past it: refused, position kept.
    ASSERT_TRUE(lib.BASS_ChannelSetPosition(s, length));
    EXPECT_EQ(lib.BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED);
    ASSERT_TRUE(lib.BASS_ChannelSetPosition(s, 8));
    EXPECT_EQ(lib.BASS_ChannelIsActive(s), BASS_ACTIVE_PLAYING);
    EXPECT_FALSE(lib.BASS_ChannelSetPosition(s, length + 4));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    EXPECT_EQ(lib.BASS_ChannelGetPosition(s), 8u);
}

TEST_F(EngineTest, StreamsThatCannotBeMadeSayWhyAndHandlesAreNeverReused)
{
    auto& lib = openImage(write(ThreeTracks()));
    struct Case { DWORD drive, track, flags; int code; };
    for (const Case& c : {Case{0, 3, BASS_CD_DECODE_FLAGS, BASS_ERROR_CDTRACK}, Case{1, 0, BASS_CD_DECODE_FLAGS, BASS_ERROR_DEVICE},
                          Case{0, 0, BASS_CD_DECODE_FLAGS | BASS_SAMPLE_8BITS, BASS_ERROR_FORMAT}}) {
        EXPECT_EQ(lib.BASS_CD_StreamCreate(c.drive, c.track, c.flags), 0u) << c.track;
        EXPECT_EQ(lib.BASS_ErrorGetCode(), c.code) << c.track;
    }
    std::set<HSTREAM> handles;
    for (int i = 0; i < 100; ++i) {
        const HSTREAM h = lib.BASS_CD_StreamCreate(0, static_cast<DWORD>(i % 3), BASS_CD_DECODE_FLAGS);
        ASSERT_TRUE(handles.insert(h).second);
        ASSERT_TRUE(lib.BASS_StreamFree(h));
    }
    std::uint8_t buf[8];
    for (DWORD h : {DWORD{0}, *handles.begin(), DWORD{0xFFFFFFFF}}) {
        EXPECT_EQ(lib.BASS_ChannelGetData(h, buf, sizeof buf), BASS_DATA_ERROR) << h;
        EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_HANDLE) << h;
        EXPECT_FALSE(lib.BASS_StreamFree(h)) << h;
    }
}

TEST_F(EngineTest, AutoFreeStreamsStayReadableUntilTheCallerIsDone)
{
    const WrittenImage image = write(ThreeTracks());
    auto& lib = openImage(image);
    const HSTREAM s = lib.BASS_CD_StreamCreate(0, 1, BASS_CD_DECODE_FLAGS);
    drain(lib, s, 20000);
    // The rip loop reads the position after the last block, then stops and frees.
    EXPECT_EQ(lib.BASS_ChannelGetPosition(s), image.track(1).size());
    EXPECT_TRUE(lib.BASS_ChannelStop(s));
    EXPECT_TRUE(lib.BASS_StreamFree(s));
    // An ended one nobody freed goes when the next stream is made.
    const HSTREAM forgotten = lib.BASS_CD_StreamCreate(0, 1, BASS_CD_DECODE_FLAGS);
    drain(lib, forgotten, 262144);
    ASSERT_NE(lib.BASS_CD_StreamCreate(0, 0, BASS_CD_DECODE_FLAGS), 0u);
    EXPECT_EQ(lib.BASS_ChannelGetPosition(forgotten), BASS_POSITION_ERROR);
}

// The reader physical drives use, tried on an image: exact bytes, in the
// byte order drives deliver, even where paranoia would guess otherwise.
TEST_F(EngineTest, ParanoiaReaderDeliversTheDiscBytes)
{
    const WrittenImage image = write(ThreeTracks());
    int error = 0;
    auto reader = audio::ParanoiaReader::open(QFile::encodeName(image.cue).toStdString(), error);
    ASSERT_NE(reader, nullptr) << error;
    const Pcm expected = image.track(1);
    const auto start = static_cast<lsn_t>(image.starts[1] / 2352);
    Pcm got(expected.size());
    ASSERT_TRUE(reader->read(start, static_cast<int>(expected.size() / 2352), got.data(), error));
    EXPECT_TRUE(got == expected);
    // Back to an earlier place: a seek, not a continuation.
    Pcm again(2352 * 2);
    ASSERT_TRUE(reader->read(start + 1, 2, again.data(), error));
    EXPECT_TRUE(std::equal(again.begin(), again.end(), expected.begin() + 2352));
    EXPECT_EQ(audio::ParanoiaReader::open(QFile::encodeName(path("nothing.cue")).toStdString(), error), nullptr);
}

} // namespace
} // namespace qm::test
