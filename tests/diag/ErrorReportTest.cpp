#include "ScriptedDialogs.h"
#include "diag/ErrorReport.h"

#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

TEST(ReportError, RunsRoutineAndModuleTogetherOnThreeLinesWithoutIcon)
{
    ScriptedDialogs dialogs;
    ReportError(dialogs, nullptr, "frmDemo", "ExtractAudioTrack", 53, "File not found");
    ASSERT_EQ(dialogs.boxes.size(), 1);
    const ShownBox& box = dialogs.boxes[0];
    EXPECT_EQ(box.text, "Error in routine : ExtractAudioTrackin module : frmDemo\r\nError #53\r\nFile not found");
    EXPECT_EQ(box.title, "Quillmere");
    EXPECT_EQ(box.icon, MsgIcon::None);
    EXPECT_EQ(box.buttons, MsgButtons::Ok);
}

TEST(ShowAudioError, AddsTheCodeLineExceptForTheUnknownError)
{
    struct Row { int code; QString text; };
    const Row rows[] = {
        {-1, "There was an error."},
        {0, "There was an error.\r\n\r\nError Code : 0"},
        {12, "There was an error.\r\n\r\nError Code : 12"},
        {-2, "There was an error.\r\n\r\nError Code : -2"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        ScriptedDialogs dialogs;
        ShowAudioError(dialogs, nullptr, "There was an error.", row.code);
        ASSERT_EQ(dialogs.boxes.size(), 1);
        EXPECT_EQ(dialogs.boxes[0].text, row.text);
        EXPECT_EQ(dialogs.boxes[0].title, "Error");
        EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Critical);
        EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::Ok);
    }
}

TEST(AudioErrorText, CoversTheWholeTableAndItsGaps)
{
    const std::map<int, QString> table = {
        {0, "All is OK"},
        {1, "Memory Error"},
        {2, "Can't Open the File"},
        {3, "Can't Find a Free Sound Driver"},
        {4, "The Sample Buffer Was Lost - Please Report This!"},
        {5, "Invalid Handle"},
        {6, "Unsupported Format"},
        {7, "Invalid Playback Position"},
        {8, "BASS_Init Has Not Been Successfully Called"},
        {9, "BASS_Start Has Not Been Successfully Called"},
        {10, "Can't Initialize CD"},
        {11, "BASS_CDInit Has Not Been Successfully Called"},
        {12, "No CD in drive"},
        {13, "Can't Play the Selected CD Track"},
        {14, "Already Initialized"},
        {15, "CD Has No Volume Control"},
        {16, "Not Paused"},
        {17, "Not An Audio Track"},
        {18, "Can't Get a Free Channel"},
        {19, "An Illegal Type Was Specified"},
        {20, "An Illegal Parameter Was Specified"},
        {21, "No 3D Support"},
        {22, "No EAX Support"},
        {23, "Illegal Device Number"},
        {24, "Not Playing"},
        {25, "Illegal Sample Rate"},
        {27, "The Stream is Not a File Stream (WAV/MP3)"},
        {29, "No Hardware Voices Available"},
        {31, "The MOD music has no sequence data"},
        {32, "No Internet connection could be opened"},
        {33, "Couldn't create the file"},
        {34, "Effects are not enabled"},
        {35, "The channel is playing"},
        {37, "The requested data is not available"},
        {38, "The channel is a 'decoding channel'"},
        {-1, "Some Other Mystery Error"},
    };
    for (int code = -5; code <= 45; ++code) {
        SCOPED_TRACE(code);
        const auto it = table.find(code);
        EXPECT_EQ(AudioErrorText(code), it == table.end() ? QString() : it->second);
    }
    EXPECT_EQ(AudioErrorText(std::numeric_limits<int>::max()), QString());
    EXPECT_EQ(AudioErrorText(std::numeric_limits<int>::min()), QString());
}
