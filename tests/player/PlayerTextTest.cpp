#include "platform/audio/AudioLibrary.h"
#include "player/PlayerText.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace qm;

TEST(PlayerText, PositionTextRoundsEachCountAndShowsFailuresAsZero)
{
    struct Row { float pos, len; const char* text; };
    const Row rows[] = {{2.5f, 3.5f, "00:02 / 00:04"}, {59.6f, 61.0f, "01:00 / 01:01"}, {-1.0f, -1.0f, "00:00 / 00:00"},
                        {3599.5f, 3600.4f, "01:00:00 / 01:00:00"}};
    for (const Row& r : rows)
        EXPECT_EQ(PositionText(r.pos, r.len).toStdString(), r.text) << r.pos;
}

TEST(PlayerText, RatioOfPositionToLengthOnAScale)
{
    struct Row { QWORD pos, len; int scaled; };
    const Row rows[] = {{25, 100, 2500}, {1, 20000, 0} /* 0.5 -> 0 */, {3, 20000, 2} /* 1.5 -> 2 */, {150, 100, 10000},
                        {5, 0, 0},       {5, BASS_POSITION_ERROR, 0}, {BASS_POSITION_ERROR, 100, 0}};
    for (const Row& r : rows)
        EXPECT_EQ(RatioToScale(PlayedRatio(r.pos, r.len), 10000), r.scaled) << r.pos << "/" << r.len;
    EXPECT_EQ(RatioToScale(-2.0f, 100), 0);
}
