#include "RipNotifier.h"

#include "rip/RipController.h"
#include "rip/RipJob.h"

#include <QApplication>
#include <QDBusMessage>

namespace qm::desktop {

RipNotifier::RipNotifier(QDBusConnection bus, RipController& rip, QObject* parent)
    : QObject(parent), windowActive([] { return QApplication::activeWindow() != nullptr; }), m_bus(std::move(bus))
{
    connect(&rip, &RipController::ripFinished, this, &RipNotifier::RipFinished);
}

QString RipNotifier::Body(const RipJob& job)
{
    QStringList lines;
    if (!job.plan().disc.album.isEmpty())
        lines << job.plan().disc.album;
    QString count = job.ripped() == 1 ? QStringLiteral("1 track ripped")
                                      : QStringLiteral("%1 tracks ripped").arg(job.ripped());
    if (job.failed() > 0)
        count += QStringLiteral(", %1 failed").arg(job.failed());
    lines << count;
    if (job.verified())
        lines << RipVerificationSummary(job.plan(), job.record());
    return lines.join(QLatin1Char('\n')).toHtmlEscaped();
}


// Sent without waiting for an answer: with no notification server the bus
// answers with an error nobody needs to read.
void RipNotifier::RipFinished(const RipJob& job)
{
    if (windowActive && windowActive())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("org.quillmere.Quillmere")},
                            {QStringLiteral("category"), QStringLiteral("transfer.complete")}};
    notify << QStringLiteral("Quillmere") << 0u << QStringLiteral("org.quillmere.Quillmere")
           << QStringLiteral("Rip finished") << Body(job) << QStringList() << hints << -1;
    m_bus.send(notify);
}

} // namespace qm::desktop
