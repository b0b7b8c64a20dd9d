#pragma once
// The window's place in the desktop session: its name and desktop entry, and
// the ways a session ends it besides its close button (SIGTERM, SIGINT in a
// terminal, SIGHUP as the session ends, Ctrl+Q), all routed to that close.

#include <QObject>

class QSocketNotifier;
class QWidget;

namespace qm {

// Name, version and desktop entry (Wayland shows the window's icon from it).
void SetApplicationIdentity();

class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    // Until destroyed, SIGTERM, SIGINT and SIGHUP close `window` as its close
    // button does; the program then ends as it does after a close.
    explicit ShutdownSignals(QWidget* window);
    ~ShutdownSignals() override;

private:
    QWidget* m_window;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace qm
