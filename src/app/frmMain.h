#pragma once
// The main window: its life is the program's life. It builds the features
// (drive panel, track list, player, rip, settings), each owning its widgets,
// wires them together and runs the start-up and shutdown in their fixed
// order. The names the scene's commands and the start-up call stay here, as
// forwarders to the feature that does the work.

#include "SingleInstance.h"
#include "SkinEngine.h"
#include "meta/LookupConfig.h"
#include "platform/audio/AudioLibrary.h"
#include "rip/RipJob.h"
#include "shared/WindowState.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <memory>

class QPushButton;
class QSlider;

namespace qm {

class Dialogs;
class DrivePanel;
class FrontEnd;
class Player;
class RipController;
class NowPlaying;
class SettingsPanel;
class TrackList;

class frmMain : public QWidget {
    Q_OBJECT
public:
    enum class LoadResult {
        Running,         // start-up finished; show the window
        AnotherInstance, // leave at once, silently, status 0
        OutputFailure,   // the audio output cannot be used; leave at once
    };

    // `lookup` says where discs are looked up and remembered; by default
    // nothing is.
    frmMain(AudioLibrary& audio, Dialogs& dialogs, std::unique_ptr<FrontEnd> frontEnd,
            QString resourceFolder, meta::LookupConfig lookup = {}, QWidget* parent = nullptr);
    ~frmMain() override;

    LoadResult Form_Load();
    // The shutdown steps; runs once, on the first close after a full load.
    void Form_Unload();

    // Start-up steps.
    void RestoreFileFormat();
    void LoadInterface();
    // The scene did not load: a framed window that says why.
    void ShowWithoutScene(const QString& problem);
    void EnumerateDrives();
    void LoadWMAEncoderRates();
    void DisableSliderToolTip(QSlider* slider);
    void SetTrackListTabStops();
    void LoadSettings();
    void StartHook();
    void StopHook();

    // What the scene's commands and the command line call.
    void cmbCDDrives_Click();
    void ShowDriveInfo();
    void LoadTrackList();
    int TrackOfRow(int row) const;
    // Plays the track a row (0-based) lists.
    void PlayTrack(int row);
    void ShowDoorLock(bool locked);
    void tmrPlaybackPosition_Timer();
    void ShowRipWindow();
    // The program is asked to end (a signal, Ctrl+Q): the window closes, or
    // with a rip under way the rip stops first and the window closes after.
    void RequestShutdown();
    void StopRipping();
    RipContext ripContext(bool showBoxes = true);
    // The panels' choices, the chosen drive and the checked rows.
    RipPlan RipPlanFromWindow() const;
    // The disc's texts as the track list resolves them, for names and tags.
    RipDisc DiscForRip() const;
    QString OutputFolder() const;
    RipResult ExtractAudioTrackToWav(int track);
    RipResult ExtractAudioTrackToWMA(int track, DWORD bitrate);
    RipResult Converter(const QString& source, const QString& format, const QString& bitrate,
                        const QString& outputFile, bool fromCD);
    // True when every setting was saved; otherwise *why (when given) says why.
    bool SaveSettings(QString* why);

    // Enables or disables the window's own content (the scene and the frames)
    // while a writer runs; the progress window, a child window, stays usable.
    void SetContentEnabled(bool enabled);
    bool ContentEnabled() const;

    // The scene's commands (src/app/Dispatch.cpp).
    void DispatchCommand(const QString& command, const QString& args);
    // Every command name, in the order they are compared.
    static const QStringList& CommandNames();
    // A scene command is running (it may wait in a box): others are dropped.
    bool CommandRunning() const { return m_inCommand; }

    static constexpr const char* kInstanceName = "BrellvoxAudioCDRipper";
    static constexpr int kWidth = 700;
    static constexpr int kHeight = 600;

    AudioLibrary& audio() { return m_audio; }
    Dialogs& dialogs() { return m_dialogs; }
    FrontEnd& frontEnd() { return *m_frontEnd; }
    SkinEngine& skin() { return m_skin; }
    const QString& resourceFolder() const { return m_resourceFolder; }
    std::uintptr_t windowHandle() { return static_cast<std::uintptr_t>(winId()); }

    // The button array's member `index` (the player's or the door's); null for 7.
    QPushButton* cmdButton(int index) const;

    // The features.
    WindowState& state() { return m_state; }
    DrivePanel& drives() const { return *m_drives; }
    TrackList& tracks() const { return *m_tracks; }
    Player& player() const { return *m_player; }
    RipController& rip() const { return *m_rip; }
    SettingsPanel& settings() const { return *m_settings; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildDesign();
    bool OpenAudioOutput();

    AudioLibrary& m_audio;
    Dialogs& m_dialogs;
    std::unique_ptr<FrontEnd> m_frontEnd;
    QString m_resourceFolder;
    meta::LookupConfig m_lookup;
    SkinEngine m_skin;
    SingleInstance m_instance{QString::fromLatin1(kInstanceName)};
    WindowState m_state;
    // Children of the window, made in BuildDesign.
    TrackList* m_tracks = nullptr;
    DrivePanel* m_drives = nullptr;
    Player* m_player = nullptr;
    SettingsPanel* m_settings = nullptr;
    RipController* m_rip = nullptr;
    std::unique_ptr<NowPlaying> m_nowPlaying;
    bool m_closeAfterRip = false;
    bool m_loaded = false;
    bool m_shutDown = false;
    bool m_inCommand = false; // a scene command is running
    // The input filter on the scene view (src/app/WindowHook.cpp).
    QObject* m_sceneFilter = nullptr;
    QPointer<QWidget> m_hookedView;
};

} // namespace qm
