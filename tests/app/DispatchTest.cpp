// The started, shown window for tests of the scene's commands. What a command
// did is read from its outcomes: the engine's calls (summed up as PlayTrack,
// ShowDriveInfo, LoadTrackList), the settings store, the rip window opening,
// the scene's variables, the boxes, the frames and the selection.
#include "WindowRig.h"
#include "app/WindowDrag.h"
#include "settings/CRegister.h"
#include "settings/OptionsPanels.h"
#include "settings/modSettings.h"

#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace qm::test {

struct DispatchRig : WindowRig {
    QString framesAtClear;
    // A marker in a box that a settings load overwrites and a save stores.
    static inline const QString kProbeKey = QStringLiteral("WMA Tag#7"), kMarker = QStringLiteral("@probe");

    // `rows` rows, row `selected` selected (0: none), the `checked` rows
    // checked, stream 1 playing, every frame hidden, the rip stop flag raised.
    void start(int rows = 3, int selected = 2, const QList<int>& checked = {3})
    {
        if (audio.drives.empty())
            audio.drives.push_back(FakeDrive{});
        audio.drives[0].trackLengths = {kSecond, kSecond, kSecond, kSecond};
        WindowRig::start();
        watchRipWindows();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            ADD_FAILURE() << "window not exposed";
        list()->clear();
        for (int i = 1; i <= rows; ++i) {
            auto* item = new QTreeWidgetItem(list(), {QString::number(i)});
            item->setData(0, Qt::UserRole, i - 1);
            item->setCheckState(0, checked.contains(i) ? Qt::Checked : Qt::Unchecked);
        }
        select(selected <= rows ? selected : 0);
        window->state().currentStream = audio.BASS_CD_StreamCreate(0, 0, 0);
        audio.BASS_StreamPlay(window->state().currentStream, false, 0);
        window->state().ripStop = true;
        setFrames(false);
    }
    std::vector<QFrame*> allFrames() const
    {
        return {window->tracks().frMain, window->drives().frCDInfo, window->settings().frFileFormat,
                window->settings().frGeneralOptions};
    }
    void setFrames(bool visible)
    {
        for (QFrame* f : allFrames())
            f->setVisible(visible);
    }
    void clear()
    {
        audio.clearCalls();
        ripWindows.clear();
        frontEnd->variables.clear();
        frontEnd->log.clear();
        dialogs.boxes.clear();
        dialogs.documents.clear();
        framesAtClear = frames();
        CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QLatin1String(modSettings::kSection), kProbeKey, QString());
        window->settings().options->txtWMATags[7]->setText(kMarker);
    }
    void send(const QString& command, const QString& args = {}) { frontEnd->send(command, args); }

    // The calls, with a track start summed up as PlayTrack(track), a reading
    // of the drive's abilities as ShowDriveInfo and of its disc as LoadTrackList.
    QStringList summedCalls() const
    {
        // The call that starts each summary, and the calls that belong to it.
        static const std::map<QString, QStringList> sums{
            {"BASS_CD_StreamCreate", {"BASS_ChannelSetAttributes", "BASS_StreamPlay", "BASS_ChannelSetSync"}},
            {"BASS_CD_GetInfo", {"BASS_CD_DoorIsLocked", "BASS_CD_GetDriveDescription", "QM_CD_IsImage"}},
            {"BASS_CD_IsReady", {"BASS_CD_GetTracks", "BASS_CD_GetID", "BASS_CD_GetTrackLength", "QM_CD_GetTOC"}},
        };
        QStringList out, following;
        for (const QString& c : calls()) {
            const QString name = c.section('(', 0, 0);
            if (const auto sum = sums.find(name); sum != sums.end()) {
                following = sum->second;
                if (name == "BASS_CD_StreamCreate" && !out.isEmpty() && out.last().startsWith("BASS_ChannelStop("))
                    out.removeLast(); // a track start stops the stream before it
                out << (name == "BASS_CD_GetInfo"   ? QStringLiteral("ShowDriveInfo")
                        : name == "BASS_CD_IsReady" ? QStringLiteral("LoadTrackList")
                                                    : "PlayTrack(" + c.section(',', 1, 1) + ")");
            } else if (!following.contains(name)) {
                following.clear();
                out << c;
            }
        }
        return out;
    }

    // The visible frames, bottom to top.
    QString frames() const
    {
        QStringList names;
        const auto all = allFrames();
        for (QObject* child : window->children()) {
            auto* f = qobject_cast<QFrame*>(child);
            if (f && std::find(all.begin(), all.end(), f) != all.end() && f->isVisibleTo(window.get()))
                names << f->objectName();
        }
        return "frames:" + names.join(',');
    }

    // Everything the last command did.
    QStringList observe() const
    {
        QStringList seen;
        for (const QString& r : ripWindows)
            seen << "ShowRipWindow(" + r + ")";
        if (window->settings().options->txtWMATags[7]->text() != kMarker)
            seen << "LoadSettings";
        if (CRegister().REGGetSetting(HKEY_LOCAL_MACHINE, QLatin1String(modSettings::kSection), kProbeKey, {}) == kMarker)
            seen << "SaveSettings";
        seen << summedCalls();
        const bool listLoaded = seen.contains("LoadTrackList");
        for (const auto& v : frontEnd->variables)
            if (!listLoaded || (!v.first.endsWith("Enabled") && v.first != "_root.ChangeStatus"))
                seen << "var:" + v.first + "=" + v.second;
        for (const ShownBox& b : dialogs.boxes)
            seen << "box:" + b.title;
        for (const QString& d : dialogs.documents)
            seen << "doc:" + d;
        if (ManualDragActive())
            seen << "dragging";
        if (window->isMinimized())
            seen << "minimized";
        if (!window->isVisible())
            seen << "closed";
        if (frames() != framesAtClear)
            seen << frames();
        seen << QStringLiteral("selected:%1").arg(selectedRow());
        return seen;
    }
};

} // namespace qm::test

using namespace qm;
using namespace qm::test;

TEST(Dispatch, EveryCommandReachesItsActionAndOnlyByItsExactName)
{
    const QStringList close{"BASS_CD_Door(0,3)", "BASS_Stop()", "BASS_Free()", "closed"};
    const QStringList lock{"BASS_CD_DoorIsLocked(0)", "BASS_CD_Door(0,2)", "var:_root.lock=1", "var:_root.lockFlag=1"};
    const QStringList reread{"ShowDriveInfo", "LoadTrackList", "selected:0"};
    auto showAll = [](DispatchRig& r) { r.setFrames(true); };
    struct Row { const char* command; std::function<void(DispatchRig&)> setup; QStringList expected; };
    const std::vector<Row> rows{
        {"IDC_FS_Drag", {}, {}}, // the button is up: nothing to follow (the drag is the real scene's test)
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
    }
}

// A box, when one is shown, is a warning with an OK button.
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
    const Setup climbingNames = [](DispatchRig& r) {
        r.list()->topLevelItem(0)->setCheckState(0, Qt::Checked);
        r.window->settings().options->cmbFileNames->setCurrentText("../{title}");
    };
    const QString help = QStringLiteral(QUILLMERE_BIN_DIR "/Help.html");
    const QStringList reread{"ShowDriveInfo", "LoadTrackList", "selected:0"};
    struct Case { int rows; int selected; const char* command; Setup setup; QStringList expected; QString box = {}; };
    const Case cases[] = {
        // Previous and Next wrap at both ends and need a selection.
        {4, 4, "IDC_FS_Next", {}, {"PlayTrack(0)", "selected:1"}},
        {4, 1, "IDC_FS_Previous", {}, {"PlayTrack(3)", "selected:4"}},
        {4, 0, "IDC_FS_Next", {}, {"selected:0"}},
        {0, 0, "IDC_FS_End", {}, {"selected:0"}},
        {3, 0, "IDC_FS_ExtractBtn", {}, {"BASS_ChannelStop(1)", "box:No Tracks Selected", "selected:0"},
         "No Tracks Selected. Please, Select tracks first"},
        // An empty folder would put the files at the root.
        {3, 0, "IDC_FS_ExtractBtn", noFolder, {"BASS_ChannelStop(1)", "box:No Folder", "selected:0"},
         "There is no folder to rip to. Choose one in the General options."},
        {3, 0, "IDC_FS_ExtractBtn", climbingNames, {"BASS_ChannelStop(1)", "box:File Names", "selected:0"},
         "The file names \"../{title}\" cannot be used: \"..\" would leave the output folder. Change them in the "
         "General options."},
        {3, 2, "IDC_FS_Play", paused, {"@init", "BASS_ChannelIsActive(1)", "BASS_ChannelResume(1)", "selected:2"}},
        // Play with no row selected plays the first, as the button under the list does.
        {3, 0, "IDC_FS_Play", {}, {"@init", "BASS_ChannelIsActive(1)", "PlayTrack(0)", "selected:1"}},
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
