#pragma once
// Fetching a disc's entries from the AccurateRip database in the background,
// on the thread that owns the lookup, when the disc is loaded; a rip that
// ends before the answer has come waits for it.

#include "verify/AccurateRip.h"

#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

namespace qm::verify {

inline constexpr const char* kDefaultAccurateRipServer = "http://www.accuraterip.com";

class AccurateRipLookup : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Pending, Answered, Failed };

    // `server`: the database's base URL; "" for the public one.
    AccurateRipLookup(QString server, int timeoutMs, QObject* parent = nullptr);
    ~AccurateRipLookup() override;

    // Asks for the disc of this table of contents, dropping any question
    // still under way. A table that gives no IDs fails at once.
    void Start(const QM_CD_TOC& toc);
    void Cancel();
    // Runs the event loop until the answer is in; false when none is coming
    // (Idle or Failed), or when StopWaiting was called meanwhile.
    bool Wait();
    // Ends a Wait under way (a rip stopped by its user); the question goes on.
    void StopWaiting();

    State state() const { return m_state; }
    const AccurateRipIds& ids() const { return m_ids; }
    const QString& server() const { return m_server; }
    // When Answered: the pressings of this disc (none when the database does
    // not know it).
    const DatabaseAnswer& answer() const { return m_answer; }
    // When Failed: why, as one lower-case phrase.
    const QString& error() const { return m_error; }

signals:
    void finished();
    void waitStopped();

private:
    void Done(QNetworkReply* reply);
    void Fail(const QString& why);

    QString m_server;
    int m_timeoutMs;
    QNetworkAccessManager* m_network;
    QNetworkReply* m_reply = nullptr;
    bool m_tooLarge = false; // the reply was aborted for its size
    bool m_waitStopped = false;
    State m_state = State::Idle;
    AccurateRipIds m_ids;
    DatabaseAnswer m_answer;
    QString m_error;
};

} // namespace qm::verify
