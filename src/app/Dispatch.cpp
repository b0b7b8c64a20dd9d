#include "frmMain.h"

#include "WindowDrag.h"
#include "cd/TrackRows.h"
#include "platform/frontend/FrontEnd.h"
#include "platform/ui/Dialogs.h"
#include "settings/OptionsPanels.h"

#include <QApplication>
#include <QFileInfo>
#include <QFrame>
#include <QTreeWidget>
#include <functional>
#include <utility>

namespace qm {

namespace {

// Rows of the track list are 1-based here, as the scene's commands count them.
int RowCount(const frmMain& w)
{
    return w.lsTracks ? w.lsTracks->topLevelItemCount() : 0;
}

void ShowFrame(QFrame* frame)
{
    frame->setVisible(true);
    frame->raise();
}

void HideFrames(frmMain& w)
{
    w.frMain->setVisible(false);
    w.frCDInfo->setVisible(false);
    w.frFileFormat->setVisible(false);
    w.frGeneralOptions->setVisible(false);
}

// The three spellings behave the same: each asks for the opposite of the
// door's present state. The scene hears of it before the door is touched.
void ToggleDoorLock(frmMain& w)
{
    const DWORD drive = static_cast<DWORD>(w.currentDrive);
    const bool locked = w.audio().BASS_CD_DoorIsLocked(drive);
    w.ShowDoorLock(!locked);
    w.frontEnd().SetVariable(QStringLiteral("_root.lockFlag"), QStringLiteral("1"));
    w.audio().BASS_CD_Door(drive, locked ? BASS_CD_DOOR_UNLOCK : BASS_CD_DOOR_LOCK);
}

void StartRip(frmMain& w)
{
    w.audio().BASS_ChannelStop(w.currentStream);
    const int rows = RowCount(w);
    for (int i = 0; i < rows; ++i) {
        if (w.lsTracks->topLevelItem(i)->checkState(0) == Qt::Checked) {
            if (w.OutputFolder().isEmpty()) {
                // An empty path would put the files at the root.
                w.dialogs().MessageBox(&w,
                                       QStringLiteral("There is no folder to rip to%1. Choose one in the General "
                                                      "options.")
                                           .arg(OptionsPanels::NoFolderReason()),
                                       QStringLiteral("No Folder"), MsgIcon::Warning, MsgButtons::Ok);
                return;
            }
            w.ripStop = false;
            w.ShowRipWindow(); // returns when the job has ended
            return;
        }
    }
    w.dialogs().MessageBox(&w, QStringLiteral("No Tracks Selected. Please, Select tracks first"),
                           QStringLiteral("No Tracks Selected"), MsgIcon::Warning, MsgButtons::Ok);
}

void PlayOrResume(frmMain& w)
{
    // Ripping to an encoder shuts the output down; this brings it back and
    // changes nothing when it is open.
    w.audio().BASS_Init(1, 44100, 0, w.windowHandle(), nullptr);
    if (w.audio().BASS_ChannelIsActive(w.currentStream) == BASS_ACTIVE_PAUSED) {
        w.audio().BASS_ChannelResume(w.currentStream);
        return;
    }
    if (const int s = SelectedRow(w.lsTracks))
        w.PlayTrack(s - 1);
}

void PlayFirst(frmMain& w)
{
    if (RowCount(w) == 0)
        return;
    w.PlayTrack(0);
    SelectRow(w.lsTracks, 1);
}

void PlayLast(frmMain& w)
{
    const int n = RowCount(w);
    if (n == 0)
        return;
    w.PlayTrack(n - 1);
    SelectRow(w.lsTracks, n);
}

void PlayNext(frmMain& w)
{
    const int n = RowCount(w);
    const int s = SelectedRow(w.lsTracks);
    if (n == 0 || s == 0)
        return;
    const int row = s == n ? 1 : s + 1;
    w.PlayTrack(row - 1);
    SelectRow(w.lsTracks, row);
}

void PlayPrevious(frmMain& w)
{
    const int n = RowCount(w);
    const int s = SelectedRow(w.lsTracks);
    if (n == 0 || s == 0)
        return;
    const int row = s == 1 ? n : s - 1;
    w.PlayTrack(row - 1);
    SelectRow(w.lsTracks, row);
}

void OpenOrCloseDoor(frmMain& w)
{
    const DWORD drive = static_cast<DWORD>(w.currentDrive);
    if (w.audio().BASS_CD_DoorIsLocked(drive))
        return;
    w.audio().BASS_ChannelStop(w.currentStream);
    w.audio().BASS_CD_Door(drive, w.audio().BASS_CD_DoorIsOpen(drive) ? BASS_CD_DOOR_CLOSE : BASS_CD_DOOR_OPEN);
    w.ShowDriveInfo();
    w.LoadTrackList();
}

void OpenHelp(frmMain& w)
{
    const QString path = w.resourceFolder() + QStringLiteral("/Help.html");
    if (QFileInfo(path).isFile() && w.dialogs().OpenDocument(path))
        return;
    // Nothing else would tell the user why the click did nothing.
    w.dialogs().MessageBox(&w, QStringLiteral("The help page could not be opened:\r\n") + path,
                           QStringLiteral("Help"), MsgIcon::Warning, MsgButtons::Ok);
}

void ApplySettings(frmMain& w)
{
    QString why;
    if (w.SaveSettings(&why))
        w.dialogs().MessageBox(&w, QStringLiteral("Settings have been saved."), QStringLiteral("Done"),
                               MsgIcon::Information, MsgButtons::Ok);
    else
        w.dialogs().MessageBox(&w, QStringLiteral("Settings could not be saved: %1.").arg(why),
                               QStringLiteral("Settings not saved"), MsgIcon::Warning, MsgButtons::Ok);
    w.update();
}

using Action = std::function<void(frmMain&)>;

// In the order the names are compared; the first equal name runs.
const std::vector<std::pair<QString, Action>>& Commands()
{
    static const std::vector<std::pair<QString, Action>> table{
        {QStringLiteral("IDC_FS_Drag"), [](frmMain& w) { DragWindow(&w); }},
        {QStringLiteral("IDC_FS_Close"), [](frmMain& w) { w.close(); }},
        {QStringLiteral("IDC_FS_Minimize"), [](frmMain& w) { w.showMinimized(); }},
        {QStringLiteral("IDC_FS_Help"), OpenHelp},
        {QStringLiteral("IDC_FS_ShowExtract"),
         [](frmMain& w) {
             ShowFrame(w.frMain);
             w.LoadSettings();
         }},
        {QStringLiteral("IDC_FS_Hide"), HideFrames},
        {QStringLiteral("IDC_FS_Extract"), HideFrames},
        {QStringLiteral("IDC_FS_ShowSettings"), [](frmMain& w) { ShowFrame(w.frGeneralOptions); }},
        {QStringLiteral("IDC_FS_General"), [](frmMain& w) { ShowFrame(w.frGeneralOptions); }},
        {QStringLiteral("IDC_FS_CD Drive"), [](frmMain& w) { ShowFrame(w.frCDInfo); }},
        {QStringLiteral("IDC_FS_output format"), [](frmMain& w) { ShowFrame(w.frFileFormat); }},
        {QStringLiteral("IDC_FS_lock"), ToggleDoorLock},
        {QStringLiteral("IDC_FS_Unlock"), ToggleDoorLock},
        {QStringLiteral("IDC_FS_unlock"), ToggleDoorLock},
        {QStringLiteral("IDC_FS_ExtractBtn"), StartRip},
        {QStringLiteral("IDC_FS_Begin"), PlayFirst},
        {QStringLiteral("IDC_FS_End"), PlayLast},
        {QStringLiteral("IDC_FS_Play"), PlayOrResume},
        {QStringLiteral("IDC_FS_Stop"), [](frmMain& w) { w.audio().BASS_ChannelStop(w.currentStream); }},
        {QStringLiteral("IDC_FS_Pause"), [](frmMain& w) { w.audio().BASS_ChannelPause(w.currentStream); }},
        {QStringLiteral("IDC_FS_Next"), PlayNext},
        {QStringLiteral("IDC_FS_Previous"), PlayPrevious},
        {QStringLiteral("IDC_FS_OpenFiles"), OpenOrCloseDoor},
        {QStringLiteral("IDC_FS_Settings"), [](frmMain& w) { w.LoadSettings(); }},
        {QStringLiteral("IDC_FS_Apply"), ApplySettings},
    };
    return table;
}

} // namespace

const QStringList& frmMain::CommandNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const auto& entry : Commands())
            list << entry.first;
        return list;
    }();
    return names;
}

// The scene's commands, compared exactly (case-sensitive, whole text). The
// argument is never used.
void frmMain::DispatchCommand(const QString& command, const QString& /*args*/)
{
    // A command that arrives while another one waits in a box or in the rip
    // window would run beneath it (a second rip, a door opened mid-rip, the
    // library freed under the writer): it is dropped.
    if (m_inCommand || QApplication::activeModalWidget())
        return;
    for (const auto& [name, action] : Commands()) {
        if (name == command) {
            struct Busy {
                bool& flag;
                explicit Busy(bool& f) : flag(f) { flag = true; }
                ~Busy() { flag = false; }
            } busy(m_inCommand);
            action(*this);
            return;
        }
    }
}

} // namespace qm
