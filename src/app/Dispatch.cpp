#include "frmMain.h"
#include "rip/FileNames.h"

#include "WindowDrag.h"
#include "cd/DrivePanel.h"
#include "cd/TrackList.h"
#include "platform/frontend/FrontEnd.h"
#include "platform/ui/Dialogs.h"
#include "settings/OptionsPanels.h"
#include "settings/SettingsPanel.h"

#include <QApplication>
#include <QFileInfo>
#include <QFrame>
#include <QScopedValueRollback>
#include <functional>
#include <utility>

namespace qm {

namespace {

void ShowFrame(QFrame* frame)
{
    frame->setVisible(true);
    frame->raise();
}

void HideFrames(frmMain& w)
{
    w.tracks().frMain->setVisible(false);
    w.drives().frCDInfo->setVisible(false);
    w.settings().frFileFormat->setVisible(false);
    w.settings().frGeneralOptions->setVisible(false);
}

// The three spellings behave the same: each asks for the opposite of the
// door's present state. The scene hears of it before the door is touched.
void ToggleDoorLock(frmMain& w)
{
    const DWORD drive = static_cast<DWORD>(w.state().currentDrive);
    const bool locked = w.audio().BASS_CD_DoorIsLocked(drive);
    w.ShowDoorLock(!locked);
    w.frontEnd().SetVariable(QStringLiteral("_root.lockFlag"), QStringLiteral("1"));
    w.audio().BASS_CD_Door(drive, locked ? BASS_CD_DOOR_UNLOCK : BASS_CD_DOOR_LOCK);
}

void StartRip(frmMain& w)
{
    w.audio().BASS_ChannelStop(w.state().currentStream);
    if (!w.tracks().CheckedTracks().empty()) {
        if (w.OutputFolder().isEmpty()) {
            // An empty path would put the files at the root.
            w.dialogs().MessageBox(&w,
                                   QStringLiteral("There is no folder to rip to%1. Choose one in the General "
                                                  "options.")
                                       .arg(OptionsPanels::NoFolderReason()),
                                   QStringLiteral("No Folder"), MsgIcon::Warning, MsgButtons::Ok);
            return;
        }
        if (const QString why = NameTemplateProblem(w.settings().options->cmbFileNames->currentText()); !why.isEmpty()) {
            w.dialogs().MessageBox(&w,
                                   QStringLiteral("The file names \"%1\" cannot be used: %2. Change them in the "
                                                  "General options.")
                                       .arg(w.settings().options->cmbFileNames->currentText(), why),
                                   QStringLiteral("File Names"), MsgIcon::Warning, MsgButtons::Ok);
            return;
        }
        w.state().ripStop = false;
        w.ShowRipWindow(); // returns when the job has ended
        return;
    }
    w.dialogs().MessageBox(&w, QStringLiteral("No Tracks Selected. Please, Select tracks first"),
                           QStringLiteral("No Tracks Selected"), MsgIcon::Warning, MsgButtons::Ok);
}

void PlayOrResume(frmMain& w)
{
    // Ripping to an encoder shuts the output down; this brings it back and
    // changes nothing when it is open.
    OpenDefaultOutput(w.audio(), w.windowHandle());
    if (w.audio().BASS_ChannelIsActive(w.state().currentStream) == BASS_ACTIVE_PAUSED) {
        w.audio().BASS_ChannelResume(w.state().currentStream);
        return;
    }
    // As the Play button under the list: the selected row, else the first.
    if (w.tracks().RowCount() > 0)
        w.tracks().PlaySelectedOrFirst();
}

void PlayFirst(frmMain& w)
{
    if (w.tracks().RowCount() > 0)
        w.tracks().PlayAndSelect(1);
}

void PlayLast(frmMain& w)
{
    if (const int n = w.tracks().RowCount())
        w.tracks().PlayAndSelect(n);
}

void OpenOrCloseDoor(frmMain& w)
{
    const DWORD drive = static_cast<DWORD>(w.state().currentDrive);
    if (w.audio().BASS_CD_DoorIsLocked(drive))
        return;
    w.audio().BASS_ChannelStop(w.state().currentStream);
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
             ShowFrame(w.tracks().frMain);
             w.LoadSettings();
         }},
        {QStringLiteral("IDC_FS_Hide"), HideFrames},
        {QStringLiteral("IDC_FS_Extract"), HideFrames},
        {QStringLiteral("IDC_FS_ShowSettings"), [](frmMain& w) { ShowFrame(w.settings().frGeneralOptions); }},
        {QStringLiteral("IDC_FS_General"), [](frmMain& w) { ShowFrame(w.settings().frGeneralOptions); }},
        {QStringLiteral("IDC_FS_CD Drive"), [](frmMain& w) { ShowFrame(w.drives().frCDInfo); }},
        {QStringLiteral("IDC_FS_output format"), [](frmMain& w) { ShowFrame(w.settings().frFileFormat); }},
        {QStringLiteral("IDC_FS_lock"), ToggleDoorLock},
        {QStringLiteral("IDC_FS_Unlock"), ToggleDoorLock},
        {QStringLiteral("IDC_FS_unlock"), ToggleDoorLock},
        {QStringLiteral("IDC_FS_ExtractBtn"), StartRip},
        {QStringLiteral("IDC_FS_Begin"), PlayFirst},
        {QStringLiteral("IDC_FS_End"), PlayLast},
        {QStringLiteral("IDC_FS_Play"), PlayOrResume},
        {QStringLiteral("IDC_FS_Stop"), [](frmMain& w) { w.audio().BASS_ChannelStop(w.state().currentStream); }},
        {QStringLiteral("IDC_FS_Pause"), [](frmMain& w) { w.audio().BASS_ChannelPause(w.state().currentStream); }},
        {QStringLiteral("IDC_FS_Next"), [](frmMain& w) { w.tracks().PlayNext(false); }},
        {QStringLiteral("IDC_FS_Previous"), [](frmMain& w) { w.tracks().PlayPrevious(); }},
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
            const QScopedValueRollback busy(m_inCommand, true);
            action(*this);
            return;
        }
    }
}

} // namespace qm
