#include "DiscStore.h"

#include "DiscIds.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

namespace qm::meta {

namespace {

// Far more than any real disc's file; a bigger one is not ours.
constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;
constexpr int kFormat = 1;

QJsonObject ToJson(const Release& r)
{
    QJsonArray tracks;
    for (const TrackInfo& t : r.tracks)
        tracks.append(QJsonObject{{"title", t.title}, {"artist", t.artist}, {"recordingId", t.recordingId}});
    return QJsonObject{{"id", r.id},
                       {"title", r.title},
                       {"artist", r.artist},
                       {"artistId", r.artistId},
                       {"year", r.year},
                       {"genre", r.genre},
                       {"country", r.country},
                       {"disambiguation", r.disambiguation},
                       {"mediumPosition", r.mediumPosition},
                       {"mediumCount", r.mediumCount},
                       {"tracks", tracks}};
}

QString Text(const QJsonObject& o, const char* key)
{
    return CleanText(o.value(QLatin1String(key)).toString());
}

Release FromJson(const QJsonObject& o)
{
    Release r;
    r.id = Text(o, "id");
    r.title = Text(o, "title");
    r.artist = Text(o, "artist");
    r.artistId = Text(o, "artistId");
    r.year = Text(o, "year");
    r.genre = Text(o, "genre");
    r.country = Text(o, "country");
    r.disambiguation = Text(o, "disambiguation");
    r.mediumPosition = qBound(1, o.value(QLatin1String("mediumPosition")).toInt(1), 999);
    r.mediumCount = qBound(r.mediumPosition, o.value(QLatin1String("mediumCount")).toInt(1), 999);
    const QJsonArray tracks = o.value(QLatin1String("tracks")).toArray();
    for (qsizetype i = 0; i < tracks.size() && i < 99; ++i) {
        const QJsonObject t = tracks.at(i).toObject();
        r.tracks.append({Text(t, "title"), Text(t, "artist"), Text(t, "recordingId")});
    }
    return r;
}

} // namespace

DiscStore::DiscStore(QString folder) : m_folder(std::move(folder)) {}

QString DiscStore::DefaultFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/quillmere/discs");
}

QString DiscStore::FilePath(const QString& discId, const char* suffix) const
{
    // The ID names the file, so only an ID's own characters may reach it.
    if (m_folder.isEmpty() || !IsDiscId(discId))
        return {};
    return m_folder + QLatin1Char('/') + discId + QLatin1String(suffix);
}

DiscStore::Loaded DiscStore::Load(const QString& discId) const
{
    Loaded loaded;
    const QString path = FilePath(discId, ".json");
    if (path.isEmpty() || !QFileInfo::exists(path))
        return loaded;
    loaded.found = Found::Damaged;
    QFile file(path);
    if (!QFileInfo(path).isFile()) {
        loaded.why = QStringLiteral("it is not a file");
        return loaded;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        loaded.why = file.errorString();
        return loaded;
    }
    if (file.size() > kMaxFileBytes) {
        loaded.why = QStringLiteral("it is too large");
        return loaded;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    const QJsonObject root = doc.object();
    if (error.error != QJsonParseError::NoError || !doc.isObject() ||
        root.value(QLatin1String("discId")).toString() != discId ||
        root.value(QLatin1String("format")).toInt() != kFormat) {
        const int format = root.value(QLatin1String("format")).toInt();
        loaded.why = error.error != QJsonParseError::NoError ? error.errorString()
                     : format > kFormat ? QStringLiteral("it was written by a newer version of Quillmere")
                                        : QStringLiteral("it is not a remembered disc");
        return loaded;
    }

    RememberedDisc& disc = loaded.disc;
    for (const QJsonValue r : root.value(QLatin1String("releases")).toArray())
        disc.releases.append(FromJson(r.toObject()));
    const int chosen = root.value(QLatin1String("chosen")).toInt(-1);
    disc.chosen = chosen >= 0 && chosen < disc.releases.size() ? chosen : (disc.releases.isEmpty() ? -1 : 0);

    const QJsonObject edits = root.value(QLatin1String("edits")).toObject();
    if (edits.contains(QLatin1String("artist")))
        disc.edits.artist = Text(edits, "artist");
    if (edits.contains(QLatin1String("album")))
        disc.edits.album = Text(edits, "album");
    const QJsonObject titles = edits.value(QLatin1String("titles")).toObject();
    for (auto it = titles.begin(); it != titles.end(); ++it) {
        bool number = false;
        const int track = it.key().toInt(&number);
        if (number && track >= 1 && track <= 99)
            disc.edits.titles[track] = CleanText(it.value().toString());
    }
    loaded.found = Found::Remembered;
    return loaded;
}

bool DiscStore::Save(const QString& discId, const RememberedDisc& disc, QString* why) const
{
    if (m_folder.isEmpty())
        return true;
    const QString path = FilePath(discId, ".json");
    if (path.isEmpty()) {
        if (why)
            *why = QStringLiteral("the disc has no valid ID");
        return false;
    }
    QJsonObject edits;
    if (disc.edits.artist)
        edits.insert(QStringLiteral("artist"), *disc.edits.artist);
    if (disc.edits.album)
        edits.insert(QStringLiteral("album"), *disc.edits.album);
    QJsonObject titles;
    for (const auto& [track, title] : disc.edits.titles)
        titles.insert(QString::number(track), title);
    edits.insert(QStringLiteral("titles"), titles);
    const auto json = [&](const QList<Release>& kept, int chosen) {
        QJsonArray releases;
        for (const Release& r : kept)
            releases.append(ToJson(r));
        const QJsonObject root{{"format", kFormat},
                               {"discId", discId},
                               {"releases", releases},
                               {"chosen", chosen},
                               {"edits", edits}};
        return QJsonDocument(root).toJson();
    };
    // What would be too large to load is never saved: a lookup that matched
    // very many releases keeps only the one chosen.
    QByteArray bytes = json(disc.releases, disc.chosen);
    if (bytes.size() > kMaxFileBytes && disc.chosen >= 0 && disc.chosen < disc.releases.size())
        bytes = json({disc.releases[disc.chosen]}, 0);
    const auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (bytes.size() > kMaxFileBytes)
        return fail(QStringLiteral("it would be too large"));
    if (!QDir().mkpath(m_folder))
        return fail(QStringLiteral("the folder %1 cannot be made").arg(QDir::toNativeSeparators(m_folder)));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return fail(file.errorString());
    return true;
}

bool DiscStore::SaveCover(const QString& discId, const QByteArray& image, QString* why) const
{
    if (m_folder.isEmpty())
        return true;
    const QString path = FilePath(discId, ".jpg");
    QSaveFile file(path);
    const bool saved = !path.isEmpty() && QDir().mkpath(m_folder) && file.open(QIODevice::WriteOnly) &&
                       file.write(image) == image.size() && file.commit();
    if (!saved && why)
        *why = path.isEmpty() ? QStringLiteral("the disc has no valid ID") : file.errorString();
    return saved;
}

bool DiscStore::Forget(const QString& discId) const
{
    bool gone = true;
    for (const char* suffix : {".json", ".jpg"}) {
        const QString path = FilePath(discId, suffix);
        if (!path.isEmpty() && QFileInfo::exists(path))
            gone = QFile::remove(path) && gone;
    }
    return gone;
}

void DiscStore::ForgetCover(const QString& discId) const
{
    if (const QString path = FilePath(discId, ".jpg"); !path.isEmpty())
        QFile::remove(path);
}

QString DiscStore::CoverPath(const QString& discId) const
{
    const QString path = FilePath(discId, ".jpg");
    return !path.isEmpty() && QFileInfo(path).isFile() ? path : QString();
}

} // namespace qm::meta

#include "LookupConfig.h"

namespace qm::meta {

LookupConfig LookupConfig::FromEnvironment()
{
    LookupConfig config;
    config.network = true;
    config.musicBrainzServer = qEnvironmentVariable("QUILLMERE_MUSICBRAINZ_SERVER");
    config.coverArtServer = qEnvironmentVariable("QUILLMERE_COVERART_SERVER");
    config.discFolder = DiscStore::DefaultFolder();
    config.accurateRip = true;
    config.accurateRipServer = qEnvironmentVariable("QUILLMERE_ACCURATERIP_SERVER");
    return config;
}

} // namespace qm::meta
