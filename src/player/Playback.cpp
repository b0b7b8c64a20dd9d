// Playing tracks: start, advance, fade-out, read errors, the library's
// notifications, the list's double click and the button array.
#include "app/frmMain.h"
#include "cd/TrackRows.h"
#include "platform/ui/Dialogs.h"

#include <QMetaObject>
#include <QPushButton>
#include <QTreeWidget>
#include <cstdlib>

namespace qm {

void frmMain::PlayTrack(int row)
{
    const int track = TrackOfRow(row);
    // The stopped stream frees itself: it was created with auto-free.
    m_audio.BASS_ChannelStop(currentStream);
    currentStream = m_audio.BASS_CD_StreamCreate(static_cast<DWORD>(currentDrive), static_cast<DWORD>(track),
                                                 BASS_CD_PLAY_FLAGS);
    // The balance slider applies to the new track too, so that what it shows
    // is what is heard.
    m_audio.BASS_ChannelSetAttributes(currentStream, -1, std::abs(SliderVolume->value()), SliderBalance->value());
    m_audio.BASS_StreamPlay(currentStream, true, 0);
    const DWORD user = static_cast<DWORD>(track);
    SetSync(currentStream, BASS_SYNC_END, &frmMain::EndSyncProc, user);
    SetSync(currentStream, BASS_SYNC_CD_ERROR, &frmMain::CDErrorSyncProc, 0);
    SetSync(currentStream, BASS_SYNC_SLIDE, &frmMain::EndSyncProc, user);
}

void frmMain::PlayNextTrack(int /*lCurrentTrackNumber: the selection decides*/)
{
    const int count = lsTracks->topLevelItemCount();
    if (count == 0)
        return;
    const int selected = SelectedRow(lsTracks);
    // After the last row comes the first; with no selection, the first too.
    const int row = (selected == count || selected == 0) ? 1 : selected + 1;
    PlayTrack(row - 1);
    SelectRow(lsTracks, row);
}

void frmMain::FadeOut()
{
    m_audio.BASS_ChannelSlideAttributes(currentStream, -1, 0, -101, 5000);
}

void frmMain::CDError()
{
    m_audio.BASS_ChannelStop(currentStream);
    m_audio.BASS_StreamFree(currentStream);
    // Notifications of the freed stream still on their way are dropped, so the
    // user sees this one message and nothing starts behind it.
    currentStream = 0;
    m_dialogs.MessageBox(this,
                         QStringLiteral("There was an error playing back an Audio CD stream. Most probable cause "
                                        "is the CD drive was opened."),
                         QStringLiteral("Error"), MsgIcon::Critical, MsgButtons::Ok);
    const QSignalBlocker quiet(SliderPosition); // a seek would act on no stream
    SliderPosition->setValue(0);
}

HSYNC frmMain::SetSync(HSTREAM stream, DWORD type, SyncProcedure procedure, DWORD user)
{
    std::shared_ptr<SyncGate> gate = m_syncGate.gate();
    return m_audio.BASS_ChannelSetSync(
        stream, type, 0,
        [gate, procedure](HSYNC handle, DWORD channel, DWORD data, DWORD value) {
            std::lock_guard lock(gate->mutex);
            if (gate->window)
                (gate->window->*procedure)(handle, channel, data, value);
        },
        user);
}

// Both run on the library's thread: they hand the event over and return. The
// window's thread runs the work in the order the events were posted. An event
// for a stream that is no longer the current one (replaced by another start,
// or stopped by a read error) is dropped: it would start a row the user did
// not ask for, or a second advance after a fade-out that met the track's end.
void frmMain::EndSyncProc(HSYNC /*handle*/, DWORD channel, DWORD /*data*/, DWORD user)
{
    QMetaObject::invokeMethod(
        this,
        [this, channel, user] {
            if (channel != 0 && channel == currentStream)
                PlayNextTrack(static_cast<int>(user));
        },
        Qt::QueuedConnection);
}

void frmMain::CDErrorSyncProc(HSYNC /*handle*/, DWORD channel, DWORD /*data*/, DWORD /*user*/)
{
    QMetaObject::invokeMethod(
        this,
        [this, channel] {
            if (channel != 0 && channel == currentStream)
                CDError();
        },
        Qt::QueuedConnection);
}

void frmMain::lsTracks_DblClick()
{
    if (const int row = SelectedRow(lsTracks))
        PlayTrack(row - 1);
}

void frmMain::cmdButton_Click(int index)
{
    const DWORD drive = static_cast<DWORD>(currentDrive);
    switch (index) {
    case 0:
        // The selected row; with none, the first row (and it becomes selected).
        if (const int row = SelectedRow(lsTracks))
            PlayTrack(row - 1);
        else
            PlayNextTrack(-1);
        break;
    case 1:
        if (m_audio.BASS_ChannelIsActive(currentStream) == BASS_ACTIVE_PAUSED)
            m_audio.BASS_ChannelResume(currentStream);
        else
            m_audio.BASS_ChannelPause(currentStream);
        break;
    case 2: m_audio.BASS_ChannelStop(currentStream); break;
    case 3: m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_LOCK); break;
    case 4: m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_UNLOCK); break;
    case 5:
        m_audio.BASS_ChannelStop(currentStream);
        m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_OPEN);
        break;
    case 6:
        m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_CLOSE);
        ShowDriveInfo();
        break;
    case 8: FadeOut(); break;
    default: break;
    }
}

} // namespace qm
