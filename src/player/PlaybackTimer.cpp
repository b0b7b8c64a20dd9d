// The sliders' handlers and the 50 ms playback timer: the other features'
// part of a tick (the door, an empty list), then the position (or a rip's
// progress) and its label.
#include "Player.h"

#include "player/PlayerText.h"

#include <QLabel>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace qm {

void Player::SliderVolume_Change()
{
    lblVolume->setText(VolumeText(SliderVolume->value()));
}

// The scroll handlers read the slider's position: during a user's move the
// value has not been passed on yet.
void Player::SliderVolume_Scroll()
{
    m_audio.BASS_ChannelSetAttributes(m_state.currentStream, kKeepFrequency, std::abs(SliderVolume->sliderPosition()),
                                      kKeepPan);
    lblVolume->setText(VolumeText(SliderVolume->sliderPosition()));
}

void Player::SliderBalance_Scroll()
{
    const int pan = SliderBalance->sliderPosition();
    m_audio.BASS_ChannelSetAttributes(m_state.currentStream, kKeepFrequency, kKeepVolume, pan);
    lblBalance->setText(QString::number(pan));
}

void Player::SliderPosition_Click()
{
    const HSTREAM currentStream = m_state.currentStream;
    QWORD length = m_audio.BASS_StreamGetLength(currentStream);
    if (length == BASS_POSITION_ERROR)
        length = 0; // no stream: the seek below fails in the library
    const double target = SliderPosition->value() / 10000.0 * static_cast<double>(length);
    SetStreamPosition(currentStream, static_cast<QWORD>(RoundHalfEven(target)));
}

void Player::SliderPosition_MouseDown() { positionDrag = true; }
void Player::SliderPosition_MouseUp() { positionDrag = false; }

float Player::Bytes2Seconds(HSTREAM stream, QWORD bytes)
{
    return m_audio.BASS_ChannelBytes2Seconds(stream, bytes);
}

bool Player::SetStreamPosition(HSTREAM stream, QWORD bytes)
{
    return m_audio.BASS_ChannelSetPosition(stream, bytes);
}

void Player::tmrPlaybackPosition_Timer()
{
    // A tick that shows a box (a disc's load error) lets the timer fire
    // inside it; those ticks wait for the outer one.
    if (m_inTick)
        return;
    const QScopedValueRollback running(m_inTick, true);

    try {
        emit ticked();
        PlaybackTick();
    } catch (const std::exception& e) {
        tmrPlaybackPosition->stop();
        std::fprintf(stderr, "quillmere: the playback timer stopped after an error: %s\n", e.what());
    } catch (...) {
        tmrPlaybackPosition->stop();
        std::fprintf(stderr, "quillmere: the playback timer stopped after an unknown error\n");
    }
}

void Player::PlaybackTick()
{
    const HSTREAM currentStream = m_state.currentStream;
    if (m_audio.BASS_ChannelIsActive(currentStream) == BASS_ACTIVE_STOPPED) {
        const QSignalBlocker quiet(SliderPosition);
        SliderPosition->setValue(0);
        // Clearing a label lays its frame out again, even an empty one.
        if (!lblTrackPosition->text().isEmpty())
            lblTrackPosition->clear();
        return;
    }
    if (positionDrag)
        return; // the user holds the slider: it and the label stay as they are

    const QWORD length = m_audio.BASS_StreamGetLength(currentStream);
    const QWORD position = m_audio.BASS_ChannelGetPosition(currentStream);
    const float r = PlayedRatio(position, length);
    if (m_state.rippingActive) {
        emit ripProgress(r);
    } else {
        const QSignalBlocker quiet(SliderPosition);
        SliderPosition->setValue(RatioToScale(r, SliderPosition->maximum()));
    }
    if (!m_state.rippingActive && !m_state.ripStop) {
        auto known = [](QWORD bytes) { return bytes == BASS_POSITION_ERROR ? QWORD{0} : bytes; };
        lblTrackPosition->setText(PositionText(Bytes2Seconds(currentStream, known(position)),
                                               Bytes2Seconds(currentStream, known(length))));
    }
}

void Player::ShowVolume(int volume)
{
    SliderVolume->setValue(volume >= 0 && volume <= 100 ? -volume : -100);
}

} // namespace qm
