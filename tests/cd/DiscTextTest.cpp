#include "cd/DiscText.h"

#include <gtest/gtest.h>
#include <string>

using namespace qm;

TEST(DiscText, DurationsShowMinutesBelowAnHourAndRoundHalvesToEven)
{
    const std::pair<std::int32_t, const char*> texts[] = {
        {59, "00:59"}, {3599, "59:59"}, {3600, "01:00:00"}, {360000, "100:00:00"}, {-5, "00:00"},
    };
    for (const auto& [seconds, text] : texts)
        EXPECT_EQ(Seconds2HMS(seconds), QString::fromLatin1(text)) << seconds;
    // 176,400 bytes a second.
    const std::pair<std::int32_t, std::int32_t> lengths[] = {
        {88199, 0}, {88200, 0} /* 0.5 */, {88201, 1}, {441000, 2} /* 2.5 */, {617400, 4} /* 3.5 */,
        {176400 * 80 * 60 + 1, 4800},
    };
    for (const auto& [bytes, seconds] : lengths)
        EXPECT_EQ(TrackSeconds(bytes), seconds) << bytes;
}

TEST(DiscText, CStringsAreReadUpToTheZeroWithinTheirBound)
{
    EXPECT_EQ(ReadCString(nullptr), QString());
    EXPECT_EQ(ReadCString("Hello\0World"), "Hello");
    // Bytes that are not UTF-8 read as Latin-1 rather than as replacement marks.
    EXPECT_EQ(ReadCString("Caf\xC3\xA9"), QString::fromUtf8("Café"));
    EXPECT_EQ(ReadCString("Caf\xE9 \xFF"), QString::fromUtf8("Café ÿ"));
    const char unterminated[4] = {'A', 'B', 'C', 'D'};
    EXPECT_EQ(ReadCString(unterminated, sizeof unterminated), "ABCD");
    const std::string longText(10000, 'x');
    EXPECT_EQ(ReadCString(longText.c_str()).size(), static_cast<qsizetype>(kMaxCStringBytes));
    EXPECT_EQ(DriveEntryText(nullptr, "Gone", 3), "Drive 3: Gone");
}
