#pragma once
// The window's part of the desktop session, over the session bus: the
// player for media keys and player widgets, and the rip's notification.
// Without a bus, or with the player's name taken, the program runs on
// without them and problem() says why in one line.

#include <QObject>
#include <QString>
#include <memory>

namespace qm {
class frmMain;
}

namespace qm::desktop {

class Mpris;
class RipNotifier;

class DesktopBus : public QObject {
    Q_OBJECT
public:
    // `address` is the session bus's, as main read it; "" when there is none.
    DesktopBus(frmMain& window, const QString& address, QObject* parent = nullptr);
    ~DesktopBus() override;

    // "" when all is well.
    const QString& problem() const { return m_problem; }
    // Null when the player is not on the bus.
    Mpris* mpris() const { return m_mpris.get(); }
    // Null without a bus.
    RipNotifier* notifier() const { return m_notifier.get(); }

private:
    QString m_connectionName;
    QString m_problem;
    std::unique_ptr<Mpris> m_mpris;
    std::unique_ptr<RipNotifier> m_notifier;
};

} // namespace qm::desktop
