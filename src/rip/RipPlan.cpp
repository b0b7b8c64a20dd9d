#include "RipPlan.h"

#include "RipNames.h"

namespace qm {

QString RipPlan::Extension() const
{
    switch (format) {
    case FormatPortable:
    case FormatMp3: return QStringLiteral(".mp3");
    case FormatWav: return QStringLiteral(".WAV");
    case FormatWma: return QStringLiteral(".WMA");
    case FormatOgg: return QStringLiteral(".ogg");
    case FormatFlac: return QStringLiteral(".flac");
    case FormatOpus: return QStringLiteral(".opus");
    default: return QString();
    }
}

QString RipPlan::FileFor(int track) const
{
    if (nameTemplate == QLatin1String(kDefaultNameTemplate))
        return TrackFileName(folder, track + 1, Extension());
    // Names depend on each other (two equal ones are told apart), so the
    // whole disc is named: a track gets the same name whichever are ripped.
    std::map<int, NameFields> fields;
    auto add = [&](int t) {
        const RipTrackText text = disc.tracks.count(t) ? disc.tracks.at(t) : RipTrackText{};
        fields[t + 1] = {t + 1, text.title, text.artist.isEmpty() ? disc.artist : text.artist, disc.album, disc.year};
    };
    for (const auto& [t, text] : disc.tracks)
        add(t);
    for (const int t : tracks)
        add(t);
    add(track);
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path + TrackFileNames(nameTemplate, fields, Extension()).at(track + 1);
}

namespace {
QString TitleOf(const RipDisc& disc, int track)
{
    const auto it = disc.tracks.find(track);
    if (it != disc.tracks.end() && !it->second.title.isEmpty())
        return it->second.title;
    return QStringLiteral("Track %1").arg(track + 1, 2, 10, QLatin1Char('0'));
}
} // namespace

TrackTags RipPlan::TagsFor(int track) const
{
    TrackTags tags;
    const auto it = disc.tracks.find(track);
    const RipTrackText text = it != disc.tracks.end() ? it->second : RipTrackText{};
    tags.title = TitleOf(disc, track);
    tags.artist = text.artist.isEmpty() ? disc.artist : text.artist;
    tags.albumArtist = disc.artist;
    tags.album = disc.album;
    tags.year = disc.year;
    tags.genre = disc.genre;
    tags.number = track + 1;
    tags.total = disc.total;
    tags.releaseId = disc.releaseId;
    tags.artistId = disc.artistId;
    tags.recordingId = text.recordingId;
    tags.discId = disc.discId;
    tags.cover = disc.cover;
    return tags;
}

std::vector<std::pair<QString, QString>> RipPlan::WmaTagsFor(int track) const
{
    std::vector<std::pair<QString, QString>> tags = wmaTags;
    if (tagFiles) {
        const TrackTags disc = TagsFor(track);
        for (std::size_t i = 0; i < tags.size() && i < wmaTagIsDefault.size(); ++i) {
            if (!wmaTagIsDefault[i])
                continue;
            auto& [name, value] = tags[i];
            if (name == QLatin1String("Title"))
                value = disc.title;
            else if (name == QLatin1String("Author") && !disc.artist.isEmpty())
                value = disc.artist;
            else if (name == QLatin1String("WM/AlbumTitle") && !disc.album.isEmpty())
                value = disc.album;
        }
    }
    if (wmaTagging)
        tags.emplace_back(QStringLiteral("WM/TrackNumber"), QString::number(track + 1));
    return tags;
}

void RipPlan::SetFormat(int outputFormat, bool constant, const QString& kbps)
{
    format = outputFormat;
    encoderCode.clear();
    bitrate.clear();
    switch (outputFormat) {
    case FormatPortable:
        encoderCode = QStringLiteral("MP3C");
        bitrate = QStringLiteral("128");
        break;
    case FormatMp3:
        encoderCode = constant ? QStringLiteral("MP3C") : QStringLiteral("MP3V");
        bitrate = kbps;
        break;
    case FormatOgg:
        encoderCode = constant ? QStringLiteral("OGGC") : QStringLiteral("OGGV");
        bitrate = kbps;
        break;
    case FormatOpus: bitrate = kbps; break;
    default: break;
    }
}

} // namespace qm
