#pragma once
// The main window: its life is the program's life. Creating it sets up the
// skin engine; Form_Load runs the start-up in its fixed order; closing it runs
// the shutdown.

#include "SingleInstance.h"
#include "rip/RipJob.h"
#include "SkinEngine.h"
#include "platform/audio/AudioLibrary.h"
#include "player/SyncGate.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QFrame;
class QProgressBar;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;
class QTreeWidget;

namespace qm {

class Dialogs;
class FrontEnd;
class OptionsPanels;

class frmMain : public QWidget {
    Q_OBJECT
public:
    enum class LoadResult {
        Running,         // start-up finished; show the window
        AnotherInstance, // leave at once, silently, status 0
        OutputFailure,   // the audio output cannot be used; leave at once
    };

    frmMain(AudioLibrary& audio, Dialogs& dialogs, std::unique_ptr<FrontEnd> frontEnd,
            QString resourceFolder, QWidget* parent = nullptr);
    ~frmMain() override;

    LoadResult Form_Load();
    // The shutdown steps; runs once, on the first close after a full load.
    void Form_Unload();

    // Start-up steps owned by other parts of the program. The operations the
    // scene's commands call are virtual so that tests can watch the calls.
    void RestoreFileFormat();
    void LoadInterface();
    void EnumerateDrives();
    void LoadWMAEncoderRates();
    void DisableSliderToolTip(QSlider* slider);
    void SetTrackListTabStops();
    virtual void LoadSettings();
    void StartHook();
    void StopHook();

    // Drives and the disc (src/cd).
    void cmbCDDrives_Click();
    virtual void ShowDriveInfo();
    virtual void LoadTrackList();
    // The disc track (0-based) a row of the list (0-based) stands for.
    int TrackOfRow(int row) const;

    // Playback (src/player). PlayTrack takes a row and plays the track it lists.
    virtual void PlayTrack(int row);
    void PlayNextTrack(int lCurrentTrackNumber);
    void FadeOut();
    void CDError();
    // Sync procedures: the library calls them on its own thread; they only
    // pass the event on to the window's thread.
    using SyncProcedure = void (frmMain::*)(HSYNC handle, DWORD channel, DWORD data, DWORD user);
    void EndSyncProc(HSYNC handle, DWORD channel, DWORD data, DWORD user);
    void CDErrorSyncProc(HSYNC handle, DWORD channel, DWORD data, DWORD user);
    HSYNC SetSync(HSTREAM stream, DWORD type, SyncProcedure procedure, DWORD user);
    void lsTracks_DblClick();
    void cmdButton_Click(int index);
    // The sliders and the playback timer (src/player).
    void SliderVolume_Change();
    void SliderVolume_Scroll();
    void SliderBalance_Scroll();
    void SliderPosition_Click();
    void SliderPosition_MouseDown();
    void SliderPosition_MouseUp();
    void tmrPlaybackPosition_Timer();
    // Tells the scene whether the door is locked (its door label).
    void ShowDoorLock(bool locked);
    float Bytes2Seconds(HSTREAM stream, QWORD bytes);
    bool SetStreamPosition(HSTREAM stream, QWORD bytes);
    QTimer* tmrPlaybackPosition = nullptr;
    bool positionDrag = false; // the mouse holds the position slider

    // Ripping (src/app/RipWindow.cpp): shows the progress window modally;
    // returns when the job has ended.
    virtual void ShowRipWindow();
    void StopRipping();
    // What a rip needs of this window; the terminal shows no boxes.
    RipContext ripContext(bool showBoxes = true);
    // The panels' choices, the chosen drive and the checked rows.
    RipPlan RipPlanFromWindow() const;
    // The Extract Path as a full path: a relative one means the folder the
    // program was started in, "~/" the home folder.
    QString OutputFolder() const;
    // One track in one format, outside a job; each reports its own failures.
    RipResult ExtractAudioTrackToWav(int track);
    RipResult ExtractAudioTrackToWMA(int track, DWORD bitrate);
    RipResult Converter(const QString& source, const QString& format, const QString& bitrate,
                        const QString& outputFile, bool fromCD);
    // Enables or disables the window's own content (the scene and the frames)
    // while a writer runs; the progress window, a child window, stays usable.
    void SetContentEnabled(bool enabled);
    bool ContentEnabled() const;

    // Settings (src/settings).
    // True when every setting was saved; otherwise *why (when given) says why.
    virtual bool SaveSettings(QString* why);

    // The scene's commands (src/app/Dispatch.cpp).
    void DispatchCommand(const QString& command, const QString& args);
    // Every command name, in the order they are compared.
    static const QStringList& CommandNames();

    // Shared state of the window.
    int currentDrive = 0;
    int highestDriveIndex = -1;
    HSTREAM currentStream = 0;
    bool ripStop = false; // set by a confirmed cancel; polled by the writers
    // While the progress window is open the playback timer shows the current
    // stream's progress in its bar instead of the position slider.
    bool rippingActive = false;
    // The progress window's pause before its job starts, time for it to be
    // seen; the command line, which shows no window, starts at once.
    int ripStartDelayMs = 1000;
    QProgressBar* ripProgress = nullptr;
    QStringList wmaTagNames;

    static constexpr const char* kInstanceName = "BrellvoxAudioCDRipper";
    static constexpr int kWidth = 700;
    static constexpr int kHeight = 600;

    AudioLibrary& audio() { return m_audio; }
    Dialogs& dialogs() { return m_dialogs; }
    FrontEnd& frontEnd() { return *m_frontEnd; }
    SkinEngine& skin() { return m_skin; }
    const QString& resourceFolder() const { return m_resourceFolder; }
    std::uintptr_t windowHandle() { return static_cast<std::uintptr_t>(winId()); }

    // Frames and controls of the window's design.
    QFrame* frMain = nullptr;
    QFrame* frCDInfo = nullptr;
    QFrame* frFileFormat = nullptr;
    QFrame* frGeneralOptions = nullptr;
    QTreeWidget* lsTracks = nullptr;
    // The format and folder panels (frFileFormat, frGeneralOptions); src/settings.
    OptionsPanels* options = nullptr;
    QSlider* SliderVolume = nullptr;
    QSlider* SliderBalance = nullptr;
    QSlider* SliderPosition = nullptr;
    QLabel* lblVolume = nullptr;
    QLabel* lblBalance = nullptr;
    QLabel* lblTrackPosition = nullptr;

    // The drive panel (frCDInfo) and the track list frame (frMain); src/cd.
    QComboBox* cmbCDDrives = nullptr;
    std::array<QCheckBox*, 15> chkRWFlags{};
    QLabel* lblMaxReadSpeed = nullptr;
    QLabel* lblCacheSize = nullptr;
    std::array<QPushButton*, 9> cmdButton{}; // there is no button 7
    QLineEdit* txtCDArtist = nullptr;
    QLineEdit* txtCDAlbum = nullptr;
    QLabel* lblHint = nullptr;
    QLabel* lblNoTracks = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildDesign();
    void BuildDrivePanel();      // src/cd/DrivePanel.cpp
    void BuildTrackListFrame();  // src/cd/TrackListFrame.cpp
    void BuildPlayer();          // src/player/PlayerControls.cpp
    void PlaybackTick();
    void LoadTrackListFromCDText(const char* lngTagPtr, int lTrackCount);
    void AddTrackRow(int track, std::int32_t bytes);
    // A disc whose load reported an error is remembered (drive and track
    // lengths) so that the timer's reloads of an empty list stay silent.
    void ReportLoadErrorsOnce(const QString& disc, const std::function<void()>& report);
    bool OpenAudioOutput();

    AudioLibrary& m_audio;
    Dialogs& m_dialogs;
    std::unique_ptr<FrontEnd> m_frontEnd;
    QString m_resourceFolder;
    SkinEngine m_skin;
    SingleInstance m_instance{QString::fromLatin1(kInstanceName)};
    bool m_loaded = false;
    bool m_shutDown = false;
    QString m_reportedDisc;          // "" when no disc load error was reported
    bool m_driveIndexChanged = false; // the drive list's index changed in this event
    bool m_inCommand = false; // a scene command is running
    // The input filter on the scene view (src/app/WindowHook.cpp).
    QObject* m_sceneFilter = nullptr;
    QPointer<QWidget> m_hookedView;
    bool m_inTick = false; // a playback timer tick is running
    bool m_sceneLocked = false; // what the scene was last told of the door's lock
    // Last, so that it closes first: no sync procedure reaches a window
    // that is being destroyed.
    SyncGateHolder m_syncGate{this};
};

} // namespace qm
