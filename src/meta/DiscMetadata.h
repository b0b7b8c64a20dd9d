#pragma once
// What is known of a disc beyond its audio: the releases an online lookup
// found for it, each with its album, artist, year, genre and track titles.

#include <QList>
#include <QString>

namespace qm::meta {

struct TrackInfo {
    QString title;
    QString artist;      // the track's own artist credit, "" when it is the album's
    QString recordingId; // MusicBrainz recording ID
};

struct Release {
    QString id;       // MusicBrainz release ID
    QString title;    // the album
    QString artist;   // the release's artist credit as one text
    QString artistId; // the first credited artist's ID
    QString year;     // four digits, or ""
    QString genre;    // the most voted genre, or ""
    QString country;  // where it was released, to tell pressings apart
    QString disambiguation;
    int mediumPosition = 1; // which disc of the release this one is
    int mediumCount = 1;
    QList<TrackInfo> tracks; // by position on the disc: tracks[0] is track 1
};

// The longest text kept for one title, artist or album. Longer texts are cut
// (never within a character) so a hostile or broken source cannot make the
// list, the files or the remembered disc huge.
inline constexpr int kMaxTextLength = 1024;

// A text from a disc, a server or a file made fit to show and to store:
// control characters become spaces, runs of white space become one, the ends
// are trimmed and it is cut to kMaxTextLength.
QString CleanText(const QString& text);

// How a release is offered in the choice of releases, for example
// "Album - Artist (1999, GB, disc 2 of 3)".
QString ChoiceText(const Release& release);

} // namespace qm::meta
