#pragma once
// The tags a ripped file carries, from the disc's resolved titles, and the
// writing of them into a finished file (before it takes its final name).
// Text from a disc never reaches an encoder's command line: tags are written
// by TagLib into the file the encoder made.

#include <QByteArray>
#include <QString>

namespace qm {

struct TrackTags {
    QString title;
    QString artist;      // the track's artist (the album's when the track has none)
    QString albumArtist; // the album's
    QString album;
    QString year;  // four digits or ""
    QString genre;
    int number = 0; // the disc's track number, from 1
    int total = 0;  // tracks on the disc
    // MusicBrainz IDs, "" when the disc was not looked up.
    QString releaseId;
    QString artistId;
    QString recordingId;
    QString discId;
    QByteArray cover; // the front cover's JPEG or PNG bytes; empty for none
};

enum class TagFormat { Mp3, Ogg, Flac, Opus };

// Writes the tags into the file at `path` (MP3: ID3v2.4, any other tag
// stripped; OGG, Opus and FLAC: Vorbis comments), the cover as the
// front-cover picture.
// Empty texts are left out. False with *why when the file could not be
// read or saved.
bool WriteTags(const QString& path, TagFormat format, const TrackTags& tags, QString* why);

} // namespace qm
