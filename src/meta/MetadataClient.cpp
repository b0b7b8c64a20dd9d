#include "MetadataClient.h"

#include "meta/MusicBrainzReply.h"
#include "quillmere_version.h"

#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <chrono>
#include <mutex>
#include <optional>

namespace qm::meta {

namespace {

using Clock = std::chrono::steady_clock;

// Replies beyond these sizes are broken or hostile; a lookup is a few
// hundred kilobytes at most and a 500-pixel cover well under a megabyte.
constexpr qint64 kMaxLookupBytes = 8 << 20;
constexpr qint64 kMaxCoverBytes = 16 << 20;

// When the process last sent MusicBrainz a request: the service's limit is
// per client program, not per object.
struct MusicBrainzPace {
    std::mutex mutex;
    std::optional<Clock::time_point> lastSent;
};

MusicBrainzPace& Pace()
{
    static MusicBrainzPace pace;
    return pace;
}

// Takes the turn to send and returns zero, or returns how long to wait first.
std::chrono::milliseconds TakeMusicBrainzTurn(int minIntervalMs)
{
    MusicBrainzPace& pace = Pace();
    const std::lock_guard lock(pace.mutex);
    const Clock::time_point now = Clock::now();
    if (pace.lastSent) {
        const auto due = *pace.lastSent + std::chrono::milliseconds(minIntervalMs);
        if (due > now)
            return std::chrono::ceil<std::chrono::milliseconds>(due - now);
    }
    pace.lastSent = now;
    return std::chrono::milliseconds(0);
}

// A base URL from the settings or the environment with path appended, or an
// empty URL when it is not a web address (file: or qrc: must never be read).
QUrl ServiceUrl(QString server, const QString& path)
{
    while (server.endsWith(QLatin1Char('/')))
        server.chop(1);
    const QUrl url(server + path);
    const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    return url.isValid() && web && !url.host().isEmpty() ? url : QUrl();
}

} // namespace

QByteArray UserAgent()
{
    return QByteArrayLiteral("Quillmere/" QUILLMERE_VERSION_TEXT " ( https://quillmere.org/ )");
}

void AbortWhenLate(QNetworkReply* reply, int timeoutMs)
{
    QTimer::singleShot(2 * timeoutMs, reply, [reply] {
        if (reply->isRunning())
            reply->abort();
    });
}

MetadataClient::MetadataClient(ServiceConfig config, QObject* parent)
    : QObject(parent), config_(std::move(config)), network_(new QNetworkAccessManager(this))
{
    qRegisterMetaType<QList<qm::meta::Release>>();
    // The Cover Art Archive answers with a redirect to where the image is kept.
    network_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    turn_.setSingleShot(true);
    turn_.setTimerType(Qt::PreciseTimer);
    connect(&turn_, &QTimer::timeout, this, &MetadataClient::SendDueLookups);
}

MetadataClient::~MetadataClient()
{
    Cancel();
}

void MetadataClient::LookUp(const QString& discId)
{
    // Checked before it goes into a URL: it may come from a remembered file.
    if (!IsDiscId(discId))
        return Fail(Service::MusicBrainz, discId, QStringLiteral("not a MusicBrainz disc ID"));
    if (ServiceUrl(config_.musicBrainzServer, QString()).isEmpty())
        return Fail(Service::MusicBrainz, discId, QStringLiteral("the MusicBrainz server is not a web address"));
    waiting_.append(discId);
    if (!turn_.isActive())
        SendDueLookups();
}

void MetadataClient::FetchCover(const QString& releaseId)
{
    if (!IsMbid(releaseId))
        return Fail(Service::CoverArt, releaseId, QStringLiteral("not a MusicBrainz release ID"));
    const QUrl url = ServiceUrl(config_.coverArtServer, QStringLiteral("/release/%1/front-500").arg(releaseId));
    if (url.isEmpty())
        return Fail(Service::CoverArt, releaseId, QStringLiteral("the Cover Art Archive server is not a web address"));
    Send(Service::CoverArt, releaseId, url);
}

void MetadataClient::Cancel()
{
    ++generation_;
    waiting_.clear();
    turn_.stop();
    const QList<QNetworkReply*> replies = transfers_.keys();
    transfers_.clear();
    for (QNetworkReply* reply : replies) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void MetadataClient::SendDueLookups()
{
    while (!waiting_.isEmpty()) {
        const std::chrono::milliseconds wait = TakeMusicBrainzTurn(config_.minIntervalMs);
        if (wait.count() > 0) {
            turn_.start(wait);
            return;
        }
        const QString discId = waiting_.takeFirst();
        Send(Service::MusicBrainz, discId,
             ServiceUrl(config_.musicBrainzServer,
                        QStringLiteral("/ws/2/discid/%1?inc=artists+recordings+genres&fmt=json").arg(discId)));
    }
}

void MetadataClient::Send(Service service, const QString& id, const QUrl& url)
{
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", UserAgent());
    // The cover request is redirected to wherever the image is kept.
    request.setRawHeader("Accept", service == Service::MusicBrainz ? "application/json" : "image/*");
    request.setTransferTimeout(config_.timeoutMs);
    request.setMaximumRedirectsAllowed(5);
    QNetworkReply* reply = network_->get(request);
    AbortWhenLate(reply, config_.timeoutMs);
    transfers_.insert(reply, Transfer{service, id, {}});
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { Read(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { Finish(reply); });
}

void MetadataClient::Read(QNetworkReply* reply)
{
    const auto it = transfers_.find(reply);
    if (it == transfers_.end() || it->tooLarge || !reply->isOpen())
        return;
    const qint64 limit = it->service == Service::MusicBrainz ? kMaxLookupBytes : kMaxCoverBytes;
    it->body += reply->read(limit + 1 - it->body.size());
    if (it->body.size() > limit) {
        it->tooLarge = true;
        it->body.clear();
        // Finishes the reply, which reports it.
        if (reply->isRunning())
            reply->abort();
    }
}

void MetadataClient::Finish(QNetworkReply* reply)
{
    Read(reply);
    const auto it = transfers_.find(reply);
    if (it == transfers_.end())
        return;
    const Transfer transfer = *it;
    transfers_.erase(it);
    reply->deleteLater();
    const QNetworkReply::NetworkError error = reply->error();
    // Nothing but the transfer timeout aborts a reply that is not too large:
    // Cancel disconnects before it aborts.
    const bool timedOut = error == QNetworkReply::TimeoutError ||
                          (error == QNetworkReply::OperationCanceledError && !transfer.tooLarge);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    Conclude(transfer, status, error == QNetworkReply::NoError ? QString() : reply->errorString(), timedOut);
}

void MetadataClient::Conclude(const Transfer& transfer, int status, const QString& networkError, bool timedOut)
{
    const bool lookup = transfer.service == Service::MusicBrainz;
    const QString service = lookup ? QStringLiteral("MusicBrainz") : QStringLiteral("the Cover Art Archive");
    if (transfer.tooLarge)
        return Report(transfer.service, transfer.id, service + QStringLiteral(" sent too much data"));
    if (timedOut)
        return Report(transfer.service, transfer.id, service + QStringLiteral(" did not answer in time"));
    if (status == 404) {
        if (lookup)
            return emit lookedUp(transfer.id, {});
        return Report(transfer.service, transfer.id, QStringLiteral("the Cover Art Archive has no front cover"));
    }
    if (status == 503)
        return Report(transfer.service, transfer.id, service + QStringLiteral(" is busy (503)"));
    if (status >= 300)
        return Report(transfer.service, transfer.id, service + QStringLiteral(" answered with an error (%1)").arg(status));
    if (!networkError.isEmpty())
        return Report(transfer.service, transfer.id, QStringLiteral("could not reach %1 (%2)").arg(service, CleanText(networkError)));
    if (lookup) {
        QString why;
        if (const auto releases = ParseDiscIdReply(transfer.body, transfer.id, &why))
            return emit lookedUp(transfer.id, *releases);
        return Report(transfer.service, transfer.id, QStringLiteral("MusicBrainz sent data that could not be read"));
    }
    if (QImage::fromData(transfer.body).isNull())
        return Report(transfer.service, transfer.id, QStringLiteral("the cover is not an image"));
    emit coverFetched(transfer.id, transfer.body);
}

void MetadataClient::Fail(Service service, const QString& id, const QString& why)
{
    // Queued, so the caller's signal handlers never run inside its own call.
    QTimer::singleShot(0, this, [this, service, id, why, generation = generation_] {
        if (generation == generation_)
            Report(service, id, why);
    });
}

void MetadataClient::Report(Service service, const QString& id, const QString& why)
{
    if (service == Service::MusicBrainz)
        emit lookupFailed(id, why);
    else
        emit coverMissing(id, why);
}

} // namespace qm::meta
