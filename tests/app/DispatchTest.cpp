#include "DispatchRig.h"
#include "app/WindowDrag.h"
#include "settings/OptionsPanels.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

namespace {

struct Row {
    const char* command;
    std::function<void(DispatchRig&)> setup; // before the command; may be empty
    QStringList expected;                    // what DispatchRig::observe() then reports
};

} // namespace

// Start: three rows, row 2 selected, row 3 checked, a playing stream, all
// frames hidden, the rip stop flag raised.
TEST(Dispatch, EveryCommandReachesItsActionAndOnlyByItsExactName)
{
    const QStringList close{"BASS_CD_Door(0,3)", "BASS_Stop()", "BASS_Free()", "closed"};
    const QStringList lock{"BASS_CD_DoorIsLocked(0)", "BASS_CD_Door(0,2)", "var:_root.lock=1", "var:_root.lockFlag=1"};
    const QStringList reread{"ShowDriveInfo", "LoadTrackList", "selected:0"};
    auto showAll = [](DispatchRig& r) { r.setFrames(true); };
    auto press = [](DispatchRig& r) { QTest::mousePress(r.window.get(), Qt::LeftButton, {}, QPoint(300, 20)); };
    const std::vector<Row> rows{
        {"IDC_FS_Drag", press, {"dragging"}},
        {"IDC_FS_Close", {}, close},
        {"IDC_FS_Minimize", {}, {"minimized"}},
        {"IDC_FS_Help", {}, {"doc:" QUILLMERE_BIN_DIR "/Help.html"}},
        {"IDC_FS_ShowExtract", {}, {"LoadSettings", "frames:frMain"}},
        {"IDC_FS_Hide", showAll, {"frames:"}},
        {"IDC_FS_Extract", showAll, {"frames:"}},
        {"IDC_FS_ShowSettings", {}, {"frames:frGeneralOptions"}},
        {"IDC_FS_General", {}, {"frames:frGeneralOptions"}},
        {"IDC_FS_CD Drive", {}, {"frames:frCDInfo"}},
        {"IDC_FS_output format", {}, {"frames:frFileFormat"}},
        {"IDC_FS_lock", {}, lock},
        {"IDC_FS_Unlock", {}, lock},
        {"IDC_FS_unlock", {}, lock},
        {"IDC_FS_ExtractBtn", {}, {"ShowRipWindow(ripStop=0)", "BASS_ChannelStop(1)"}},
        {"IDC_FS_Begin", {}, {"PlayTrack(0)", "selected:1"}},
        {"IDC_FS_End", {}, {"PlayTrack(2)", "selected:3"}},
        {"IDC_FS_Play", {}, {"@init", "BASS_ChannelIsActive(1)", "PlayTrack(1)"}},
        {"IDC_FS_Stop", {}, {"BASS_ChannelStop(1)"}},
        {"IDC_FS_Pause", {}, {"BASS_ChannelPause(1)"}},
        {"IDC_FS_Next", {}, {"PlayTrack(2)", "selected:3"}},
        {"IDC_FS_Previous", {}, {"PlayTrack(0)", "selected:1"}},
        {"IDC_FS_OpenFiles", {},
         QStringList{"BASS_CD_DoorIsLocked(0)", "BASS_ChannelStop(1)", "BASS_CD_DoorIsOpen(0)", "BASS_CD_Door(0,1)"} +
             reread},
        {"IDC_FS_Settings", {}, {"LoadSettings"}},
        {"IDC_FS_Apply", {}, {"SaveSettings", "box:Done"}},
    };
    EXPECT_EQ(frmMain::CommandNames().size(), qsizetype(rows.size()));

    // Other letter cases, padding and unknown names do nothing at all.
    {
        DispatchRig rig;
        rig.start();
        rig.clear();
        for (const Row& row : rows) {
            const QString name = QString::fromLatin1(row.command);
            for (const QString& other : {name.toUpper(), name.toLower(), name + " ", " " + name})
                if (!frmMain::CommandNames().contains(other))
                    rig.send(other);
        }
        rig.send(QString());
        rig.send("IDC_FS_Nothing", "x");
        EXPECT_EQ(rig.observe(), QStringList{"selected:2"});
    }

    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        DispatchRig rig;
        rig.start();
        if (row.setup)
            row.setup(rig);
        rig.clear();
        // The argument is never used, whatever its size.
        rig.send(QString::fromLatin1(row.command), QString(1 << 20, QLatin1Char('x')));
        QStringList expected = row.expected;
        expected.replaceInStrings("@init", QStringLiteral("BASS_Init(1,44100,0,%1,null)").arg(rig.window->windowHandle()));
        if (!expected.join(' ').contains("selected:"))
            expected << "selected:2";
        EXPECT_EQ(rig.observe(), expected);
        if (QGuiApplication::mouseButtons() & Qt::LeftButton)
            QTest::mouseRelease(rig.window.get(), Qt::LeftButton, {}, QPoint(300, 20));
    }
}

// Commands whose work depends on the rows, the selection, the stream and the
// door. A box, when one is shown, is a warning with an OK button.
TEST(Dispatch, CommandsFollowTheRowsTheSelectionTheStreamAndTheDoor)
{
    using Setup = std::function<void(DispatchRig&)>;
    const Setup paused = [](DispatchRig& r) { r.audio.BASS_ChannelPause(1); };
    const Setup locked = [](DispatchRig& r) { r.audio.drives[0].doorLocked = true; };
    const Setup open = [](DispatchRig& r) { r.audio.drives[0].doorOpen = true; };
    const Setup noHelp = [](DispatchRig& r) { r.dialogs.documentOpens = false; };
    const Setup noFolder = [](DispatchRig& r) {
        r.list()->topLevelItem(0)->setCheckState(0, Qt::Checked);
        r.window->settings().options->txtExtractPath->clear();
    };
    const QString help = QStringLiteral(QUILLMERE_BIN_DIR "/Help.html");
    const QStringList reread{"ShowDriveInfo", "LoadTrackList", "selected:0"};
    const QStringList noRowChecked{"BASS_ChannelStop(1)", "box:No Tracks Selected", "selected:0"};
    struct Case { int rows; int selected; const char* command; Setup setup; QStringList expected; QString box = {}; };
    const Case cases[] = {
        // Previous and Next wrap at both ends and need a selection.
        {4, 4, "IDC_FS_Next", {}, {"PlayTrack(0)", "selected:1"}},
        {4, 1, "IDC_FS_Previous", {}, {"PlayTrack(3)", "selected:4"}},
        {4, 0, "IDC_FS_Next", {}, {"selected:0"}},
        {0, 0, "IDC_FS_End", {}, {"selected:0"}},
        // Extract with no row checked stops playback, warns and opens nothing.
        {3, 0, "IDC_FS_ExtractBtn", {}, noRowChecked, "No Tracks Selected. Please, Select tracks first"},
        // An empty folder would put the files at the root.
        {3, 0, "IDC_FS_ExtractBtn", noFolder, {"BASS_ChannelStop(1)", "box:No Folder", "selected:0"},
         "There is no folder to rip to. Choose one in the General options."},
        // Play resumes a paused stream.
        {3, 2, "IDC_FS_Play", paused, {"@init", "BASS_ChannelIsActive(1)", "BASS_ChannelResume(1)", "selected:2"}},
        // The door command does nothing to a locked door; an open one is closed
        // and the disc read again.
        {3, 2, "IDC_FS_OpenFiles", locked, {"BASS_CD_DoorIsLocked(0)", "selected:2"}},
        {3, 2, "IDC_FS_OpenFiles", open,
         QStringList{"BASS_CD_DoorIsLocked(0)", "BASS_ChannelStop(1)", "BASS_CD_DoorIsOpen(0)", "BASS_CD_Door(0,0)"} +
             reread},
        {3, 2, "IDC_FS_Help", noHelp, {"box:Help", "doc:" + help, "selected:2"},
         "The help page could not be opened:\r\n" + help},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + std::to_string(c.rows) + " " + std::to_string(c.selected));
        DispatchRig rig;
        rig.start(c.rows, c.selected, {});
        if (c.setup)
            c.setup(rig);
        rig.clear();
        rig.send(c.command);
        QStringList expected = c.expected;
        expected.replaceInStrings("@init", QStringLiteral("BASS_Init(1,44100,0,%1,null)").arg(rig.window->windowHandle()));
        EXPECT_EQ(rig.observe(), expected);
        if (c.box.isEmpty())
            continue;
        ASSERT_EQ(rig.dialogs.boxes.size(), 1);
        EXPECT_EQ(rig.dialogs.boxes[0].text, c.box);
        EXPECT_EQ(rig.dialogs.boxes[0].icon, MsgIcon::Warning);
    }
}

TEST(Dispatch, ShowingAPanelRaisesItWithoutHidingTheOthers)
{
    DispatchRig rig;
    rig.start();
    rig.send("IDC_FS_ShowExtract");
    rig.send("IDC_FS_output format");
    rig.send("IDC_FS_CD Drive");
    EXPECT_EQ(rig.frames(), "frames:frMain,frFileFormat,frCDInfo");
    rig.send("IDC_FS_General");
    rig.send("IDC_FS_output format");
    EXPECT_EQ(rig.frames(), "frames:frMain,frCDInfo,frGeneralOptions,frFileFormat");
    rig.send("IDC_FS_Hide");
    EXPECT_EQ(rig.frames(), "frames:");
}

TEST(Dispatch, CommandsArrivingWhileABoxIsOpenAreDropped)
{
    DispatchRig rig;
    rig.start();
    rig.dialogs.duringBox = [&](const QString&) {
        rig.send("IDC_FS_ExtractBtn");
        rig.send("IDC_FS_Close");
        rig.send("IDC_FS_Next");
    };
    rig.clear();
    rig.send("IDC_FS_Apply");
    EXPECT_EQ(rig.observe(), (QStringList{"SaveSettings", "box:Done", "selected:2"}));
    // Once the box is gone, commands run again.
    rig.dialogs.duringBox = nullptr;
    rig.send("IDC_FS_Next");
    EXPECT_TRUE(rig.summedCalls().contains("PlayTrack(2)"));
}
