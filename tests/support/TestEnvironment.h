#pragma once
// What every test process sets before its first test: its own runtime
// folder, so the single-instance lock never meets a running program; settings,
// logs and caches out of the user's folders; services that are never reached.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <csignal>

namespace qm::test {

inline void PrepareTestEnvironment(const QTemporaryDir& runtime)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("QUILLMERE_LOCK_DIR", runtime.path().toLocal8Bit());
    for (const QByteArray kind : {"CONFIG", "STATE", "CACHE", "DATA"})
        qputenv(("XDG_" + kind + "_HOME").constData(), (runtime.path() + "/" + QString::fromLatin1(kind.toLower())).toLocal8Bit());
    qunsetenv("QUILLMERE_REGISTRY_DIR");
    // Programs the tests start never reach the real services: nothing listens here.
    qputenv("QUILLMERE_MUSICBRAINZ_SERVER", "http://127.0.0.1:9");
    qputenv("QUILLMERE_COVERART_SERVER", "http://127.0.0.1:9");
    qputenv("QUILLMERE_ACCURATERIP_SERVER", "http://127.0.0.1:9");
}

} // namespace qm::test
