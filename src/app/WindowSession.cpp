#include "WindowSession.h"

#include "quillmere_version.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace qm {

namespace {
// A signal handler may only write to a pipe; the window's thread reads it.
int g_pipe[2] = {-1, -1};
EndingActions g_previous;

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
}
} // namespace

void SetApplicationIdentity()
{
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION_TEXT));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quillmere.Quillmere"));
}

ShutdownSignals::ShutdownSignals(std::function<void()> shutdown, QObject* parent)
    : QObject(parent), m_shutdown(std::move(shutdown))
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char drain[16];
        while (::read(g_pipe[0], drain, sizeof drain) > 0) {
        }
        m_shutdown(); // doors unlocked, the output freed
    });
    CatchEndingSignals(OnSignal, &g_previous);
}

ShutdownSignals::~ShutdownSignals()
{
    if (!m_notifier)
        return;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
        sigaction(kEndingSignals[i], &g_previous[i], nullptr);
}

void CatchEndingSignals(void (*handler)(int), EndingActions* previous)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        struct sigaction had = {};
        sigaction(kEndingSignals[i], nullptr, &had);
        if (previous)
            (*previous)[i] = had;
        if (had.sa_handler != SIG_IGN)
            sigaction(kEndingSignals[i], &action, nullptr);
    }
}

} // namespace qm
