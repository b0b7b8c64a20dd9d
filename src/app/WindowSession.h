#pragma once
// The window's place in the desktop session: its name and desktop entry, and
// the ways a session ends it besides its close button (SIGTERM, SIGINT in a
// terminal, SIGHUP as the session ends, Ctrl+Q), all routed to that close.

#include <QObject>
#include <csignal>
#include <functional>
#include <iterator>

class QSocketNotifier;

namespace qm {

// Name, version and desktop entry (Wayland shows the window's icon from it).
void SetApplicationIdentity();

// What ends the program from outside: the session ending or `kill`, Ctrl-C,
// the terminal closing.
inline constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP};
using EndingActions = struct sigaction[std::size(kEndingSignals)];
// Sends each of them to `handler` (which may only write to a pipe), but one
// ignored when this is called stays ignored: nohup, or a script's job in the
// background, asked for that. `previous` receives what each had, to put back.
void CatchEndingSignals(void (*handler)(int), EndingActions* previous = nullptr);

class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    // Until destroyed, SIGTERM, SIGINT and SIGHUP run `shutdown` on the
    // window's thread (the window's RequestShutdown, which ends as its close
    // button does).
    ShutdownSignals(std::function<void()> shutdown, QObject* parent);
    ~ShutdownSignals() override;

private:
    std::function<void()> m_shutdown;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace qm
