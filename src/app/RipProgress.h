#pragma once
// Progress of the rip job for the terminal: follows the job's tracks and the
// current stream while the job runs, and prints one line per track
// (rewritten in place on a terminal, in steps of a quarter otherwise) with
// percent, speed as a multiple of real time and time left, and at its end
// how it went: a failed track with its reason.

#include "platform/audio/AudioLibrary.h"
#include "rip/RipResult.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QTimer;

namespace qm {

class ConsoleLines;
class RipJob;

namespace cli {

QString ProgressLine(int track, double fraction, double speed, double secondsLeft);
QString FinishedLine(int track, double fraction, double speed, const QString& outcome);
// "m:ss", "h:mm:ss" from an hour up; "--:--" when unknown.
QString Clock(double seconds);

class RipProgress : public QObject {
    Q_OBJECT
public:
    RipProgress(RipJob& job, AudioLibrary& audio, const HSTREAM& stream, ConsoleLines& lines);

private:
    void Poll();
    void StartTrack(int track);
    void CloseTrack(RipResult result, const QString& reason);

    AudioLibrary& m_audio;
    const HSTREAM& m_stream;
    ConsoleLines& m_lines;
    QTimer* m_timer;
    int m_row = 0; // the track's 1-based number; 0 between tracks
    QElapsedTimer m_clock;
    qint64 m_lastUpdate = -1;
    int m_lastQuarter = 0;
    double m_fraction = 0;
    double m_speed = 0;
    unsigned long long m_bytes = 0; // read of the current track, as last seen
};

} // namespace cli
} // namespace qm
