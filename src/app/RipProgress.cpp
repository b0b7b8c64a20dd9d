#include "RipProgress.h"

#include "app/frmMain.h"
#include "platform/ui/ConsoleLines.h"
#include "rip/frmRipp.h"

#include <QLabel>
#include <QTimer>
#include <cmath>

namespace qm::cli {

namespace {
constexpr double kBytesPerSecond = 176400.0; // CD audio: 44100 frames of 2 x 16 bits
constexpr qint64 kUpdateMs = 100;
} // namespace

QString Clock(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        return QStringLiteral("--:--");
    const auto s = static_cast<long long>(std::llround(seconds));
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10,
                                                                                                    QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

namespace {
QString Head(int track, double fraction, double speed)
{
    const int percent = static_cast<int>(std::floor(std::clamp(fraction, 0.0, 1.0) * 100.0));
    const QString pace = speed > 0 && std::isfinite(speed) ? QStringLiteral("%1x").arg(speed, 0, 'f', 1)
                                                            : QStringLiteral("--x");
    return QStringLiteral("Track %1: %2%  %3").arg(track, 2, 10, QLatin1Char('0')).arg(percent, 3).arg(pace, 6);
}
} // namespace

QString ProgressLine(int track, double fraction, double speed, double secondsLeft)
{
    return Head(track, fraction, speed) + QStringLiteral("  ") + Clock(secondsLeft) + QStringLiteral(" left");
}

QString FinishedLine(int track, double fraction, double speed, const QString& outcome)
{
    return Head(track, fraction, speed) + QStringLiteral("  ") + outcome;
}

RipProgress::RipProgress(frmMain& main, ConsoleLines& lines)
    : QObject(&main), m_main(main), m_lines(lines), m_timer(new QTimer(this))
{
    // Every pass of the event loop: the job may start at once, and its first
    // track must be seen before it ends.
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, &RipProgress::Poll);
    m_timer->start();
}

void RipProgress::Poll()
{
    if (!m_job)
        m_job = m_main.findChild<frmRipp*>(QString(), Qt::FindDirectChildrenOnly);
    if (!m_job)
        return;
    const QString label = m_job->lblRip->text();
    const int row = label.mid(label.indexOf(QLatin1Char(':')) + 1).toInt();
    // Every pass of the event loop once the job runs (the writers let events
    // run after each block, and a track may take only a few blocks); often
    // while it waits for its start.
    const QTimer* start = m_job->tmrRipp;
    m_timer->setInterval(start->isActive() && start->remainingTime() > 10 ? 5 : 0);
    if (row <= 0)
        return; // the job has not begun
    if (row != m_row) {
        CloseTrack();
        StartTrack(row);
    }

    AudioLibrary& audio = m_main.audio();
    const QWORD length = audio.BASS_StreamGetLength(m_main.currentStream);
    const QWORD position = audio.BASS_ChannelGetPosition(m_main.currentStream);
    if (length == BASS_POSITION_ERROR || position == BASS_POSITION_ERROR || length == 0)
        return; // the writer has not opened its stream yet
    m_fraction = std::min(1.0, static_cast<double>(position) / static_cast<double>(length));
    m_bytes = position;
    const double elapsed = static_cast<double>(m_clock.nsecsElapsed()) / 1e9;
    const double audioSeconds = static_cast<double>(position) / kBytesPerSecond;
    m_speed = elapsed > 0.001 ? audioSeconds / elapsed : 0.0;
    const double left = m_speed > 0 ? static_cast<double>(length - std::min(position, length)) / kBytesPerSecond / m_speed
                                    : -1.0;

    const qint64 now = m_clock.elapsed();
    if (m_lines.inPlace()) {
        if (m_lastUpdate < 0 || now - m_lastUpdate >= kUpdateMs) {
            m_lastUpdate = now;
            m_lines.Update(ProgressLine(m_row, m_fraction, m_speed, left));
        }
    } else {
        const int quarter = static_cast<int>(m_fraction * 4);
        if (quarter > m_lastQuarter && quarter < 4) {
            m_lastQuarter = quarter;
            m_lines.Line(ProgressLine(m_row, m_fraction, m_speed, left));
        }
    }
}

void RipProgress::StartTrack(int row)
{
    m_row = row;
    m_rippedBefore = m_job->ripped();
    m_failedBefore = m_job->failed();
    m_clock.start();
    m_lastUpdate = -1;
    m_lastQuarter = 0;
    m_fraction = 0;
    m_speed = 0;
    m_bytes = 0;
    m_lines.Update(ProgressLine(row, 0, 0, -1));
}

void RipProgress::CloseTrack()
{
    if (m_row <= 0 || !m_job)
        return;
    QString outcome;
    if (m_job->failed() > m_failedBefore) {
        outcome = QStringLiteral("failed");
    } else if (m_job->ripped() > m_rippedBefore) {
        // The whole track: its length over the time it took.
        const double elapsed = static_cast<double>(m_clock.nsecsElapsed()) / 1e9;
        if (m_fraction > 0 && elapsed > 0.001)
            m_speed = static_cast<double>(m_bytes) / m_fraction / kBytesPerSecond / elapsed;
        m_fraction = 1.0;
        outcome = QStringLiteral("done in ") + Clock(static_cast<double>(m_clock.elapsed()) / 1000.0);
    } else {
        outcome = QStringLiteral("cancelled; the file holds the part read");
    }
    m_lines.Line(FinishedLine(m_row, m_fraction, m_speed, outcome));
    m_row = 0;
}

void RipProgress::Finish()
{
    Poll();
    CloseTrack();
    m_timer->stop();
}

} // namespace qm::cli
