#include "DesktopBus.h"

#include "Mpris.h"
#include "RipNotifier.h"
#include "app/frmMain.h"

#include <QDBusConnection>
#include <QDBusError>

namespace qm::desktop {

DesktopBus::DesktopBus(frmMain& window, const QString& address, QObject* parent)
    : QObject(parent), m_connectionName(QStringLiteral("quillmere-desktop-%1").arg(reinterpret_cast<quintptr>(this)))
{
    if (address.isEmpty()) {
        m_problem = QStringLiteral("no session bus (DBUS_SESSION_BUS_ADDRESS is not set): no media keys, player "
                                   "widgets or notifications");
        return;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(address, m_connectionName);
    if (!bus.isConnected()) {
        m_problem = QStringLiteral("the session bus cannot be reached (%1): no media keys, player widgets or "
                                   "notifications")
                        .arg(bus.lastError().message());
        return;
    }
    m_notifier = std::make_unique<RipNotifier>(bus, window.rip());
    m_mpris = std::make_unique<Mpris>(window, bus);
    QString why;
    if (!m_mpris->Publish(&why)) {
        m_mpris.reset();
        m_problem = why + QStringLiteral(": no media keys or player widgets");
    }
}

DesktopBus::~DesktopBus()
{
    m_mpris.reset();
    m_notifier.reset();
    QDBusConnection::disconnectFromBus(m_connectionName);
}

} // namespace qm::desktop
