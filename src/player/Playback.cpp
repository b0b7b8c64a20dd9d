// Playing tracks: start, fade-out, read errors, the library's notifications
// and the transport buttons.
#include "Player.h"

#include "platform/ui/Dialogs.h"

#include <QMetaObject>
#include <QSignalBlocker>
#include <QSlider>
#include <cstdlib>

namespace qm {

void Player::PlayTrack(int track)
{
    HSTREAM& currentStream = m_state.currentStream;
    for (bool reopened = false;; reopened = true) {
        // The stopped stream frees itself: it was created with auto-free.
        m_audio.BASS_ChannelStop(currentStream);
        currentStream = m_audio.BASS_CD_StreamCreate(static_cast<DWORD>(m_state.currentDrive),
                                                     static_cast<DWORD>(track), BASS_CD_PLAY_FLAGS);
        m_state.playingTrack = currentStream != 0 ? track : -1;
        m_state.playingDrive = currentStream != 0 ? m_state.currentDrive : -1;
        // The balance slider applies to the new track too, so that what it
        // shows is what is heard.
        m_audio.BASS_ChannelSetAttributes(currentStream, kKeepFrequency, std::abs(SliderVolume->value()),
                                          SliderBalance->value());
        if (m_audio.BASS_StreamPlay(currentStream, true, 0) || m_audio.BASS_ErrorGetCode() != BASS_ERROR_DRIVER)
            break;
        // The sound server went away: the output is opened again, once, and
        // the track made again on it.
        if (!reopened && OpenDefaultOutput(m_audio, 0))
            continue;
        m_audio.BASS_StreamFree(currentStream);
        currentStream = 0;
        m_state.playingTrack = m_state.playingDrive = -1;
        m_dialogs.MessageBox(m_owner,
                             QStringLiteral("The sound server went away and cannot be reached: nothing can be heard "
                                            "until it is back."),
                             QStringLiteral("Digital output"), MsgIcon::Critical, MsgButtons::Ok);
        return;
    }
    const DWORD user = static_cast<DWORD>(track);
    SetSync(currentStream, BASS_SYNC_END, &Player::EndSyncProc, user);
    SetSync(currentStream, BASS_SYNC_CD_ERROR, &Player::CDErrorSyncProc, 0);
    SetSync(currentStream, BASS_SYNC_SLIDE, &Player::EndSyncProc, user);
}

void Player::FadeOut()
{
    m_audio.BASS_ChannelSlideAttributes(m_state.currentStream, kKeepFrequency, 0, kKeepPan, 5000);
}

void Player::CDError()
{
    m_audio.BASS_ChannelStop(m_state.currentStream);
    m_audio.BASS_StreamFree(m_state.currentStream);
    // Notifications of the freed stream still on their way are dropped, so the
    // user sees this one message and nothing starts behind it.
    m_state.currentStream = 0;
    m_dialogs.MessageBox(m_owner,
                         QStringLiteral("There was an error playing back an Audio CD stream. Most probable cause "
                                        "is the CD drive was opened."),
                         QStringLiteral("Error"), MsgIcon::Critical, MsgButtons::Ok);
    const QSignalBlocker quiet(SliderPosition); // a seek would act on no stream
    SliderPosition->setValue(0);
}

HSYNC Player::SetSync(HSTREAM stream, DWORD type, SyncProcedure procedure, DWORD user)
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
void Player::EndSyncProc(HSYNC /*handle*/, DWORD channel, DWORD /*data*/, DWORD /*user*/)
{
    QMetaObject::invokeMethod(
        this,
        [this, channel] {
            if (channel != 0 && channel == m_state.currentStream)
                emit trackEnded();
        },
        Qt::QueuedConnection);
}

void Player::CDErrorSyncProc(HSYNC /*handle*/, DWORD channel, DWORD /*data*/, DWORD /*user*/)
{
    QMetaObject::invokeMethod(
        this,
        [this, channel] {
            if (channel != 0 && channel == m_state.currentStream)
                CDError();
        },
        Qt::QueuedConnection);
}

void Player::cmdButton_Click(int index)
{
    const HSTREAM currentStream = m_state.currentStream;
    switch (index) {
    case 0: emit playPressed(); break;
    case 1:
        if (m_audio.BASS_ChannelIsActive(currentStream) == BASS_ACTIVE_PAUSED)
            m_audio.BASS_ChannelResume(currentStream);
        else
            m_audio.BASS_ChannelPause(currentStream);
        break;
    case 2: m_audio.BASS_ChannelStop(currentStream); break;
    case 8: FadeOut(); break;
    default: break;
    }
}

} // namespace qm
