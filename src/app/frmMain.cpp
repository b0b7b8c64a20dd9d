#include "frmMain.h"

#include "NowPlaying.h"
#include "ResourceFolder.h"

#include "StartupMessages.h"
#include "cd/DrivePanel.h"
#include "cd/DiscTitles.h"
#include "cd/TrackList.h"
#include "platform/frontend/FrontEnd.h"
#include "platform/ui/Dialogs.h"
#include "player/Player.h"
#include "quillmere_version.h"
#include "rip/RipController.h"
#include "settings/OptionsPanels.h"
#include "settings/SettingsPanel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QKeySequence>
#include <QLabel>
#include <QPalette>
#include <QShortcut>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>

namespace qm {

frmMain::frmMain(AudioLibrary& audio, Dialogs& dialogs, std::unique_ptr<FrontEnd> frontEnd,
                 QString resourceFolder, meta::LookupConfig lookup, QWidget* parent)
    : QWidget(parent), m_audio(audio), m_dialogs(dialogs), m_frontEnd(std::move(frontEnd)),
      m_resourceFolder(std::move(resourceFolder)), m_lookup(std::move(lookup))
{
    m_state.startFolder = StartFolder(); // recorded before Form_Load changes the current folder
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Quillmere"));
    // The scene draws its own title area, minimise and close.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);

    m_skin.Configure(2);
    m_skin.Configure(1);

    BuildDesign();
    connect(m_frontEnd.get(), &FrontEnd::FSCommand, this, &frmMain::DispatchCommand);
    // Ctrl+Q ends the program as the close button does.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    quit->setContext(Qt::ApplicationShortcut);
    connect(quit, &QShortcut::activated, this, &frmMain::RequestShutdown);
}

void frmMain::ShowWithoutScene(const QString& problem)
{
    // Without its face the window has no title area, close or drag of its
    // own: the desktop's frame gives them back, and the window says why.
    setWindowFlags(Qt::Window);
    auto* label = new QLabel(
        QStringLiteral("Quillmere's window could not be drawn: %1.\nReinstalling Quillmere mends it; meanwhile the "
                       "track list below still plays the disc.")
            .arg(problem),
        this);
    label->setObjectName(QStringLiteral("lblSceneProblem"));
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #eef0f3; font-size: 13px;"));
    label->setGeometry(96, 110, m_tracks->frMain->width(), 100);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->show();
    // The empty scene would cover the list; the window takes its colour, and
    // only the list, which works without the scene's views, is shown.
    m_frontEnd->view()->hide();
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor(0x14, 0x17, 0x1c));
    setPalette(dark);
    setAutoFillBackground(true);
    for (QWidget* frame : {static_cast<QWidget*>(m_drives->frCDInfo), static_cast<QWidget*>(m_settings->frFileFormat),
                           static_cast<QWidget*>(m_settings->frGeneralOptions)})
        frame->hide();
    m_tracks->frMain->move(96, 230);
    m_tracks->frMain->show();
    m_tracks->frMain->raise();
}

frmMain::~frmMain()
{
    // The player goes first: no sync procedure reaches a window that is
    // being destroyed.
    delete m_player;
    m_player = nullptr;
    // The scene view binds to the front end's objects; take it down first.
    if (QWidget* view = m_frontEnd->view())
        view->setParent(nullptr);
    m_frontEnd.reset();
}

void frmMain::BuildDesign()
{
    QWidget* view = m_frontEnd->view();
    view->setParent(this);

    m_tracks = new TrackList(m_audio, m_dialogs, *m_frontEnd, m_state, m_lookup, this);
    m_drives = new DrivePanel(m_audio, *m_frontEnd, m_state, this);
    m_settings = new SettingsPanel(m_audio, m_dialogs, m_state, this);
    m_player = new Player(m_audio, m_dialogs, m_state, this);
    m_rip = new RipController(m_audio, m_dialogs, m_state, this);
    m_rip->accurateRip = m_tracks->accurateRip();
    m_drives->readOffsets = &m_settings->options->readOffsets;
    m_tracks->verifiesRips = [this] { return m_settings->options->chkVerifyRips->isChecked(); };
    m_tracks->LayOut(m_player->volumeGroup(), m_player->positionGroup(), m_player->controlsGroup());
    m_tracks->titles().choices = [options = m_settings->options] {
        return DiscTitles::Choices{options->chkLookUpDiscs->isChecked(), options->txtMusicBrainzServer->text()};
    };

    // The features meet only here.
    // Another drive's disc is not the one playing: it stops, as when its door
    // opens, rather than go on under the new disc's titles and into its tracks.
    connect(m_drives, &DrivePanel::driveChosen, this, [this] {
        if (m_state.currentStream && m_state.playingDrive != m_state.currentDrive)
            m_audio.BASS_ChannelStop(m_state.currentStream);
    });
    connect(m_drives, &DrivePanel::driveChosen, m_tracks, &TrackList::LoadTrackList);
    // After the disc's load, which may be start-up's.
    connect(&m_tracks->titles(), &DiscTitles::unreadable, this, [this](const QString& text) {
        m_dialogs.MessageBox(this, text, QStringLiteral("Disc titles"), MsgIcon::Warning, MsgButtons::Ok);
    }, Qt::QueuedConnection);
    connect(m_tracks, &TrackList::playRequested, m_player, &Player::PlayTrack);
    connect(m_player, &Player::playPressed, m_tracks, &TrackList::PlaySelectedOrFirst);
    connect(m_player, &Player::trackEnded, m_tracks, [this] { m_tracks->PlayNext(true); });
    // A tick looks at the door first, then at an empty list, then at the stream.
    connect(m_player, &Player::ticked, m_drives, &DrivePanel::RefreshDoor);
    connect(m_player, &Player::ticked, m_tracks, &TrackList::ReloadIfEmpty);
    m_nowPlaying = std::make_unique<NowPlaying>(m_audio, *m_frontEnd, m_state, m_tracks->titles());
    connect(m_player, &Player::ticked, this, [this] { m_nowPlaying->Update(); });
    connect(m_player, &Player::ripProgress, m_rip, &RipController::ShowProgress);
    for (int i : {3, 4, 5, 6})
        connect(m_drives->cmdButton[static_cast<std::size_t>(i)], &QPushButton::clicked, m_drives,
                [this, i] { m_drives->cmdButton_Click(i); });
    connect(m_rip, &RipController::ripWindowOpening, this, [this](QWidget* window) { m_skin.SkinWindow(window, 3); });
    connect(m_rip, &RipController::contentEnabled, this, &frmMain::SetContentEnabled);
}

frmMain::LoadResult frmMain::Form_Load()
{
    // 1-2. One instance per user; the held lock is the instance mutex.
    if (m_instance.AnotherInstanceRunning())
        return LoadResult::AnotherInstance;

    // 3. Encoders named without a folder are looked up here first.
    QDir::setCurrent(m_resourceFolder);

    RestoreFileFormat();                 // 4
    LoadInterface();                     // 5
    if (!OpenAudioOutput())              // 6
        return LoadResult::OutputFailure;
    EnumerateDrives();                   // 7
    LoadWMAEncoderRates();               // 8
    m_rip->wmaTagNames = QStringLiteral( // 9
        "Title,Author,WM/AlbumTitle,Description,Rating,Copyright,WM/Genre,WM/Year")
                      .split(QLatin1Char(','));

    m_player->ShowVolume(m_audio.BASS_GetVolume()); // 10

    DisableSliderToolTip(m_player->SliderBalance); // 11
    DisableSliderToolTip(m_player->SliderPosition);
    DisableSliderToolTip(m_player->SliderVolume);
    SetTrackListTabStops();              // 12
    LoadSettings();                      // 13
    StartHook();                         // 14

    m_player->tmrPlaybackPosition->start();
    m_loaded = true;
    return LoadResult::Running;
}

bool frmMain::OpenAudioOutput()
{
    if (OpenDefaultOutput(m_audio, windowHandle()))
        return true;
    const OutputFailure failure = AudioOutputFailure(m_audio.BASS_ErrorGetCode());
    m_dialogs.MessageBox(this, failure.text, QStringLiteral("Digital output"), MsgIcon::Critical,
                         MsgButtons::Ok);
    return !failure.endProcess;
}

void frmMain::LoadInterface()
{
    QWidget* view = m_frontEnd->view();
    view->move(0, 0);
    view->raise();
    view->resize(kWidth, kHeight);
    setFixedSize(kWidth, kHeight);
    m_frontEnd->LoadMovie(0, m_resourceFolder + QStringLiteral("/Main.qml"));

    m_tracks->frMain->move(180, 230);
    m_drives->frCDInfo->move(180, 160);
    m_settings->frFileFormat->move(180, 160);
    m_settings->frGeneralOptions->move(180, 160);

    m_skin.LoadSkinFile(m_resourceFolder + QStringLiteral("/Skin.qss"));
    m_skin.SkinWindow(m_tracks->frMain, 2);
    m_skin.SkinWindow(m_drives->frCDInfo, 1);
    m_skin.SkinWindow(m_settings->frGeneralOptions, 1);
    m_skin.SkinWindow(m_settings->frFileFormat, 1);
    m_skin.SkinControl(m_tracks->lsTracks, 0);
    m_skin.SkinDialogs(&m_dialogs);
    m_skin.ApplySkin();

    m_frontEnd->SetVariable(QStringLiteral("_root.VersionNo"),
                            VersionText(QUILLMERE_VERSION_MAJOR, QUILLMERE_VERSION_MINOR,
                                        QUILLMERE_VERSION_REVISION));
    m_tracks->lsTracks->setFrameShadow(QFrame::Sunken);
    if (const QString problem = m_frontEnd->loadProblem(); !problem.isEmpty())
        ShowWithoutScene(problem);
}

// Steps and commands whose work is a feature's.
void frmMain::RestoreFileFormat() { m_settings->RestoreFileFormat(); }
void frmMain::LoadSettings()
{
    if (const std::optional<int> entry = m_settings->LoadSettings())
        m_drives->ChooseEntry(*entry);
    m_drives->ShowReadOffset(); // the offsets loaded, whichever drive is chosen
}
bool frmMain::SaveSettings(QString* why) { return m_settings->SaveSettings(m_drives->CurrentEntry(), why); }
void frmMain::EnumerateDrives() { m_drives->EnumerateDrives(); }
void frmMain::LoadWMAEncoderRates() { m_settings->LoadWMAEncoderRates(); }
void frmMain::cmbCDDrives_Click() { m_drives->cmbCDDrives_Click(); }
void frmMain::ShowDriveInfo() { m_drives->ShowDriveInfo(); }
void frmMain::ShowDoorLock(bool locked) { m_drives->ShowDoorLock(locked); }
void frmMain::LoadTrackList() { m_tracks->LoadTrackList(); }
int frmMain::TrackOfRow(int row) const { return m_tracks->TrackOfRow(row); }
void frmMain::PlayTrack(int row) { m_tracks->PlayRow(row); }
void frmMain::tmrPlaybackPosition_Timer() { m_player->tmrPlaybackPosition_Timer(); }
void frmMain::StopRipping() { m_rip->StopRipping(); }
RipContext frmMain::ripContext(bool showBoxes) { return m_rip->ripContext(showBoxes); }
QString frmMain::OutputFolder() const { return m_settings->OutputFolder(); }
void frmMain::ShowRipWindow()
{
    m_rip->ShowRipWindow(RipPlanFromWindow());
    if (m_closeAfterRip)
        close();
}

void frmMain::RequestShutdown()
{
    m_dialogs.Dismiss();
    // Closing under a running rip would free the library beneath it.
    if (m_state.rippingActive) {
        m_closeAfterRip = true;
        m_rip->StopForShutdown();
        return;
    }
    close();
}

RipPlan frmMain::RipPlanFromWindow() const
{
    RipPlan plan = m_settings->options->Plan(m_rip->wmaTagNames);
    plan.folder = OutputFolder();
    plan.drive = m_state.currentDrive;
    plan.tracks = m_tracks->CheckedTracks();
    plan.disc = DiscForRip();
    plan.imageDrive = m_drives->CurrentIsImage();
    plan.readOffset = m_drives->ReadOffset();
    if (plan.verify)
        m_tracks->AskAccurateRip(); // when the option was off as the disc loaded
    return plan;
}

RipDisc frmMain::DiscForRip() const
{
    const DiscTitles& titles = m_tracks->titles();
    RipDisc disc;
    disc.artist = titles.Artist();
    disc.album = titles.Album();
    disc.year = titles.Year();
    disc.genre = titles.Genre();
    disc.discId = titles.Ids().musicBrainz;
    disc.freedbId = titles.Ids().freedb;
    disc.toc = m_tracks->Toc();
    if (const meta::Release* release = titles.ChosenRelease()) {
        disc.releaseId = release->id;
        disc.artistId = release->artistId;
    }
    disc.cover = titles.Cover();
    const meta::Release* release = titles.ChosenRelease();
    for (int row = 0; row < m_tracks->RowCount(); ++row) {
        const int track = m_tracks->TrackOfRow(row);
        const bool known = release && track < release->tracks.size();
        disc.tracks[track] = {titles.Title(track + 1), known ? release->tracks[track].artist : QString(),
                              known ? release->tracks[track].recordingId : QString(), m_tracks->SecondsOfRow(row)};
        disc.total = std::max(disc.total, track + 1); // the last audio track's number
    }
    return disc;
}

RipResult frmMain::ExtractAudioTrackToWav(int track) { return m_rip->ExtractAudioTrackToWav(track, OutputFolder()); }

RipResult frmMain::ExtractAudioTrackToWMA(int track, DWORD bitrate)
{
    return m_rip->ExtractAudioTrackToWMA(
        track, bitrate, m_settings->options->PlanFor(FormatWma, true, QString(), OutputFolder(), m_rip->wmaTagNames));
}

RipResult frmMain::Converter(const QString& source, const QString& format, const QString& bitrate,
                             const QString& outputFile, bool fromCD)
{
    return m_rip->Converter(source, format, bitrate, outputFile, fromCD);
}

QPushButton* frmMain::cmdButton(int index) const
{
    const auto i = static_cast<std::size_t>(index);
    return index >= 3 && index <= 6 ? m_drives->cmdButton.at(i) : m_player->cmdButton.at(i);
}

void frmMain::SetContentEnabled(bool enabled)
{
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow())
            widget->setEnabled(enabled);
    }
}

bool frmMain::ContentEnabled() const
{
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow() && !widget->isEnabled())
            return false;
    }
    return true;
}

void frmMain::Form_Unload()
{
    if (!m_loaded || m_shutDown)
        return;
    m_shutDown = true;
    m_player->tmrPlaybackPosition->stop(); // the library goes away below
    // Unlock every door, whether or not this program locked it: a door left
    // locked by a crashed run is freed too.
    for (int drive = 0; drive <= m_drives->highestDriveIndex(); ++drive)
        m_audio.BASS_CD_Door(static_cast<DWORD>(drive), BASS_CD_DOOR_UNLOCK);
    m_audio.BASS_Stop();
    m_audio.BASS_Free();
    StopHook();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

} // namespace qm
