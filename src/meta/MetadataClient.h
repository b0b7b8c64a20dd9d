#pragma once
// Looking a disc up in MusicBrainz and fetching its cover from the Cover Art
// Archive, in the background on the thread that owns the client.

#include "meta/DiscMetadata.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace qm::meta {

struct ServiceConfig {
    QString musicBrainzServer = QStringLiteral("https://musicbrainz.org");
    QString coverArtServer = QStringLiteral("https://coverartarchive.org");
    int timeoutMs = 15000;    // per request
    int minIntervalMs = 1000; // MusicBrainz allows one request a second
};

// "Quillmere/<version> ( https://quillmere.org/ )", as MusicBrainz asks
// every client to name itself.
QByteArray UserAgent();

// Aborts the reply (OperationCanceledError, as the transfer timeout does) if
// it is still running after twice `timeoutMs`: the transfer timeout restarts
// with every byte, so an answer that drips in would never end.
void AbortWhenLate(QNetworkReply* reply, int timeoutMs);

// Each LookUp ends in exactly one of lookedUp and lookupFailed, each
// FetchCover in one of coverFetched and coverMissing, unless Cancel comes
// first. Lookups wait their turn: MusicBrainz requests leave at most one per
// minIntervalMs across all clients of the process.
class MetadataClient : public QObject {
    Q_OBJECT
public:
    explicit MetadataClient(ServiceConfig config, QObject* parent = nullptr);
    ~MetadataClient() override;

    void LookUp(const QString& discId);
    void FetchCover(const QString& releaseId);
    // Drops every lookup and cover still waiting or under way; none of them
    // signals afterwards.
    void Cancel();

signals:
    // Empty when MusicBrainz does not know the disc.
    void lookedUp(const QString& discId, const QList<qm::meta::Release>& releases);
    void lookupFailed(const QString& discId, const QString& why);
    void coverFetched(const QString& releaseId, const QByteArray& image);
    void coverMissing(const QString& releaseId, const QString& why);

private:
    enum class Service { MusicBrainz, CoverArt };
    struct Transfer {
        Service service;
        QString id;
        QByteArray body;
        bool tooLarge = false;
    };

    void SendDueLookups();
    void Send(Service service, const QString& id, const QUrl& url);
    void Read(QNetworkReply* reply);
    void Finish(QNetworkReply* reply);
    void Conclude(const Transfer& transfer, int status, const QString& networkError, bool timedOut);
    void Fail(Service service, const QString& id, const QString& why); // queued
    void Report(Service service, const QString& id, const QString& why);

    ServiceConfig config_;
    QNetworkAccessManager* network_;
    QTimer turn_; // the next lookup's turn under the rate limit
    QList<QString> waiting_;
    QHash<QNetworkReply*, Transfer> transfers_;
    quint64 generation_ = 0; // bumped by Cancel so queued reports know they are stale
};

} // namespace qm::meta
