#pragma once
// The player: starting a track, the transport buttons, the volume, balance
// and position sliders, the library's notifications and the playback timer.
// Which row plays is the track list's choice; the player plays disc tracks.

#include "platform/audio/AudioLibrary.h"
#include "player/SyncGate.h"
#include "shared/WindowState.h"

#include <QObject>
#include <array>

class QLabel;
class QLayout;
class QPushButton;
class QSlider;
class QTimer;
class QWidget;

namespace qm {

class Dialogs;

class Player : public QObject {
    Q_OBJECT
public:
    Player(AudioLibrary& audio, Dialogs& dialogs, WindowState& state, QWidget* owner);

    // The controls in the three groups the track list frame places.
    QLayout* volumeGroup() const { return m_volumeGroup; }
    QLayout* positionGroup() const { return m_positionGroup; }
    QLayout* controlsGroup() const { return m_controlsGroup; }

    // Plays a disc track (0-based) on the current drive.
    void PlayTrack(int track);
    void FadeOut();
    void CDError();
    // Sync procedures: the library calls them on its own thread; they only
    // pass the event on to the window's thread.
    using SyncProcedure = void (Player::*)(HSYNC handle, DWORD channel, DWORD data, DWORD user);
    void EndSyncProc(HSYNC handle, DWORD channel, DWORD data, DWORD user);
    void CDErrorSyncProc(HSYNC handle, DWORD channel, DWORD data, DWORD user);
    HSYNC SetSync(HSTREAM stream, DWORD type, SyncProcedure procedure, DWORD user);
    // The transport buttons (0, 1, 2 and 8 of the window's button array).
    void cmdButton_Click(int index);
    // The slider at the library's volume at start-up; without an output
    // (-1) at full volume, so sound is audible once an output comes back.
    void ShowVolume(int volume);

    void SliderVolume_Change();
    void SliderVolume_Scroll();
    void SliderBalance_Scroll();
    void SliderPosition_Click();
    void SliderPosition_MouseDown();
    void SliderPosition_MouseUp();
    void tmrPlaybackPosition_Timer();
    float Bytes2Seconds(HSTREAM stream, QWORD bytes);
    bool SetStreamPosition(HSTREAM stream, QWORD bytes);

    QTimer* tmrPlaybackPosition = nullptr;
    bool positionDrag = false; // the mouse holds the position slider
    QSlider* SliderVolume = nullptr;
    QSlider* SliderBalance = nullptr;
    QSlider* SliderPosition = nullptr;
    QLabel* lblVolume = nullptr;
    QLabel* lblBalance = nullptr;
    QLabel* lblTrackPosition = nullptr;
    std::array<QPushButton*, 9> cmdButton{}; // only the transport's: 0, 1, 2, 8

signals:
    // Play pressed: the track list picks the row.
    void playPressed();
    // The playing track ended (or faded out): the track list plays the next row.
    void trackEnded();
    // Each tick, before the position is shown: the other features' part.
    void ticked();
    // During a rip, the current stream's progress (0 to 1).
    void ripProgress(float ratio);

private:
    void BuildControls(QWidget* owner);
    void PlaybackTick();

    AudioLibrary& m_audio;
    Dialogs& m_dialogs;
    WindowState& m_state;
    QWidget* m_owner;
    QLayout* m_volumeGroup = nullptr;
    QLayout* m_positionGroup = nullptr;
    QLayout* m_controlsGroup = nullptr;
    bool m_inTick = false; // a playback timer tick is running
    // Last, so that it closes first: no sync procedure reaches a player
    // that is being destroyed.
    SyncGateHolder m_syncGate{this};
};

} // namespace qm
