#pragma once
// What the main window's features share: the drive and stream they act on and
// the rip's flags. Each feature owns its widgets; this is the only state they
// read and write in common (the rest goes through signals).

#include "platform/audio/AudioLibrary.h"

#include <QString>

namespace qm {

struct WindowState {
    int currentDrive = 0;
    HSTREAM currentStream = 0;
    int playingTrack = -1; // the disc track (0-based) currentStream was made for; -1 for none
    int playingDrive = -1; // the drive it reads
    // The door as the playback timer last saw it; an empty list is read again
    // only while it is shut.
    bool doorOpen = false;
    bool ripStop = false; // set by a confirmed cancel; polled by the writers
    // While the progress window is open the playback timer shows the current
    // stream's progress in its bar instead of the position slider.
    bool rippingActive = false;
    // The folder the program was started in, which a relative Extract Path means.
    QString startFolder;
};

} // namespace qm
