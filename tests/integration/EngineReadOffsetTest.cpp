// The engine's read offset, image drives and paranoia's read-error counts.
#include "EngineFixture.h"

#include "platform/audio/ParanoiaReader.h"

#include <cdio/paranoia/paranoia.h>

#include <climits>
#include <tuple>

namespace qm::test {
namespace {

// The first track starts the disc and the last one ends it on a whole sector
// of non-zero PCM, so any sample read from outside the disc shows.
DiscLayout EdgeToEdge()
{
    return {.tracks = {{.pcm = PatternPcm(2352 * 30, 4)},
                       {.pcm = PatternPcm(2352 * 20 + 100, 5), .pregapSectors = 10},
                       {.pcm = PatternPcm(2352 * 25, 6), .pregapSectors = 3}}};
}

// Track `t` as a drive with this offset reads it: the disc's bytes shifted,
// zeros outside the disc.
Pcm Shifted(const WrittenImage& image, std::size_t t, int offset)
{
    Pcm out(image.track(t).size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::int64_t at = image.starts[t] + static_cast<std::int64_t>(i) + std::int64_t{offset} * 4;
        out[i] = at >= 0 && at < static_cast<std::int64_t>(image.binBytes.size()) ? image.binBytes[static_cast<std::size_t>(at)] : 0;
    }
    return out;
}

TEST_F(EngineTest, ReadOffsetShiftsEveryTrackWithSilenceBeyondTheDisc)
{
    const WrittenImage image = write(EdgeToEdge());
    auto& lib = openImage(image);
    // Whole sectors, a few samples, and the extremes, each way.
    for (int offset : {-3000, -588, -667, -1, 1, 30, 588, 1234, 3000}) {
        ASSERT_TRUE(lib.QM_CD_SetReadOffset(0, offset)) << offset;
        for (DWORD t = 0; t < 3; ++t) {
            SCOPED_TRACE(testing::Message() << "offset " << offset << " track " << t);
            const HSTREAM s = lib.BASS_CD_StreamCreate(0, t, BASS_CD_DECODE_FLAGS);
            ASSERT_NE(s, 0u) << lib.BASS_ErrorGetCode();
            EXPECT_EQ(lib.BASS_StreamGetLength(s), image.track(t).size());
            EXPECT_TRUE(drain(lib, s, 7000) == Shifted(image, t, offset));
        }
    }
    // The expectation itself: silence before the disc, the neighbour's bytes
    // between tracks, silence past the last sector.
    const Pcm first = Shifted(image, 0, -3000), middle = Shifted(image, 1, 1), last = Shifted(image, 2, 3000);
    EXPECT_TRUE(std::all_of(first.begin(), first.begin() + 12000, [](std::uint8_t b) { return b == 0; }));
    EXPECT_NE(first[12000], 0);
    EXPECT_TRUE(std::equal(middle.end() - 4, middle.end(), image.track(2).begin()));
    EXPECT_TRUE(std::all_of(last.end() - 12000, last.end(), [](std::uint8_t b) { return b == 0; }));
}

// Streams made before keep theirs; seeks land on shifted bytes; a bad offset
// or drive changes nothing; back to 0 reads the image exactly.
TEST_F(EngineTest, ReadOffsetAppliesToLaterStreamsAndBadOnesAreRefused)
{
    const WrittenImage image = write(EdgeToEdge());
    auto& lib = openImage(image);
    const HSTREAM before = lib.BASS_CD_StreamCreate(0, 1, BASS_CD_DECODE_FLAGS);
    ASSERT_TRUE(lib.QM_CD_SetReadOffset(0, -700));
    for (const auto& [drive, offset, code] : {std::tuple{0u, 3001, BASS_ERROR_ILLPARAM}, std::tuple{0u, INT_MIN, BASS_ERROR_ILLPARAM},
                                              std::tuple{1u, 0, BASS_ERROR_DEVICE}}) {
        EXPECT_FALSE(lib.QM_CD_SetReadOffset(drive, offset)) << offset;
        EXPECT_EQ(lib.BASS_ErrorGetCode(), code) << offset;
    }
    const HSTREAM after = lib.BASS_CD_StreamCreate(0, 1, BASS_CD_DECODE_FLAGS);
    EXPECT_TRUE(drain(lib, before, 20000) == image.track(1));
    const Pcm shifted = Shifted(image, 1, -700);
    for (QWORD to : {QWORD{2352 * 7 + 12}, QWORD{100}, QWORD{2352 * 19}}) {
        ASSERT_TRUE(lib.BASS_ChannelSetPosition(after, to));
        std::uint8_t buf[5000];
        const DWORD got = lib.BASS_ChannelGetData(after, buf, sizeof buf);
        ASSERT_NE(got, BASS_DATA_ERROR);
        EXPECT_TRUE(std::equal(buf, buf + got, shifted.begin() + static_cast<std::ptrdiff_t>(to))) << to;
    }
    ASSERT_TRUE(lib.QM_CD_SetReadOffset(0, 0));
    EXPECT_TRUE(drain(lib, lib.BASS_CD_StreamCreate(0, 2, BASS_CD_DECODE_FLAGS), 20000) == image.track(2));

    EXPECT_TRUE(lib.QM_CD_IsImage(0));
    EXPECT_FALSE(lib.QM_CD_IsImage(1));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
}

// Drives refuse data sectors as audio: what a shift takes from a data track is silence.
TEST_F(EngineTest, ReadOffsetTakesSilenceFromADataTrack)
{
    const WrittenImage image = write({.tracks = {{.pcm = PatternPcm(2352 * 10, 7), .data = true},
                                                 {.pcm = PatternPcm(2352 * 10, 8)}}});
    auto& lib = openImage(image);
    ASSERT_TRUE(lib.QM_CD_SetReadOffset(0, -588));
    const Pcm track = image.track(1);
    Pcm expected(2352, 0);
    expected.insert(expected.end(), track.begin(), track.end() - 2352);
    EXPECT_TRUE(drain(lib, lib.BASS_CD_StreamCreate(0, 1, BASS_CD_DECODE_FLAGS), 20000) == expected);
}

// Image streams count nothing, also asked while a playing stream's thread reads.
TEST_F(EngineTest, ReadErrorsOfImageStreamsAreNoneAndUnknownHandlesAreRefused)
{
    auto& lib = openImage(write(EdgeToEdge()));
    ASSERT_TRUE(lib.BASS_Init(1, 44100, 0, 0, nullptr));
    ASSERT_TRUE(lib.QM_CD_SetReadOffset(0, 300));
    const HSTREAM decoding = lib.BASS_CD_StreamCreate(0, 0, BASS_CD_DECODE_FLAGS);
    const HSTREAM playing = lib.BASS_CD_StreamCreate(0, 1, BASS_CD_PLAY_FLAGS);
    ASSERT_TRUE(lib.BASS_StreamPlay(playing, true, 0));
    drain(lib, decoding, 30000);
    for (HSTREAM h : {decoding, playing}) {
        QM_CD_READ_ERRORS errors{1, 1, 1, 1, 1};
        ASSERT_TRUE(lib.QM_CD_GetReadErrors(h, &errors)) << h;
        EXPECT_EQ(errors.readErrors + errors.skips + errors.repairs + errors.fixups + errors.drift, 0u) << h;
    }
    ASSERT_TRUE(lib.BASS_StreamFree(playing));
    QM_CD_READ_ERRORS errors;
    for (HSTREAM h : {HSTREAM{0}, playing}) {
        EXPECT_FALSE(lib.QM_CD_GetReadErrors(h, &errors)) << h;
        EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_HANDLE) << h;
    }
}

TEST(ParanoiaEventCountsTest, CountsTroubleByKindAndIgnoresProgress)
{
    audio::ParanoiaEventCounts counts;
    for (paranoia_cb_mode_t event : {PARANOIA_CB_READERR, PARANOIA_CB_READERR, PARANOIA_CB_SKIP, PARANOIA_CB_SCRATCH,
                                     PARANOIA_CB_REPAIR, PARANOIA_CB_FIXUP_EDGE, PARANOIA_CB_FIXUP_ATOM,
                                     PARANOIA_CB_FIXUP_DROPPED, PARANOIA_CB_FIXUP_DUPED, PARANOIA_CB_DRIFT,
                                     PARANOIA_CB_READ, PARANOIA_CB_VERIFY, PARANOIA_CB_OVERLAP, PARANOIA_CB_WROTE})
        counts.count(event);
    const QM_CD_READ_ERRORS e = counts.snapshot();
    EXPECT_EQ(std::vector<DWORD>({e.readErrors, e.skips, e.repairs, e.fixups, e.drift}), std::vector<DWORD>({2, 1, 2, 4, 1}));
}

} // namespace
} // namespace qm::test
