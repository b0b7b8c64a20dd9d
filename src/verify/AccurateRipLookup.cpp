#include "AccurateRipLookup.h"

#include "meta/MetadataClient.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace qm::verify {

namespace {
// A disc's answer is a few kilobytes; more than this is not the database.
constexpr qint64 kMaxAnswerBytes = 1 << 20;
} // namespace

AccurateRipLookup::AccurateRipLookup(QString server, int timeoutMs, QObject* parent)
    : QObject(parent), m_server(server.isEmpty() ? QString::fromLatin1(kDefaultAccurateRipServer) : std::move(server)),
      m_timeoutMs(timeoutMs), m_network(new QNetworkAccessManager(this))
{
    while (m_server.endsWith(QLatin1Char('/')))
        m_server.chop(1);
}

AccurateRipLookup::~AccurateRipLookup()
{
    Cancel();
}

void AccurateRipLookup::Start(const QM_CD_TOC& toc)
{
    Cancel();
    m_ids = AccurateRipIdsOf(toc);
    m_answer = {};
    m_error.clear();
    if (m_ids.audioTracks == 0)
        return Fail(QStringLiteral("the disc has no audio tracks to look up"));
    const QUrl url(m_server + QLatin1Char('/') + DatabasePath(m_ids));
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return Fail(QStringLiteral("the AccurateRip server is not a web address"));
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", meta::UserAgent());
    request.setTransferTimeout(m_timeoutMs);
    m_state = State::Pending;
    m_tooLarge = false;
    m_reply = m_network->get(request);
    QNetworkReply* reply = m_reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64) {
        if (received > kMaxAnswerBytes) {
            m_tooLarge = true;
            reply->abort();
        }
    });
    meta::AbortWhenLate(reply, m_timeoutMs);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { Done(reply); });
}

void AccurateRipLookup::Cancel()
{
    if (m_reply) {
        QNetworkReply* reply = std::exchange(m_reply, nullptr);
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    if (m_state == State::Pending) {
        m_state = State::Idle;
        emit finished(); // a waiting rip goes on without it
    }
}

bool AccurateRipLookup::Wait()
{
    // A question asked again while waiting is waited for too.
    m_waitStopped = false;
    while (m_state == State::Pending && !m_waitStopped) {
        QEventLoop loop;
        connect(this, &AccurateRipLookup::finished, &loop, &QEventLoop::quit);
        connect(this, &AccurateRipLookup::waitStopped, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return m_state == State::Answered;
}

void AccurateRipLookup::StopWaiting()
{
    m_waitStopped = true;
    emit waitStopped();
}

void AccurateRipLookup::Done(QNetworkReply* reply)
{
    if (reply != m_reply)
        return;
    m_reply = nullptr;
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 404) { // the database does not know the disc
        m_state = State::Answered;
        return emit finished();
    }
    // All of it may have come before any progress was told.
    const QByteArray body = m_tooLarge ? QByteArray() : reply->read(kMaxAnswerBytes + 1);
    if (m_tooLarge || body.size() > kMaxAnswerBytes)
        return Fail(QStringLiteral("the AccurateRip database's answer is too large"));
    if (reply->error() == QNetworkReply::OperationCanceledError) // the transfer timeout, or AbortWhenLate
        return Fail(QStringLiteral("the AccurateRip database did not answer in time"));
    if (reply->error() != QNetworkReply::NoError || status != 200)
        return Fail(QStringLiteral("could not reach the AccurateRip database (%1)")
                        .arg(status != 0 ? QStringLiteral("HTTP %1").arg(status) : reply->errorString()));
    m_answer = ParseDatabase(body, m_ids);
    m_state = State::Answered;
    emit finished();
}

void AccurateRipLookup::Fail(const QString& why)
{
    m_state = State::Failed;
    m_error = why;
    emit finished();
}

} // namespace qm::verify
