#pragma once
// Ripped files named from a template such as "{nn} - {title}" or
// "{artist}/{album}/{nn} - {title}": placeholders filled from the disc's
// texts, a "/" making folders under the output folder, and nothing a disc's
// text holds able to leave that folder or make a name the system refuses.

#include <QString>
#include <QStringList>
#include <map>

namespace qm {

// Today's names, TRACK1, TRACK2...: the default.
inline constexpr const char* kDefaultNameTemplate = "TRACK{n}";
// The presets offered beside the default.
QStringList NameTemplatePresets();

// Why a template cannot be used, "" when it can: it is empty, starts at the
// root, climbs out with "..", or names placeholders there are none of.
QString NameTemplateProblem(const QString& nameTemplate);

// What a track's name may hold.
struct NameFields {
    int number = 0; // the disc's track number, from 1
    QString title;  // "" falls back to "Track {nn}"
    QString artist;
    QString album;
    QString year;
};

// One name made safe: "/", NUL, control characters and '"' (which an
// encoder's command line cannot carry) replaced, leading dots and trailing
// dots and spaces trimmed, cut to maxBytes of UTF-8 without splitting a
// character.
QString SafeNamePart(const QString& text, int maxBytes = 255);

// The files of these tracks (keyed by their disc track number, from 1),
// relative to the output folder and ending in `extension`. Two tracks that
// would share a name (letter case aside) both get " (N)", their number,
// added (" (N, 2)" when that is another track's name). The template must be
// one NameTemplateProblem accepts.
std::map<int, QString> TrackFileNames(const QString& nameTemplate, const std::map<int, NameFields>& tracks,
                                      const QString& extension);

// One file's two lines in an .m3u8 playlist. A path a player would take for
// a comment ("#1 Hit.mp3") or an address ("Live: Paris.mp3") starts with
// "./"; line breaks in the texts become spaces.
QString PlaylistEntry(int seconds, const QString& artist, const QString& title, const QString& relativePath);

} // namespace qm
