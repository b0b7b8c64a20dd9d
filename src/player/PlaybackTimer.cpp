// The sliders' handlers and the 50 ms playback timer: door boxes and the
// scene's door label, reload of an empty list, the position (or a rip's
// progress) and its label.
#include "app/frmMain.h"
#include "platform/frontend/FrontEnd.h"
#include "player/PlayerText.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace qm {

void frmMain::SliderVolume_Change()
{
    lblVolume->setText(VolumeText(SliderVolume->value()));
}

// The scroll handlers read the slider's position: during a user's move the
// value has not been passed on yet.
void frmMain::SliderVolume_Scroll()
{
    m_audio.BASS_ChannelSetAttributes(currentStream, -1, std::abs(SliderVolume->sliderPosition()), -101);
    lblVolume->setText(VolumeText(SliderVolume->sliderPosition()));
}

void frmMain::SliderBalance_Scroll()
{
    const int pan = SliderBalance->sliderPosition();
    m_audio.BASS_ChannelSetAttributes(currentStream, -1, -1, pan);
    lblBalance->setText(QString::number(pan));
}

void frmMain::SliderPosition_Click()
{
    QWORD length = m_audio.BASS_StreamGetLength(currentStream);
    if (length == BASS_POSITION_ERROR)
        length = 0; // no stream: the seek below fails in the library
    const double target = SliderPosition->value() / 10000.0 * static_cast<double>(length);
    SetStreamPosition(currentStream, static_cast<QWORD>(RoundHalfEven(target)));
}

void frmMain::SliderPosition_MouseDown() { positionDrag = true; }
void frmMain::SliderPosition_MouseUp() { positionDrag = false; }

float frmMain::Bytes2Seconds(HSTREAM stream, QWORD bytes)
{
    return m_audio.BASS_ChannelBytes2Seconds(stream, bytes);
}

bool frmMain::SetStreamPosition(HSTREAM stream, QWORD bytes)
{
    return m_audio.BASS_ChannelSetPosition(stream, bytes);
}

namespace {
void SetBox(QCheckBox* box, bool on)
{
    box->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}
} // namespace

void frmMain::ShowDoorLock(bool locked)
{
    m_sceneLocked = locked;
    m_frontEnd->SetVariable(QStringLiteral("_root.lock"), locked ? QStringLiteral("1") : QStringLiteral("0"));
}

void frmMain::tmrPlaybackPosition_Timer()
{
    // A tick that shows a box (a disc's load error) lets the timer fire
    // inside it; those ticks wait for the outer one.
    if (m_inTick)
        return;
    struct Running {
        bool& flag;
        explicit Running(bool& f) : flag(f) { flag = true; }
        ~Running() { flag = false; }
    } running(m_inTick);

    try {
        PlaybackTick();
    } catch (const std::exception& e) {
        tmrPlaybackPosition->stop();
        std::fprintf(stderr, "quillmere: the playback timer stopped after an error: %s\n", e.what());
    } catch (...) {
        tmrPlaybackPosition->stop();
        std::fprintf(stderr, "quillmere: the playback timer stopped after an unknown error\n");
    }
}

void frmMain::PlaybackTick()
{
    const DWORD drive = static_cast<DWORD>(currentDrive);
    SetBox(chkRWFlags[14], m_audio.BASS_CD_DoorIsOpen(drive));
    const bool locked = m_audio.BASS_CD_DoorIsLocked(drive);
    SetBox(chkRWFlags[13], locked);
    // The scene's door label follows the drive, whoever locked it: a rip
    // locks the door for each track. The scene hears only of changes.
    if (locked != m_sceneLocked)
        ShowDoorLock(locked);

    if (lsTracks->topLevelItemCount() == 0 && chkRWFlags[14]->checkState() == Qt::Unchecked)
        LoadTrackList();

    if (m_audio.BASS_ChannelIsActive(currentStream) == BASS_ACTIVE_STOPPED) {
        const QSignalBlocker quiet(SliderPosition);
        SliderPosition->setValue(0);
        lblTrackPosition->clear();
        return;
    }
    if (positionDrag)
        return; // the user holds the slider: it and the label stay as they are

    const QWORD length = m_audio.BASS_StreamGetLength(currentStream);
    const QWORD position = m_audio.BASS_ChannelGetPosition(currentStream);
    const float r = PlayedRatio(position, length);
    if (rippingActive) {
        if (ripProgress)
            ripProgress->setValue(ripProgress->minimum() +
                                  RatioToScale(r, ripProgress->maximum() - ripProgress->minimum()));
    } else {
        const QSignalBlocker quiet(SliderPosition);
        SliderPosition->setValue(RatioToScale(r, SliderPosition->maximum()));
    }
    if (!rippingActive && !ripStop) {
        auto known = [](QWORD bytes) { return bytes == BASS_POSITION_ERROR ? QWORD{0} : bytes; };
        lblTrackPosition->setText(PositionText(Bytes2Seconds(currentStream, known(position)),
                                               Bytes2Seconds(currentStream, known(length))));
    }
}

} // namespace qm
