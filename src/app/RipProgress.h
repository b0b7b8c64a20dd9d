#pragma once
// Progress of the rip job for the terminal: watches the progress window's
// track label and the current stream while the job runs, and prints one line
// per track (rewritten in place on a terminal, in steps of a quarter
// otherwise) with percent, speed as a multiple of real time and time left.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

class QTimer;

namespace qm {

class ConsoleLines;
class frmMain;
class frmRipp;

namespace cli {

QString ProgressLine(int track, double fraction, double speed, double secondsLeft);
QString FinishedLine(int track, double fraction, double speed, const QString& outcome);
// "m:ss", "h:mm:ss" from an hour up; "--:--" when unknown.
QString Clock(double seconds);

class RipProgress : public QObject {
    Q_OBJECT
public:
    RipProgress(frmMain& main, ConsoleLines& lines);
    // The job is over: the last track's line is finished.
    void Finish();

private:
    void Poll();
    void StartTrack(int row);
    void CloseTrack();

    frmMain& m_main;
    ConsoleLines& m_lines;
    QTimer* m_timer;
    QPointer<frmRipp> m_job;
    int m_row = 0;
    int m_rippedBefore = 0;
    int m_failedBefore = 0;
    QElapsedTimer m_clock;
    qint64 m_lastUpdate = -1;
    int m_lastQuarter = 0;
    double m_fraction = 0;
    double m_speed = 0;
    unsigned long long m_bytes = 0; // read of the current track, as last seen
};

} // namespace cli
} // namespace qm
