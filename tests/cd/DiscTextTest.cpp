#include "cd/DiscText.h"

#include <QLocale>
#include <gtest/gtest.h>
#include <string>

using namespace qm;

namespace {
// Sets the default locale for one test and puts the old one back.
struct LocaleScope {
    QLocale saved;
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(saved); }
};
} // namespace

TEST(Seconds2HMS, MinutesBelowAnHourHoursFromThere)
{
    const std::pair<std::int32_t, const char*> rows[] = {
        {0, "00:00"},       {7, "00:07"},          {59, "00:59"},         {60, "01:00"},
        {3599, "59:59"},    {3600, "01:00:00"},    {3661, "01:01:01"},    {86399, "23:59:59"},
        {359999, "99:59:59"}, {360000, "100:00:00"}, {443045, "123:04:05"}, {-5, "00:00"},
    };
    for (const auto& [seconds, text] : rows)
        EXPECT_EQ(Seconds2HMS(seconds), QString::fromLatin1(text)) << seconds;
}

TEST(TrackSeconds, RoundsHalvesToEven)
{
    const std::pair<std::int32_t, std::int32_t> rows[] = {
        {0, 0},           {88199, 0},        {88200, 0} /* 0.5 */, {88201, 1},
        {441000, 2} /* 2.5 */, {617400, 4} /* 3.5 */, {176400 * 60, 60}, {176400 * 80 * 60 + 1, 4800},
    };
    for (const auto& [bytes, seconds] : rows)
        EXPECT_EQ(TrackSeconds(bytes), seconds) << bytes;
}

TEST(FormatKbps, GroupsWithTheLocaleSeparator)
{
    {
        LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
        EXPECT_EQ(FormatKbps(7056), "7,056 Kbps");
        EXPECT_EQ(FormatKbps(2048), "2,048 Kbps");
        EXPECT_EQ(FormatKbps(999), "999 Kbps");
        EXPECT_EQ(FormatKbps(1234567), "1,234,567 Kbps");
        EXPECT_EQ(FormatKbps(0), " Kbps");
    }
    {
        LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(FormatKbps(7056), "7.056 Kbps");
    }
    {
        // C omits the separator by default; the pattern still groups.
        LocaleScope c(QLocale::c());
        EXPECT_EQ(FormatKbps(7056), "7,056 Kbps");
    }
}

TEST(ReadCString, ReadsUpToTheZeroWithinItsBound)
{
    EXPECT_EQ(ReadCString(nullptr), QString());
    EXPECT_EQ(ReadCString(""), QString());
    EXPECT_EQ(ReadCString("Hello\0World"), "Hello");
    EXPECT_EQ(ReadCString("Caf\xC3\xA9"), QString::fromUtf8("Café"));
    // Bytes that are not UTF-8 read as Latin-1 rather than as replacement marks.
    EXPECT_EQ(ReadCString("Caf\xE9 \xFF"), QString::fromUtf8("Café ÿ"));
    // A text with no zero in reach is cut at the bound, never read past it.
    const char unterminated[4] = {'A', 'B', 'C', 'D'};
    EXPECT_EQ(ReadCString(unterminated, sizeof unterminated), "ABCD");
    const std::string longText(10000, 'x');
    EXPECT_EQ(ReadCString(longText.c_str()).size(), static_cast<qsizetype>(kMaxCStringBytes));
}

TEST(DriveEntryText, NameColonDescription)
{
    EXPECT_EQ(DriveEntryText("/dev/sr0", "HL-DT-ST DVDRAM GH24NSD1", 0), "/dev/sr0: HL-DT-ST DVDRAM GH24NSD1");
    EXPECT_EQ(DriveEntryText("album.cue", "Disc image", 2), "album.cue: Disc image");
    EXPECT_EQ(DriveEntryText(nullptr, "Gone", 3), "Drive 3: Gone");
    EXPECT_EQ(DriveEntryText("/dev/sr1", "Bad \xFE\xFF", 1), QString::fromUtf8("/dev/sr1: Bad þÿ"));
}
