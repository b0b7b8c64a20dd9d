// Decoding streams on disc images: every byte of every track, in any block
// size, seeks, the end of a track, auto-free, and bad handles.

#include "EngineFixture.h"

#include "platform/audio/ParanoiaReader.h"

#include <QFile>

#include <set>

namespace qm::test {
namespace {

constexpr std::size_t kSecond = 176400;

// Three tracks of odd lengths with pregaps between them.
DiscLayout ThreeTracks()
{
    return {.tracks = {{.pcm = PatternPcm(kSecond + 1000, 1)},
                       {.pcm = PatternPcm(kSecond / 2 + 8, 2), .pregapSectors = 40},
                       {.pcm = PatternPcm(kSecond, 3), .pregapSectors = 75}}};
}

TEST_F(EngineTest, EveryTrackReadsByteForByteInAnyBlockSize)
{
    const WrittenImage image = write(ThreeTracks());
    auto& lib = openImage(image);
    for (DWORD block : {20000u, 262144u, 1u}) {
        for (DWORD t = 0; t < 3; ++t) {
            if (block == 1 && t != 1)
                continue; // one short track is enough to read a byte at a time
            SCOPED_TRACE(testing::Message() << "block " << block << " track " << t);
            const HSTREAM s = lib.BASS_CD_StreamCreate(0, t, BASS_CD_DECODE_FLAGS);
            ASSERT_NE(s, 0u);
            const Pcm expected = image.track(t);
            EXPECT_EQ(lib.BASS_StreamGetLength(s), expected.size());
            const Pcm got = drain(lib, s, block);
            ASSERT_EQ(got.size(), expected.size());
            EXPECT_TRUE(got == expected);
            // The end: inactive, position on the last byte, no more data.
            EXPECT_EQ(lib.BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED);
            EXPECT_EQ(lib.BASS_ChannelGetPosition(s), expected.size());
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
    ASSERT_NE(s, 0u);
    const Pcm track = image.track(0);
    const QWORD length = track.size();
    struct Case { QWORD to, lands; };
    const Case cases[] = {{0, 0}, {4, 4}, {7, 4}, {2352 * 3 + 8, 2352 * 3 + 8}, {2352 * 70 - 4, 2352 * 70 - 4},
                          {length - 40, length - 40}, {1000, 1000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        ASSERT_TRUE(lib.BASS_ChannelSetPosition(s, c.to));
        EXPECT_EQ(lib.BASS_ChannelGetPosition(s), c.lands);
        std::uint8_t buf[40];
        ASSERT_EQ(lib.BASS_ChannelGetData(s, buf, sizeof buf), sizeof buf);
        EXPECT_TRUE(std::equal(buf, buf + sizeof buf, track.begin() + static_cast<std::ptrdiff_t>(c.lands)));
    }
    // To the very end: nothing left; past it: refused, position kept.
    ASSERT_TRUE(lib.BASS_ChannelSetPosition(s, length));
    EXPECT_EQ(lib.BASS_ChannelIsActive(s), BASS_ACTIVE_STOPPED);
    ASSERT_TRUE(lib.BASS_ChannelSetPosition(s, 8));
    EXPECT_EQ(lib.BASS_ChannelIsActive(s), BASS_ACTIVE_PLAYING) << "a seek back revives an ended stream";
    EXPECT_FALSE(lib.BASS_ChannelSetPosition(s, length + 4));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    EXPECT_EQ(lib.BASS_ChannelGetPosition(s), 8u);
}

TEST_F(EngineTest, StreamsDescribeTheirFormatOrSayWhyTheyCannotBeMade)
{
    auto& lib = openImage(write(ThreeTracks()));
    const HSTREAM s = lib.BASS_CD_StreamCreate(0, 2, BASS_CD_DECODE_FLAGS);
    BASS_CHANNELINFO info;
    ASSERT_TRUE(lib.BASS_ChannelGetInfo(s, &info));
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    EXPECT_FLOAT_EQ(lib.BASS_ChannelBytes2Seconds(s, 176400 * 3 / 2), 1.5f);
    struct Case { DWORD drive, track, flags; int code; };
    const Case cases[] = {
        {0, 3, BASS_CD_DECODE_FLAGS, BASS_ERROR_CDTRACK},
        {0, 0xFFFFFFFF, BASS_CD_DECODE_FLAGS, BASS_ERROR_CDTRACK},
        {1, 0, BASS_CD_DECODE_FLAGS, BASS_ERROR_DEVICE},
        {0, 0, BASS_CD_DECODE_FLAGS | BASS_SAMPLE_8BITS, BASS_ERROR_FORMAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.drive << "/" << c.track << "/" << c.flags);
        EXPECT_EQ(lib.BASS_CD_StreamCreate(c.drive, c.track, c.flags), 0u);
        EXPECT_EQ(lib.BASS_ErrorGetCode(), c.code);
    }
}

// Handles are never reused, so one freed long ago stays unknown.
TEST_F(EngineTest, FreedAndUnknownHandlesFailEveryChannelCall)
{
    auto& lib = openImage(write(ThreeTracks()));
    std::set<HSTREAM> handles;
    HSTREAM freed = 0;
    for (int i = 0; i < 1000; ++i) {
        freed = lib.BASS_CD_StreamCreate(0, static_cast<DWORD>(i % 3), i % 2 ? BASS_CD_DECODE_FLAGS : BASS_STREAM_DECODE);
        ASSERT_TRUE(handles.insert(freed).second);
        ASSERT_TRUE(lib.BASS_StreamFree(freed));
    }
    std::uint8_t buf[8];
    BASS_CHANNELINFO info;
    for (DWORD h : {DWORD{0}, *handles.begin(), freed, DWORD{0xFFFFFFFF}}) {
        SCOPED_TRACE(h);
        auto expectHandleError = [&](bool failed) {
            EXPECT_TRUE(failed);
            EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        };
        expectHandleError(lib.BASS_ChannelGetData(h, buf, sizeof buf) == BASS_DATA_ERROR);
        expectHandleError(!lib.BASS_ChannelSetPosition(h, 0));
        expectHandleError(!lib.BASS_ChannelGetInfo(h, &info));
        expectHandleError(!lib.BASS_StreamFree(h));
        expectHandleError(!lib.BASS_StreamPlay(h, true, 0));
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
    const HSTREAM kept = lib.BASS_CD_StreamCreate(0, 1, BASS_STREAM_DECODE);
    drain(lib, kept, 262144);
    ASSERT_NE(lib.BASS_CD_StreamCreate(0, 0, BASS_CD_DECODE_FLAGS), 0u);
    EXPECT_EQ(lib.BASS_ChannelGetPosition(forgotten), BASS_POSITION_ERROR);
    EXPECT_EQ(lib.BASS_ChannelGetPosition(kept), image.track(1).size()) << "without auto-free it stays";
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
    const int sectors = static_cast<int>(expected.size() / 2352);
    Pcm got(expected.size());
    ASSERT_TRUE(reader->read(start, sectors, got.data(), error));
    EXPECT_TRUE(got == expected);
    // Back to an earlier place: a seek, not a continuation.
    Pcm again(2352 * 2);
    ASSERT_TRUE(reader->read(start + 1, 2, again.data(), error));
    EXPECT_TRUE(std::equal(again.begin(), again.end(), expected.begin() + 2352));

    EXPECT_EQ(audio::ParanoiaReader::open(QFile::encodeName(path("nothing.cue")).toStdString(), error), nullptr);
    EXPECT_EQ(error, BASS_ERROR_NOCD);
}

} // namespace
} // namespace qm::test
