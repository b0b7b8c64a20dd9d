// The test double's read offset, unstable tracks and read-error counts,
// which the rip tests trust to behave as a drive does.
#include "FakeAudioLibrary.h"

#include <gtest/gtest.h>

namespace qm::test {
namespace {

std::vector<std::uint8_t> Drain(FakeAudioLibrary& lib, HSTREAM h)
{
    std::vector<std::uint8_t> all(static_cast<std::size_t>(lib.BASS_StreamGetLength(h)));
    for (std::size_t at = 0; at < all.size();) {
        const DWORD got = lib.BASS_ChannelGetData(h, all.data() + at, 5000);
        if (got == 0 || got == BASS_DATA_ERROR)
            break;
        at += got;
    }
    return all;
}

TEST(FakeAudioLibraryTest, StreamsReadTheDiscShiftedUnstableTracksDifferAndErrorsShowAtTheEnd)
{
    FakeAudioLibrary lib;
    lib.drives.resize(1);
    FakeDrive& d = lib.drives[0];
    // A gap after the first track; the last ends inside a sector.
    d.trackLengths = {2352 * 6 + 40, 2352 * 5, 2352 * 4 + 8};
    d.toc = QM_CD_TOC{{{1, 0, true}, {2, 8, true}, {3, 13, true}}, 18};
    const std::vector<std::uint8_t> disc = FakeDiscPcm(d);
    for (int offset : {0, -1, 700, -3000, 3000}) {
        ASSERT_TRUE(lib.QM_CD_SetReadOffset(0, offset));
        for (DWORD t = 0; t < 3; ++t) {
            std::vector<std::uint8_t> expected(static_cast<std::size_t>(d.trackLengths[t]));
            for (std::size_t i = 0; i < expected.size(); ++i) {
                const std::int64_t at = d.toc->tracks[t].start * 2352 + std::int64_t{offset} * 4 + std::int64_t(i);
                expected[i] = at >= 0 && at < std::int64_t(disc.size()) ? disc[std::size_t(at)] : 0;
            }
            EXPECT_TRUE(Drain(lib, lib.BASS_CD_StreamCreate(0, t, BASS_CD_DECODE_FLAGS)) == expected) << offset << " " << t;
        }
    }
    EXPECT_FALSE(lib.QM_CD_SetReadOffset(0, -3001));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(d.readOffset, 3000);

    d.unstableTracks = {1};
    d.readErrors[1] = QM_CD_READ_ERRORS{3, 0, 1, 0, 0};
    std::vector<std::uint8_t> previous;
    for (int i = 0; i < 3; ++i) {
        const HSTREAM h = lib.BASS_CD_StreamCreate(0, 1, BASS_CD_DECODE_FLAGS);
        QM_CD_READ_ERRORS errors{9, 9, 9, 9, 9};
        ASSERT_TRUE(lib.QM_CD_GetReadErrors(h, &errors));
        EXPECT_EQ(errors.readErrors, 0u);
        const auto read = Drain(lib, h);
        EXPECT_FALSE(read == previous);
        previous = read;
        ASSERT_TRUE(lib.QM_CD_GetReadErrors(h, &errors)); // freed itself at its end, still answers
        EXPECT_EQ(errors.readErrors, 3u);
        EXPECT_EQ(errors.repairs, 1u);
    }
}

} // namespace
} // namespace qm::test
