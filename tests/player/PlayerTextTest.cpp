#include "platform/audio/AudioLibrary.h"
#include "player/PlayerText.h"

#include <gtest/gtest.h>

using namespace qm;

TEST(PlayerText, RatioOfPositionToLengthOnAScale)
{
    struct Row { QWORD pos, len; int scaled; };
    const Row rows[] = {{25, 100, 2500}, {1, 20000, 0} /* 0.5 -> 0 */, {3, 20000, 2} /* 1.5 -> 2 */, {150, 100, 10000},
                        {5, 0, 0},       {5, BASS_POSITION_ERROR, 0}, {BASS_POSITION_ERROR, 100, 0}};
    for (const Row& r : rows)
        EXPECT_EQ(RatioToScale(PlayedRatio(r.pos, r.len), 10000), r.scaled) << r.pos << "/" << r.len;
    EXPECT_EQ(RatioToScale(-2.0f, 100), 0);
}
