#pragma once
// What one rip is to do, as a plain value: which tracks of which drive, in
// which format with which encoder settings, into which folder. The options
// panel or the command line builds it; the rip job and the writers read
// nothing else.

#include "FileNames.h"
#include "TrackTags.h"
#include "platform/audio/AudioLibrary.h"

#include <QByteArray>
#include <QString>
#include <map>
#include <utility>
#include <vector>

namespace qm {

// Output format index: 0 portable preset, 1 WAV, 2 WMA, 3 MP3, 4 OGG, 5 FLAC, 6 Opus.
enum OutputFormat {
    FormatPortable = 0,
    FormatWav = 1,
    FormatWma = 2,
    FormatMp3 = 3,
    FormatOgg = 4,
    FormatFlac = 5,
    FormatOpus = 6,
};
inline constexpr int kFormatCount = 7;

// The disc's texts as the track list resolved them, for names and tags.
struct RipTrackText {
    QString title;       // "" when none is known
    QString artist;      // the track's own, "" when it is the album's
    QString recordingId; // MusicBrainz
    int seconds = 0;
};
struct RipDisc {
    QString artist, album, year, genre;
    QString releaseId, artistId, discId; // MusicBrainz, "" when not looked up
    QString freedbId;
    QM_CD_TOC toc; // for the rip log and AccurateRip
    QByteArray cover;                    // the front cover's bytes, empty for none
    int total = 0;                       // tracks on the disc
    std::map<int, RipTrackText> tracks;  // by 0-based track
};

struct RipPlan {
    int drive = 0;
    std::vector<int> tracks; // 0-based, in the order they are ripped
    int format = -1;         // an OutputFormat; -1: none chosen, nothing is written
    // External encoders: the format code (MP3C, MP3V, OGGC, OGGV) and the
    // bitrate in kilobits per second, as text.
    QString encoderCode;
    QString bitrate;
    DWORD wmaBitrate = 0; // bits per second; 0 when no WMA rate is offered
    int flacLevel = 5;      // FLAC compression, 0-8
    bool flacVerify = false;
    // WMA tags in the order they are set: (name, value), empty values left out.
    std::vector<std::pair<QString, QString>> wmaTags;
    // Which of wmaTags still hold their box's default text: with tagFiles
    // the disc's title, artist or album takes their place.
    std::vector<bool> wmaTagIsDefault;
    bool wmaTagging = false; // the WMA tag boxes are in use
    QString folder; // as typed
    QString nameTemplate = QString::fromLatin1(kDefaultNameTemplate);
    RipDisc disc;
    bool tagFiles = true; // MP3 and OGG tagged from the disc's texts
    bool playlist = false; // <album>.m3u8 beside the files
    // Proving the rip: AccurateRip asked and each track matched; on physical
    // drives each track read twice and the reads compared (test and copy).
    bool verify = false;
    bool testAndCopy = false;
    bool imageDrive = false;
    int readOffset = 0; // samples; images have none
    // An encoder that takes no input for this long is stopped, as is one that
    // has not ended this long after its input did.
    int encoderWatchdogMs = 30000;

    // ".WAV", ".WMA", ".mp3", ".ogg", ".flac" or ".opus"; "" for no format.
    QString Extension() const;
    // The output folder + the name the template gives the track + the
    // extension; with the default template, folder + "/TRACK" + the 1-based
    // number + the extension.
    QString FileFor(int track) const;
    // A track's tags from the disc's texts.
    TrackTags TagsFor(int track) const;
    // The WMA tags of a track: the boxes' tags, the disc's texts in place of
    // boxes left at their defaults when tagFiles, and the track number.
    std::vector<std::pair<QString, QString>> WmaTagsFor(int track) const;
    // Sets the format and its encoder settings: `constant` picks MP3 or OGG's
    // constant mode, `kbps` their bitrate (and Opus's); the portable preset is
    // always MP3 at 128 kbps. WMA's rate is set on its own (wmaBitrate).
    void SetFormat(int outputFormat, bool constant, const QString& kbps);
};

} // namespace qm
