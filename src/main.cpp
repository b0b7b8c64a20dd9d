#include "app/CommandLineMode.h"
#include "app/ResourceFolder.h"
#include "app/StartupMessages.h"
#include "app/WindowSession.h"
#include "app/frmMain.h"
#include "desktop/DesktopBus.h"
#include "platform/audio/CdAudioEngine.h"
#include "platform/frontend/SceneHost.h"
#include "platform/ui/Dialogs.h"
#include "settings/RegistryFileStore.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <csignal>
#include <cstdio>

namespace {

// The environment the engine depends on, read here once: nothing below reads
// it again while the engine's threads run.
qm::EngineConfig EngineConfigFromEnvironment()
{
    qm::EngineConfig config;
    // Unset or "pulse": PulseAudio; "null", "null:fast": silent outputs.
    // PULSE_SERVER and PULSE_SINK are left to libpulse, which reads them itself.
    config.output.kind = qEnvironmentVariable("QUILLMERE_AUDIO_OUTPUT").toStdString();
    return config;
}

} // namespace

int main(int argc, char* argv[])
{
    // Writing to an encoder that has died must fail the write, not end us.
    // The one place it is set: the command line and the window start here.
    std::signal(SIGPIPE, SIG_IGN);
    // The store's folder is fixed here, before start-up changes the current
    // folder: a relative QUILLMERE_REGISTRY_DIR means where the user started.
    qm::RegistryFileStore::Default();
    // Parsed before Qt starts: the terminal commands need no display, and a
    // wrong option must be said even where no window could open.
    const qm::cli::ParseResult parsed = qm::cli::ParseArguments(argc, argv);
    qm::EngineConfig config = EngineConfigFromEnvironment();
    if (!parsed.error.isEmpty() || parsed.args.command != qm::cli::Command::Window)
        return qm::cli::RunTerminal(argc, argv, parsed, std::move(config));

    qm::SceneHost::SelectSoftwareRendering();
    QApplication app(argc, argv);
    qm::SetApplicationIdentity();

    // Disc images named on the command line, then in QUILLMERE_IMAGES.
    const QStringList images = qm::cli::DiscImages(parsed.args.images);

    // The demo disc stands in when neither a drive nor an image is there.
    const QString resources = qm::ResourceFolder(QApplication::applicationDirPath());
    config.encoderFolder = resources;
    qm::CdAudioEngine engine(images, QDir(resources).filePath(QStringLiteral("demo/Demo.cue")),
                             qm::CdAudioEngine::DriveScan::PhysicalAndImages, std::move(config));
    qm::QtDialogs dialogs;
    qm::frmMain window(engine, dialogs, std::make_unique<qm::SceneHost>(), resources,
                       qm::meta::LookupConfig::FromEnvironment());
    switch (window.Form_Load()) {
    case qm::frmMain::LoadResult::AnotherInstance: return 0;
    case qm::frmMain::LoadResult::OutputFailure: return 1;
    case qm::frmMain::LoadResult::Running: break;
    }
    // Killed or interrupted, or the session ending: the close button's shutdown.
    qm::ShutdownSignals endings([&window] { window.RequestShutdown(); }, &window);
    window.show();
    // Media keys, player widgets and the rip's notification; without a bus
    // the window runs as it is.
    qm::desktop::DesktopBus desktop(window, qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
    if (!desktop.problem().isEmpty())
        std::fprintf(stderr, "quillmere: %s\n", qPrintable(desktop.problem()));
    // Start-up fell back to the defaults: the user is told once, over the window.
    const QString unreadable = qm::SettingsUnreadable(qm::RegistryFileStore::Default().problems());
    if (!unreadable.isEmpty())
        QTimer::singleShot(0, &window, [&] {
            dialogs.MessageBox(&window, unreadable, QStringLiteral("Settings"), qm::MsgIcon::Warning,
                               qm::MsgButtons::Ok);
        });
    return QApplication::exec();
}
