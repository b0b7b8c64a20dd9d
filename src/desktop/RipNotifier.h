#pragma once
// A desktop notification when a rip ends while the user looks elsewhere:
// the album, how many tracks were ripped, and what the verification found.

#include <QDBusConnection>
#include <QObject>
#include <functional>

namespace qm {
class RipController;
class RipJob;
}

namespace qm::desktop {

class RipNotifier : public QObject {
    Q_OBJECT
public:
    RipNotifier(QDBusConnection bus, RipController& rip, QObject* parent = nullptr);

    // The notification's text, markup-escaped: notification servers read
    // the body as markup.
    static QString Body(const RipJob& job);

    // Whether one of the program's windows has the focus; then nothing is sent.
    std::function<bool()> windowActive;

private:
    void RipFinished(const RipJob& job);

    QDBusConnection m_bus;
};

} // namespace qm::desktop
