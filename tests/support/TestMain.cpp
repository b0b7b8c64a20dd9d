// Tests run the real widgets without a display, each process with its own
// runtime folder so the single-instance lock never meets a running program.
#include "platform/frontend/SceneHost.h"

#include <QApplication>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("QUILLMERE_LOCK_DIR", runtime.path().toLocal8Bit());
    // Settings, logs and caches of tests stay out of the user's folders.
    for (const QByteArray kind : {"CONFIG", "STATE", "CACHE", "DATA"})
        qputenv(("XDG_" + kind + "_HOME").constData(), (runtime.path() + "/" + QString::fromLatin1(kind.toLower())).toLocal8Bit());
    qunsetenv("QUILLMERE_REGISTRY_DIR");
    // Programs the tests start never reach the real services: nothing listens here.
    qputenv("QUILLMERE_MUSICBRAINZ_SERVER", "http://127.0.0.1:9");
    qputenv("QUILLMERE_COVERART_SERVER", "http://127.0.0.1:9");
    qputenv("QUILLMERE_ACCURATERIP_SERVER", "http://127.0.0.1:9");
    qm::SceneHost::SelectSoftwareRendering();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
