#include "LocalHttpServer.h"
#include "meta/MetadataClient.h"
#include "meta/MusicBrainzReply.h"
#include "quillmere_version.h"

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QTcpServer>
#include <gtest/gtest.h>

using namespace qm::meta;

namespace {

const QString kDisc = QStringLiteral("Wd7xZ.9k_Q2vG1Lm0sTbRp8uYc4-");
const QString kOtherDisc = QStringLiteral("OtherDiscOtherDiscOtherDisc-");
const QString kMbid = QStringLiteral("0b9f1a2c-3d4e-4f50-8a6b-7c8d9e0f1a2b");

// Three releases: the first and last hold kDisc (on the first one's second
// medium), the middle one only another disc.
QByteArray ThreeReleases(const QString& disc)
{
    return QStringLiteral(R"({"releases": [
      {"id": "%1", "title": "Blue\u0007  Album", "date": "1999-03-01", "country": "GB",
       "artist-credit": [{"name": "Ann", "joinphrase": " feat. ", "artist": {"id": "%1"}}, {"name": "Bo"}],
       "genres": [{"name": "rock", "count": 2}, {"name": "jazz", "count": 5}, {"name": "pop", "count": 5}],
       "media": [{"position": 1, "discs": [{"id": "%3"}], "tracks": [{"title": "Wrong"}]},
                 {"position": 2, "discs": [{"id": "%2"}], "tracks": [
                   {"position": 2, "title": "Sec\ud800ond\udc00", "artist-credit": [{"name": "Ann", "joinphrase": " feat. "}, {"name": "Bo"}],
                    "recording": {"id": "not-an-id"}},
                   {"position": 1, "title": "First\nline", "artist-credit": [{"name": "Cy"}], "recording": {"id": "%1"}}]}]},
      {"id": "%1", "title": "Other", "media": [{"discs": [{"id": "%3"}], "tracks": []}]},
      {"id": "bad id", "title": "Long", "date": "19xx", "release-group": {"genres": [{"name": "ska", "count": 1}]},
       "media": [{"discs": [{"id": "%2"}], "tracks": [{"title": "%4"}]}]}]})")
        .arg(kMbid, disc, kOtherDisc, QString(10000, QLatin1Char('x')))
        .toUtf8();
}

const LocalHttpServer::Response kSilence{200, {}, {}, false};

ServiceConfig Config(const LocalHttpServer& server, int minIntervalMs = 0)
{
    return {server.url(), server.url(), 3000, minIntervalMs};
}

void ExpectNamedItself(const LocalHttpServer& server)
{
    for (const LocalHttpServer::Request& request : server.requests()) {
        EXPECT_EQ(request.headers.value("user-agent"), "Quillmere/" QUILLMERE_VERSION_TEXT " ( https://quillmere.org/ )");
        EXPECT_EQ(request.headers.value("accept"), request.target.startsWith("/ws/2/") ? "application/json" : "image/*")
            << request.target.constData();
    }
}

} // namespace

TEST(MusicBrainzReply, ReadsTheMediumOfTheDiscAndCleansEveryText)
{
    QString why;
    const auto releases = ParseDiscIdReply(ThreeReleases(kDisc), kDisc, &why);
    ASSERT_TRUE(releases) << why.toStdString();
    ASSERT_EQ(releases->size(), 2); // the one of another disc is dropped, the order kept
    const Release& first = releases->at(0);
    EXPECT_EQ(first.title, "Blue Album");
    EXPECT_EQ(first.artist, "Ann feat. Bo");
    EXPECT_EQ(first.artistId, kMbid);
    EXPECT_EQ(first.year, "1999");
    EXPECT_EQ(first.genre, "jazz");
    EXPECT_EQ(first.country, "GB");
    EXPECT_EQ(std::pair(first.mediumPosition, first.mediumCount), std::pair(2, 2));
    ASSERT_EQ(first.tracks.size(), 2);
    EXPECT_EQ(first.tracks[0].title, "First line");
    EXPECT_EQ(first.tracks[0].artist, "Cy");
    EXPECT_EQ(first.tracks[0].recordingId, kMbid);
    EXPECT_EQ(first.tracks[1].title, QString::fromUtf8("Sec\uFFFDond\uFFFD")); // halves of a pair are no text
    EXPECT_EQ(first.tracks[1].artist, ""); // the album's own
    EXPECT_EQ(first.tracks[1].recordingId, "");
    const Release& last = releases->at(1);
    EXPECT_EQ(last.id, "");
    EXPECT_EQ(last.year, "");
    EXPECT_EQ(last.genre, "ska");
    EXPECT_EQ(last.tracks.value(0).title.size(), kMaxTextLength);

    for (const char* bad : {"", "[]", "{\"releases\": {}}", "{\"releases\": [}", "{\"releases\": [\"\xff\"]}"}) {
        why.clear();
        EXPECT_FALSE(ParseDiscIdReply(bad, kDisc, &why)) << bad;
        EXPECT_FALSE(why.isEmpty()) << bad;
    }
}

TEST(MetadataClient, EachLookupEndsInOneSignalWithReleasesOrAQuietReason)
{
    LocalHttpServer server;
    const auto disc = [](int i) { return kDisc.left(27) + QChar(u'a' + i); };
    const struct {
        LocalHttpServer::Response response;
        int releases; // -1: failed
        const char* why;
    } cases[] = {
        {{200, ThreeReleases(disc(0))}, 2, ""},
        {{200, ThreeReleases(kOtherDisc)}, 0, ""},
        {{404, "{\"error\": \"Not Found\"}"}, 0, ""},
        {{200, "{\"releases\": [{\"id\""}, -1, "MusicBrainz sent data that could not be read"},
        {{503, "slow down"}, -1, "MusicBrainz is busy (503)"},
        {{500}, -1, "MusicBrainz answered with an error (500)"},
        {kSilence, -1, "MusicBrainz did not answer in time"},
        {{200, QByteArray((8 << 20) + 1, ' ')}, -1, "MusicBrainz sent too much data"},
        {{200, QByteArray(20000, ' '), {}, true, 50}, -1, "MusicBrainz did not answer in time"}, // a byte at a time
    };
    ServiceConfig config = Config(server);
    config.timeoutMs = 2000;
    MetadataClient client(config);
    QSignalSpy found(&client, &MetadataClient::lookedUp), failed(&client, &MetadataClient::lookupFailed);
    for (int i = 0; i < int(std::size(cases)); ++i) {
        server.Route("/ws/2/discid/" + disc(i).toLatin1(), cases[i].response);
        client.LookUp(disc(i));
    }
    const QString bad = QStringLiteral("../../../etc/passwd?x=1#abcdefg"); // never put in a URL
    client.LookUp(bad);
    EXPECT_EQ(failed.size(), 0); // not inside the call
    ASSERT_TRUE(QTest::qWaitFor([&] { return found.size() + failed.size() == int(std::size(cases)) + 1; }, 10000));
    EXPECT_TRUE(failed.contains({bad, QStringLiteral("not a MusicBrainz disc ID")}));
    for (int i = 0; i < int(std::size(cases)); ++i) {
        QString outcome;
        for (const QList<QVariant>& signal : found)
            outcome += signal[0] == disc(i) ? QString::number(signal[1].value<QList<Release>>().size()) : QString();
        for (const QList<QVariant>& signal : failed)
            outcome += signal[0] == disc(i) ? signal[1].toString() : QString();
        EXPECT_EQ(outcome, cases[i].releases < 0 ? QString::fromLatin1(cases[i].why) : QString::number(cases[i].releases)) << i;
    }
    QByteArrayList targets;
    for (const LocalHttpServer::Request& request : server.requests())
        targets << request.target;
    EXPECT_EQ(targets.size(), qsizetype(std::size(cases)));
    EXPECT_TRUE(targets.contains("/ws/2/discid/" + disc(0).toLatin1() + "?inc=artists+recordings+genres&fmt=json"));
    ExpectNamedItself(server);
}

TEST(MetadataClient, OfflineIsAQuietFailureAndCancelSilencesEverything)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    MetadataClient offline({QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()), {}, 3000, 0});
    closed.close();
    QSignalSpy failed(&offline, &MetadataClient::lookupFailed);
    offline.LookUp(kDisc);
    ASSERT_TRUE(QTest::qWaitFor([&] { return failed.size() == 1; }, 5000));
    EXPECT_EQ(failed[0][1], "could not reach MusicBrainz (Connection refused)");

    LocalHttpServer server;
    server.Route("/ws/2/discid/" + kDisc.toLatin1(), kSilence);
    server.Route("/release/" + kMbid.toLatin1() + "/front-500", kSilence);
    MetadataClient client(Config(server));
    QSignalSpy found(&client, &MetadataClient::lookedUp), stopped(&client, &MetadataClient::lookupFailed),
        covers(&client, &MetadataClient::coverMissing);
    client.LookUp(kDisc);
    client.FetchCover(kMbid);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() == 2; }, 5000));
    client.LookUp(QStringLiteral("bad"));
    client.Cancel();
    // A later lookup's answer (a 404) comes after anything the cancelled ones could still send.
    client.LookUp(kOtherDisc);
    ASSERT_TRUE(QTest::qWaitFor([&] { return found.size() == 1; }, 5000));
    EXPECT_EQ(found[0][0], kOtherDisc);
    EXPECT_EQ(stopped.size() + covers.size(), 0);
}

TEST(MetadataClient, MusicBrainzHearsAtMostOneRequestASecondFromTheWholeProgram)
{
    LocalHttpServer server;
    MetadataClient first(Config(server, 1000)), second(Config(server, 1000));
    QSignalSpy firstDone(&first, &MetadataClient::lookedUp), secondDone(&second, &MetadataClient::lookedUp);
    const auto start = std::chrono::steady_clock::now();
    first.LookUp(kDisc);
    first.LookUp(kOtherDisc);
    second.LookUp(kDisc);
    ASSERT_TRUE(QTest::qWaitFor([&] { return firstDone.size() + secondDone.size() == 3; }, 10000));
    // A lower bound only: each request leaves at least a second after the one before.
    QList<LocalHttpServer::Request> requests = server.requests();
    ASSERT_EQ(requests.size(), 3);
    std::sort(requests.begin(), requests.end(), [](const auto& a, const auto& b) { return a.arrived < b.arrived; });
    EXPECT_GE(requests[1].arrived - start, std::chrono::milliseconds(1000));
    EXPECT_GE(requests[2].arrived - start, std::chrono::milliseconds(2000));
}

TEST(MetadataClient, CoversFollowRedirectsAndMustBeImages)
{
    LocalHttpServer server;
    QByteArray png;
    QBuffer buffer(&png);
    QImage image(2, 2, QImage::Format_RGB32);
    image.fill(Qt::blue);
    image.save(&buffer, "PNG");
    const auto release = [](int i) { return i < 4 ? kMbid.left(35) + QChar(u'0' + i) : QStringLiteral("../x"); };
    const auto path = [&](int i) { return "/release/" + release(i).toLatin1() + "/front-500"; };
    server.Route(path(0), {200, png});
    server.Route(path(1), {307, "<html>moved</html>", {{"Location", server.url().toLatin1() + "/images/1.png"}}});
    server.Route("/images/1.png", {200, png});
    server.Route(path(2), {404});
    server.Route(path(3), {200, "<html>not an image</html>"});
    MetadataClient client(Config(server));
    QSignalSpy fetched(&client, &MetadataClient::coverFetched), missing(&client, &MetadataClient::coverMissing);
    for (int i = 0; i < 5; ++i)
        client.FetchCover(release(i));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fetched.size() + missing.size() == 5; }, 5000));
    QStringList outcomes;
    for (int i = 0; i < 5; ++i) {
        for (const QList<QVariant>& signal : fetched)
            outcomes << (signal[0] == release(i) && signal[1] == png ? QStringLiteral("png") : QString());
        for (const QList<QVariant>& signal : missing)
            outcomes << (signal[0] == release(i) ? signal[1].toString() : QString());
    }
    outcomes.removeAll(QString());
    EXPECT_EQ(outcomes, QStringList({"png", "png", "the Cover Art Archive has no front cover", "the cover is not an image",
                                     "not a MusicBrainz release ID"}));
    ExpectNamedItself(server);
}
