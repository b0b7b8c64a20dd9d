#include "WindowRig.h"

#include <QFrame>
#include <QSlider>
#include <QTimer>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

namespace {

struct StartupRig : WindowRig {
    void addDrives(int n)
    {
        for (int i = 0; i < n; ++i)
            audio.drives.push_back(FakeDrive{});
    }
    std::vector<std::string> callsAfter(std::size_t from)
    {
        auto all = audio.calls();
        return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
    }
};

struct Startup : ::testing::Test, StartupRig {};

} // namespace

TEST_F(Startup, RunsItsStepsInOrder)
{
    addDrives(2);
    audio.volume = 40;
    frmMain& w = make();
    EXPECT_EQ(w.skin().configuration(), (QList<int>{2, 1}));
    ASSERT_EQ(w.Form_Load(), frmMain::LoadResult::Running);

    // The output, the drives up to the first that does not answer, the first
    // entry's panel and disc, the WMA rate list, the volume.
    EXPECT_EQ(calls().join(' '), QStringLiteral("BASS_Init(1,44100,0,%1,null) ").arg(w.windowHandle()) +
                                     "BASS_CD_GetDriveDescription(0) QM_CD_GetDriveName(0) BASS_CD_GetDriveDescription(1) "
                                     "QM_CD_GetDriveName(1) BASS_CD_GetDriveDescription(2) BASS_CD_GetInfo(0) "
                                     "BASS_CD_GetDriveDescription(0) QM_CD_IsImage(0) BASS_CD_IsReady(0) BASS_CD_GetTracks(0) BASS_CD_GetID(0,4) QM_CD_GetTOC(0) "
                                     "BASS_WMA_EncodeGetRates(44100,0) BASS_GetVolume()");
    // The scene is loaded (step 5) before the output is opened (step 6).
    ASSERT_EQ(frontEnd->movies.size(), 1);
    EXPECT_EQ(frontEnd->movies[0], qMakePair(0, QStringLiteral(QUILLMERE_BIN_DIR "/Main.qml")));
    EXPECT_EQ(frontEnd->log.value(0), "movie:" QUILLMERE_BIN_DIR "/Main.qml after ");
    // The version, then the empty disc's eight variables.
    ASSERT_EQ(frontEnd->variables.size(), 9);
    EXPECT_EQ(frontEnd->variables[0].first, QStringLiteral("_root.VersionNo"));

    EXPECT_EQ(w.drives().highestDriveIndex(), 1);
    EXPECT_EQ(w.player().SliderVolume->value(), -40);
    EXPECT_EQ(w.rip().wmaTagNames, QStringList({"Title", "Author", "WM/AlbumTitle", "Description", "Rating",
                                          "Copyright", "WM/Genre", "WM/Year"}));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    // A fixed size, the scene over all of it (where each frame sits is the real scene's test).
    EXPECT_EQ(w.minimumSize(), QSize(700, 600));
    EXPECT_EQ(w.maximumSize(), QSize(700, 600));
    EXPECT_EQ(w.frontEnd().view()->geometry(), QRect(0, 0, 700, 600));
    EXPECT_EQ(w.tracks().frMain->property("skin").toString(), "player");
}

// Whether start-up goes on, and a fatal code runs no later step (the texts are AudioOutputFailure's).
TEST(StartupFailure, TheOutputsErrorIsToldAndOnlyTwoCodesLetStartUpGoOn)
{
    const QString a = "Error: Couldn't Initialize Digital Output, The program will not work correclty.";
    const QString b = "The sound device may not be installed correclty.";
    struct Row { int code; QStringList lines; bool goesOn; };
    const Row rows[] = {
        {1, {a, b, "Error Code:BASS_ERROR_MEM"}, false},
        {23, {a, b, "Error Code:BASS_ERROR_DEVICE"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        StartupRig rig;
        rig.addDrives(1);
        rig.audio.failures["BASS_Init"] = row.code;
        frmMain& w = rig.make();
        w.player().SliderVolume->setValue(-3);
        EXPECT_EQ(w.Form_Load(), row.goesOn ? frmMain::LoadResult::Running : frmMain::LoadResult::OutputFailure);
        ASSERT_EQ(rig.dialogs.boxes.size(), 1);
        EXPECT_EQ(rig.dialogs.boxes[0].text.split("\r\n"), row.lines);
        EXPECT_EQ(rig.audio.callsNamed("BASS_CD_GetDriveDescription").empty(), !row.goesOn);
        EXPECT_EQ(w.player().SliderVolume->value(), row.goesOn ? -100 : -3) << "without an output: full volume";
        const std::size_t before = rig.audio.calls().size();
        w.close();
        EXPECT_EQ(!rig.callsAfter(before).empty(), row.goesOn); // no shutdown after a fatal code
    }
}

TEST(Shutdown, StopsTheTimerUnlocksEveryDriveThenFreesTheLibrary)
{
    StartupRig rig;
    rig.addDrives(3);
    frmMain& w = rig.make();
    ASSERT_EQ(w.Form_Load(), frmMain::LoadResult::Running);
    const std::size_t before = rig.audio.calls().size();
    w.close();
    w.close(); // a second close does not repeat the shutdown
    EXPECT_FALSE(w.player().tmrPlaybackPosition->isActive());
    EXPECT_EQ(rig.callsAfter(before), (std::vector<std::string>{"BASS_CD_Door(0,3)", "BASS_CD_Door(1,3)",
                                                                "BASS_CD_Door(2,3)", "BASS_Stop()", "BASS_Free()"}));
}
