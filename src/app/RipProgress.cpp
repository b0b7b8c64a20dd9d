#include "RipProgress.h"

#include "platform/ui/ConsoleLines.h"
#include "rip/RipJob.h"

#include <QTimer>
#include <cmath>

namespace qm::cli {

namespace {
constexpr double kBytesPerSecond = kCdBytesPerSecond;
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

RipProgress::RipProgress(RipJob& job, AudioLibrary& audio, const HSTREAM& stream, ConsoleLines& lines)
    : QObject(&job), m_audio(audio), m_stream(stream), m_lines(lines), m_timer(new QTimer(this))
{
    // Every pass of the event loop, which the job lets run after each block:
    // a track may take only a few blocks, and each quarter gets its line.
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, &RipProgress::Poll);
    connect(&job, &RipJob::trackStarted, this, &RipProgress::StartTrack);
    connect(&job, &RipJob::trackFinished, this,
            [this](int, RipResult result, const QString& reason) { CloseTrack(result, reason); });
}

void RipProgress::Poll()
{
    const QWORD length = m_audio.BASS_StreamGetLength(m_stream);
    const QWORD position = m_audio.BASS_ChannelGetPosition(m_stream);
    if (m_row <= 0 || length == BASS_POSITION_ERROR || position == BASS_POSITION_ERROR || length == 0)
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

void RipProgress::StartTrack(int track)
{
    m_row = track + 1;
    m_clock.start();
    m_lastUpdate = -1;
    m_lastQuarter = 0;
    m_fraction = 0;
    m_speed = 0;
    m_bytes = 0;
    m_lines.Update(ProgressLine(m_row, 0, 0, -1));
    m_timer->start();
}

void RipProgress::CloseTrack(RipResult result, const QString& reason)
{
    Poll();
    m_timer->stop();
    QString line;
    switch (result) {
    case RipResult::Failed:
        line = QStringLiteral("Track %1: failed: %2").arg(m_row, 2, 10, QLatin1Char('0')).arg(reason);
        break;
    case RipResult::Ripped: {
        // The whole track: its length over the time it took.
        const double elapsed = static_cast<double>(m_clock.nsecsElapsed()) / 1e9;
        if (m_fraction > 0 && elapsed > 0.001)
            m_speed = static_cast<double>(m_bytes) / m_fraction / kBytesPerSecond / elapsed;
        m_fraction = 1.0;
        line = FinishedLine(m_row, m_fraction, m_speed,
                            QStringLiteral("done in ") + Clock(static_cast<double>(m_clock.elapsed()) / 1000.0));
        break;
    }
    case RipResult::Cancelled:
        line = FinishedLine(m_row, m_fraction, m_speed, QStringLiteral("cancelled; the file holds the part read"));
        break;
    }
    m_lines.Line(line);
    m_row = 0;
}

} // namespace qm::cli
