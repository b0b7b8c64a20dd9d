#pragma once
// What is checked of a cue/bin disc image before libcdio opens it. libcdio
// 2.1 hangs on a bin that is a FIFO, and when the first TRACK number is
// higher than the number of tracks it writes its last track's length before
// its own table (it indexes the table by count minus first number), which
// corrupts memory or crashes. Such images are refused here.

#include <QString>

namespace qm::audio {

struct CueSheetCheck {
    QString problem;          // empty when the image may be opened
    bool utf8Text = false;    // the cue's texts are UTF-8, not Latin-1
};

CueSheetCheck CheckCueSheet(const QString& cuePath);

} // namespace qm::audio
