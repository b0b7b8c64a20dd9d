#pragma once
// What one rip is to do, as a plain value: which tracks of which drive, in
// which format with which encoder settings, into which folder. The options
// panel or the command line builds it; the rip job and the writers read
// nothing else.

#include "platform/audio/AudioLibrary.h"

#include <QString>
#include <utility>
#include <vector>

namespace qm {

// Output format index: 0 portable preset, 1 WAV, 2 WMA, 3 MP3, 4 OGG.
enum OutputFormat { FormatPortable = 0, FormatWav = 1, FormatWma = 2, FormatMp3 = 3, FormatOgg = 4 };

struct RipPlan {
    int drive = 0;
    std::vector<int> tracks; // 0-based, in the order they are ripped
    int format = -1;         // an OutputFormat; -1: none chosen, nothing is written
    // External encoders: the format code (MP3C, MP3V, OGGC, OGGV) and the
    // bitrate in kilobits per second, as text.
    QString encoderCode;
    QString bitrate;
    DWORD wmaBitrate = 0; // bits per second; 0 when no WMA rate is offered
    // WMA tags in the order they are set: (name, value), empty values left out.
    std::vector<std::pair<QString, QString>> wmaTags;
    QString folder; // as typed
    // An encoder that takes no input for this long is stopped, as is one that
    // has not ended this long after its input did.
    int encoderWatchdogMs = 30000;

    // ".WAV", ".WMA", ".mp3" or ".ogg"; "" for no format.
    QString Extension() const;
    // folder + "/TRACK" + the 1-based number + the extension.
    QString FileFor(int track) const;
    // Sets the format and its encoder settings: `constant` picks MP3 or OGG's
    // constant mode, `kbps` their bitrate; the portable preset is always MP3
    // at 128 kbps. WMA's rate is set on its own (wmaBitrate).
    void SetFormat(int outputFormat, bool constant, const QString& kbps);
};

} // namespace qm
