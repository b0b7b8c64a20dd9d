#include "ScriptedDialogs.h"
#include "diag/ErrorReport.h"

#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

TEST(ErrorReport, BoxesCarryTheirLinesTitleAndIcon)
{
    ScriptedDialogs dialogs;
    ReportError(dialogs, nullptr, "frmDemo", "ExtractAudioTrack", 53, "File not found");
    ShowAudioError(dialogs, nullptr, "There was an error.", 0);
    ShowAudioError(dialogs, nullptr, "There was an error.", -1); // the unknown error has no code line
    ASSERT_EQ(dialogs.boxes.size(), 3);
    EXPECT_EQ(dialogs.boxes[0].text, "Error in routine : ExtractAudioTrackin module : frmDemo\r\nError #53\r\nFile not found");
    EXPECT_EQ(dialogs.boxes[0].title, "Quillmere");
    EXPECT_EQ(dialogs.boxes[1].text, "There was an error.\r\n\r\nError Code : 0");
    EXPECT_EQ(dialogs.boxes[1].title, "Error");
    EXPECT_EQ(dialogs.boxes[1].icon, MsgIcon::Critical);
    EXPECT_EQ(dialogs.boxes[2].text, "There was an error.");
}

// Spot checks: the ends of the table, its gaps, and codes outside it.
TEST(ErrorReport, AudioErrorTexts)
{
    EXPECT_EQ(AudioErrorText(0), "All is OK");
    EXPECT_EQ(AudioErrorText(25), "Illegal Sample Rate");
    EXPECT_EQ(AudioErrorText(27), "The Stream is Not a File Stream (WAV/MP3)");
    EXPECT_EQ(AudioErrorText(38), "The channel is a 'decoding channel'");
    EXPECT_EQ(AudioErrorText(-1), "Some Other Mystery Error");
    for (const int code : {-2, 26, 28, 39, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()})
        EXPECT_EQ(AudioErrorText(code), QString()) << code;
}
