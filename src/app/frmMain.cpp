#include "frmMain.h"

#include "ResourceFolder.h"

#include "StartupMessages.h"
#include "platform/frontend/FrontEnd.h"
#include "platform/ui/Dialogs.h"
#include "quillmere_version.h"
#include "settings/OptionsPanels.h"
#include "settings/modSettings.h"

#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QHeaderView>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>

namespace qm {

frmMain::frmMain(AudioLibrary& audio, Dialogs& dialogs, std::unique_ptr<FrontEnd> frontEnd,
                 QString resourceFolder, QWidget* parent)
    : QWidget(parent), m_audio(audio), m_dialogs(dialogs), m_frontEnd(std::move(frontEnd)),
      m_resourceFolder(std::move(resourceFolder))
{
    StartFolder(); // recorded before Form_Load changes the current folder
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Quillmere"));
    // The scene draws its own title area, minimise and close.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);

    m_skin.Configure(2);
    m_skin.Configure(1);

    BuildDesign();
    connect(m_frontEnd.get(), &FrontEnd::FSCommand, this, &frmMain::DispatchCommand);
}

frmMain::~frmMain()
{
    // The scene view binds to the front end's objects; take it down first.
    if (QWidget* view = m_frontEnd->view())
        view->setParent(nullptr);
    m_frontEnd.reset();
}

void frmMain::BuildDesign()
{
    QWidget* view = m_frontEnd->view();
    view->setParent(this);

    auto frame = [this](const char* name, int w, int h) {
        auto* f = new QFrame(this);
        f->setObjectName(QLatin1String(name));
        f->resize(w, h);
        return f;
    };
    frMain = frame("frMain", 507, 300);
    frCDInfo = frame("frCDInfo", 508, 353);
    frFileFormat = frame("frFileFormat", 510, 353);
    frGeneralOptions = frame("frGeneralOptions", 507, 353);

    lsTracks = new QTreeWidget(frMain);
    lsTracks->setObjectName(QStringLiteral("lsTracks"));

    SliderVolume = new QSlider(Qt::Vertical, frMain);
    SliderVolume->setObjectName(QStringLiteral("SliderVolume"));
    SliderVolume->setRange(-100, 0);
    SliderVolume->setInvertedAppearance(true); // -100 (loudest) at the top
    SliderVolume->setPageStep(1);
    SliderVolume->setSingleStep(10);
    SliderVolume->setTickPosition(QSlider::TicksBothSides);
    SliderVolume->setTickInterval(100);

    SliderBalance = new QSlider(Qt::Horizontal, frMain);
    SliderBalance->setObjectName(QStringLiteral("SliderBalance"));
    SliderBalance->setRange(-100, 100);
    SliderBalance->setPageStep(10);
    SliderBalance->setSingleStep(1);
    SliderBalance->setTickPosition(QSlider::TicksBelow);
    SliderBalance->setTickInterval(10);

    SliderPosition = new QSlider(Qt::Horizontal, frMain);
    SliderPosition->setObjectName(QStringLiteral("SliderPosition"));
    SliderPosition->setRange(0, 10000);
    SliderPosition->setPageStep(1000);
    SliderPosition->setSingleStep(100);
    SliderPosition->setTickPosition(QSlider::TicksBelow);
    SliderPosition->setTickInterval(500);

    BuildTrackListFrame();
    BuildDrivePanel();
    BuildPlayer();
    options = new OptionsPanels(frFileFormat, frGeneralOptions, m_dialogs, this);
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
    wmaTagNames = QStringLiteral(        // 9
        "Title,Author,WM/AlbumTitle,Description,Rating,Copyright,WM/Genre,WM/Year")
                      .split(QLatin1Char(','));

    // 10. Without an output the library has no volume (-1); the slider then
    // stands at full volume, so sound is audible once an output comes back.
    const int volume = m_audio.BASS_GetVolume();
    SliderVolume->setValue(volume >= 0 && volume <= 100 ? -volume : -100);

    DisableSliderToolTip(SliderBalance); // 11
    DisableSliderToolTip(SliderPosition);
    DisableSliderToolTip(SliderVolume);
    SetTrackListTabStops();              // 12
    LoadSettings();                      // 13
    StartHook();                         // 14

    tmrPlaybackPosition->start();
    m_loaded = true;
    return LoadResult::Running;
}

bool frmMain::OpenAudioOutput()
{
    if (m_audio.BASS_Init(1, 44100, 0, windowHandle(), nullptr))
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

    frMain->move(180, 230);
    frCDInfo->move(180, 160);
    frFileFormat->move(180, 160);
    frGeneralOptions->move(180, 160);

    m_skin.LoadSkinFile(m_resourceFolder + QStringLiteral("/Skin.qss"));
    m_skin.SkinWindow(frMain, 2);
    m_skin.SkinWindow(frCDInfo, 1);
    m_skin.SkinWindow(frGeneralOptions, 1);
    m_skin.SkinWindow(frFileFormat, 1);
    m_skin.SkinControl(lsTracks, 0);
    m_skin.SkinDialogs(&m_dialogs);
    m_skin.ApplySkin();

    m_frontEnd->SetVariable(QStringLiteral("_root.VersionNo"),
                            VersionText(QUILLMERE_VERSION_MAJOR, QUILLMERE_VERSION_MINOR,
                                        QUILLMERE_VERSION_REVISION));
    lsTracks->setFrameShadow(QFrame::Sunken);
}

// Steps whose work arrives with their own parts of the program.
void frmMain::RestoreFileFormat() { modSettings::RestoreFileFormat(*this); }
void frmMain::LoadSettings() { modSettings::LoadSettings(*this); }
bool frmMain::SaveSettings(QString* why) { return modSettings::SaveSettings(*this, why); }

void frmMain::Form_Unload()
{
    if (!m_loaded || m_shutDown)
        return;
    m_shutDown = true;
    tmrPlaybackPosition->stop(); // the library goes away below
    // Unlock every door, whether or not this program locked it: a door left
    // locked by a crashed run is freed too.
    for (int drive = 0; drive <= highestDriveIndex; ++drive)
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
