#pragma once
// The window's place in the desktop session: its name and desktop entry, and
// the ways a session ends it besides its close button (SIGTERM, SIGINT in a
// terminal, SIGHUP as the session ends, Ctrl+Q), all routed to that close.

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace qm {

// Name, version and desktop entry (Wayland shows the window's icon from it).
void SetApplicationIdentity();

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
