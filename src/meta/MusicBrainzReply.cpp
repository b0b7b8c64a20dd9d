#include "MusicBrainzReply.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace qm::meta {

namespace {

// A CD holds at most 99 tracks; a larger position is damage, not a track.
constexpr int kMaxTrackPosition = 99;

QString ReplyText(const QJsonObject& object, QLatin1StringView key)
{
    return CleanText(object.value(key).toString());
}

QString ReplyId(const QJsonObject& object, QLatin1StringView key)
{
    const QString id = object.value(key).toString();
    return IsMbid(id) ? id.toLower() : QString();
}

// The credit as MusicBrainz shows it: "A feat. B", "A & B".
QString CreditText(const QJsonValue& credit)
{
    QString text;
    for (const QJsonValue name : credit.toArray()) {
        const QJsonObject part = name.toObject();
        text += part.value(QLatin1StringView("name")).toString() + part.value(QLatin1StringView("joinphrase")).toString();
    }
    return CleanText(text);
}

QString MostVotedGenre(const QJsonValue& genres)
{
    QString best;
    double bestCount = -1;
    for (const QJsonValue value : genres.toArray()) {
        const QJsonObject genre = value.toObject();
        const QString name = ReplyText(genre, QLatin1StringView("name"));
        const double count = genre.value(QLatin1StringView("count")).toDouble();
        if (!name.isEmpty() && count > bestCount) {
            best = name;
            bestCount = count;
        }
    }
    return best;
}

QList<TrackInfo> MediumTracks(const QJsonArray& tracks, const QString& releaseArtist)
{
    QList<TrackInfo> list;
    for (qsizetype i = 0; i < tracks.size(); ++i) {
        const QJsonObject track = tracks.at(i).toObject();
        const int position = track.value(QLatin1StringView("position")).toInt(int(i) + 1);
        if (position < 1 || position > kMaxTrackPosition)
            continue;
        if (list.size() < position)
            list.resize(position);
        TrackInfo& info = list[position - 1];
        info.title = ReplyText(track, QLatin1StringView("title"));
        const QString artist = CreditText(track.value(QLatin1StringView("artist-credit")));
        info.artist = artist == releaseArtist ? QString() : artist;
        info.recordingId = ReplyId(track.value(QLatin1StringView("recording")).toObject(), QLatin1StringView("id"));
    }
    return list;
}

bool MediumHoldsDisc(const QJsonObject& medium, const QString& discId)
{
    for (const QJsonValue disc : medium.value(QLatin1StringView("discs")).toArray()) {
        if (disc.toObject().value(QLatin1StringView("id")).toString() == discId)
            return true;
    }
    return false;
}

std::optional<Release> ReleaseOfDisc(const QJsonObject& object, const QString& discId)
{
    const QJsonArray media = object.value(QLatin1StringView("media")).toArray();
    for (qsizetype i = 0; i < media.size(); ++i) {
        const QJsonObject medium = media.at(i).toObject();
        if (!MediumHoldsDisc(medium, discId))
            continue;
        Release release;
        release.id = ReplyId(object, QLatin1StringView("id"));
        release.title = ReplyText(object, QLatin1StringView("title"));
        const QJsonValue credit = object.value(QLatin1StringView("artist-credit"));
        release.artist = CreditText(credit);
        release.artistId = ReplyId(credit.toArray().at(0).toObject().value(QLatin1StringView("artist")).toObject(),
                                   QLatin1StringView("id"));
        const QString date = object.value(QLatin1StringView("date")).toString().left(4);
        if (date.size() == 4 && std::all_of(date.begin(), date.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
            release.year = date;
        release.genre = MostVotedGenre(object.value(QLatin1StringView("genres")));
        if (release.genre.isEmpty())
            release.genre = MostVotedGenre(object.value(QLatin1StringView("release-group")).toObject().value(QLatin1StringView("genres")));
        release.country = ReplyText(object, QLatin1StringView("country"));
        release.disambiguation = ReplyText(object, QLatin1StringView("disambiguation"));
        release.mediumPosition = qBound(1, medium.value(QLatin1StringView("position")).toInt(int(i) + 1), 999);
        release.mediumCount = qMax(int(media.size()), release.mediumPosition);
        release.tracks = MediumTracks(medium.value(QLatin1StringView("tracks")).toArray(), release.artist);
        return release;
    }
    return std::nullopt;
}

} // namespace

bool IsMbid(const QString& text)
{
    return text.size() == 36 && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c == u'-' || (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    });
}

std::optional<QList<Release>> ParseDiscIdReply(const QByteArray& json, const QString& discId, QString* why)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    const auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (error.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset));
    const QJsonValue releases = document.object().value(QLatin1StringView("releases"));
    if (!document.isObject() || !releases.isArray())
        return fail(QStringLiteral("no list of releases"));
    QList<Release> list;
    for (const QJsonValue value : releases.toArray()) {
        if (auto release = ReleaseOfDisc(value.toObject(), discId))
            list.append(std::move(*release));
    }
    return list;
}

} // namespace qm::meta
