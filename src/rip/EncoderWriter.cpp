#include "EncoderWriter.h"

#include "ErrorLog.h"
#include "diag/ErrorReport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace qm {

namespace {
// After Stop, an encoder gets this long to complete the shorter file.
constexpr int kStopGraceMs = 5000;

bool IsDecimal(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// Lets the window's events (Stop, Ctrl-C, repainting) run while we wait on
// the encoder.
void RunEventsFor(int ms)
{
    QCoreApplication::processEvents();
    QThread::msleep(static_cast<unsigned long>(ms));
}
} // namespace

QString EncoderCommandLine(const QString& format, const QString& bitrate, const QString& outputFile)
{
    const QString quoted = QLatin1Char('"') + outputFile + QLatin1Char('"');
    if (format == QLatin1String("MP3C"))
        return QStringLiteral("lame.exe -b ") + bitrate + QStringLiteral(" - ") + quoted;
    if (format == QLatin1String("MP3V"))
        return QStringLiteral("lame.exe --abr ") + bitrate + QStringLiteral(" - ") + quoted;
    if (format == QLatin1String("OGGC"))
        return QStringLiteral("oggenc.exe --managed -b ") + bitrate + QStringLiteral(" -  -o ") + quoted;
    if (format == QLatin1String("OGGV"))
        return QStringLiteral("oggenc.exe -b ") + bitrate + QStringLiteral(" -  -o ") + quoted;
    return QString();
}

EncoderWriter::EncoderWriter(AudioLibrary& audio, std::uintptr_t window, HSTREAM& currentStream, const bool& stop,
                             Settings settings, std::optional<TrackTags> tags)
    : m_audio(audio), m_window(window), m_currentStream(currentStream), m_stop(stop),
      m_settings(std::move(settings)), m_tags(std::move(tags)), m_file(m_settings.output)
{
    m_program = EncoderCommandLine(m_settings.format, QString(), QString()).section(QLatin1Char(' '), 0, 0);
    m_program.remove(QStringLiteral(".exe"));
}

bool EncoderWriter::failed(const QString& reason, int code)
{
    return fail({RipFailure::Box::None, reason, code, QString(), reason});
}

bool EncoderWriter::prepare()
{
    // No shell runs the command line, but a quote in the path would still
    // split its quoted argument, and a bitrate that is not a number would
    // add arguments: refuse both before anything starts.
    if (m_program.isEmpty())
        return failed(QStringLiteral("Unknown format code \"%1\": no encoder was started").arg(m_settings.format),
                      BASS_ERROR_ILLPARAM);
    if (m_settings.output.contains(QLatin1Char('"')))
        return failed(QStringLiteral("The output file name holds a double quote, which an encoder's command line "
                                     "cannot carry: ")
                          + m_settings.output,
                      BASS_ERROR_ILLPARAM);
    if (!IsDecimal(m_settings.bitrate))
        return failed(QStringLiteral("The bitrate \"%1\" is not a number of kilobits per second").arg(m_settings.bitrate),
                      BASS_ERROR_ILLPARAM);
    // A fresh library for every conversion, with 16-bit samples for the encoder.
    m_audio.BASS_ChannelStop(m_currentStream);
    m_audio.BASS_StreamFree(m_currentStream);
    m_audio.BASS_Free();
    OpenDefaultOutput(m_audio, m_window);
    m_audio.BASS_SetConfig(BASS_CONFIG_FLOATDSP, 0);
    m_audio.BASS_Encode_Stop(m_currentStream);
    m_prepared = true;
    return true;
}

void EncoderWriter::streamFailed(int code)
{
    const QString text = AudioErrorText(code);
    failed(text.isEmpty() ? QStringLiteral("The source could not be opened") : text, code);
}

bool EncoderWriter::open(HSTREAM stream)
{
    m_stream = stream;
    if (!m_file.create())
        return failed(m_file.errorString(), BASS_ERROR_CREATE);
    const QString command = EncoderCommandLine(m_settings.format, m_settings.bitrate, m_file.tempPath());
    if (m_audio.BASS_Encode_Start(stream, command.toUtf8().constData(), 0, nullptr, nullptr) != 0)
        return true;
    const int code = m_audio.BASS_ErrorGetCode();
    if (code == BASS_ERROR_FILEOPEN)
        return failed(QStringLiteral("%1 was not found (install the %2 package)")
                          .arg(m_program, m_program == QLatin1String("lame") ? m_program : QStringLiteral("vorbis-tools")),
                      code);
    return failed(QStringLiteral("%1 could not be started (%2)").arg(m_program, AudioErrorText(code)), code);
}

// Waits, letting events run, until the encoder has read what is queued for
// it. True also when it ended or the user stopped; false when it took no
// input for the watchdog's time.
bool EncoderWriter::drain()
{
    QElapsedTimer idle;
    idle.start();
    DWORD least = ~DWORD{0};
    for (;;) {
        bool empty = true;
        if (!m_audio.QM_Encode_Flush(m_stream, 50, &empty) || empty)
            return true;
        QCoreApplication::processEvents();
        QM_ENCODE_STATUS status;
        if (m_stop || !m_audio.QM_Encode_GetStatus(m_stream, &status) || status.finished)
            return true;
        if (status.queued < least) {
            least = status.queued;
            idle.restart();
        } else if (idle.elapsed() >= m_settings.watchdogMs) {
            return failed(QStringLiteral("%1 took no input for %2 s and was stopped")
                              .arg(m_program)
                              .arg(m_settings.watchdogMs / 1000.0),
                          BASS_ERROR_UNKNOWN);
        }
    }
}

QString EncoderWriter::ended(const QM_ENCODE_STATUS& status) const
{
    if (status.signal != 0)
        return QStringLiteral("%1 was ended by signal %2").arg(m_program).arg(status.signal);
    if (status.exitCode != 0) {
        QString text = QStringLiteral("%1 exited with status %2").arg(m_program).arg(status.exitCode);
        if (!status.lastLine.empty())
            text += QStringLiteral(": ") + QString::fromStdString(status.lastLine);
        return text;
    }
    return QString();
}

bool EncoderWriter::write(const char*, DWORD)
{
    // Reading the stream fed the encoder; it must keep up, and still be there.
    if (!drain())
        return false;
    QM_ENCODE_STATUS status;
    if (m_audio.QM_Encode_GetStatus(m_stream, &status) && status.finished
        && m_audio.BASS_ChannelIsActive(m_stream) != BASS_ACTIVE_STOPPED) {
        const QString how = ended(status);
        return failed(how.isEmpty() ? QStringLiteral("%1 ended before it had received all of the audio").arg(m_program)
                                    : how,
                      BASS_ERROR_UNKNOWN);
    }
    return true;
}

void EncoderWriter::readFailed(int code)
{
    failed(QStringLiteral("The source could not be read (%1)").arg(AudioErrorText(code)), code);
}

// The encoder completes its file once its input has ended; one that has not
// ended after the watchdog's time (a few seconds once the user stopped) is
// killed.
bool EncoderWriter::awaitExit()
{
    QElapsedTimer waited;
    waited.start();
    qint64 limit = m_settings.watchdogMs;
    for (;;) {
        QM_ENCODE_STATUS status;
        if (!m_audio.QM_Encode_GetStatus(m_stream, &status) || status.finished)
            return true;
        if (m_stop)
            limit = std::min<qint64>(limit, waited.elapsed() + std::min(kStopGraceMs, m_settings.watchdogMs));
        if (waited.elapsed() >= limit) {
            m_audio.QM_Encode_Kill(m_stream);
            return failed(QStringLiteral("%1 did not finish within %2 s after the end of its input and was stopped")
                              .arg(m_program)
                              .arg(limit / 1000.0),
                          BASS_ERROR_UNKNOWN);
        }
        RunEventsFor(20);
    }
}

RipResult EncoderWriter::finish(bool failedBefore, bool cancelled)
{
    bool ok = !failedBefore;
    if (ok && !cancelled) {
        ok = drain();
        cancelled = m_stop;
    }
    // What is still queued after a stop is dropped: the file ends shorter.
    if (ok) {
        m_audio.QM_Encode_EndInput(m_stream);
        ok = awaitExit();
    } else {
        m_audio.QM_Encode_Kill(m_stream);
    }
    m_audio.BASS_Encode_Stop(m_stream);
    QM_ENCODE_STATUS status;
    if (ok && !m_audio.QM_Encode_GetStatus(m_stream, &status))
        ok = failed(QStringLiteral("%1 left no exit status").arg(m_program), BASS_ERROR_UNKNOWN);
    if (const QString how = ok ? ended(status) : QString(); !how.isEmpty())
        ok = failed(how, BASS_ERROR_UNKNOWN);
    if (ok && m_file.size() <= 0)
        ok = failed(QStringLiteral("%1 reported success but wrote no file").arg(m_program), BASS_ERROR_UNKNOWN);
    const TagFormat tagFormat = m_settings.format.startsWith(QLatin1String("OGG")) ? TagFormat::Ogg : TagFormat::Mp3;
    if (QString why; ok && m_tags && !WriteTags(m_file.tempPath(), tagFormat, *m_tags, &why))
        ok = failed(QStringLiteral("The tags could not be written: %1").arg(why), BASS_ERROR_UNKNOWN);
    if (ok && !m_file.commit())
        ok = failed(m_file.errorString(), BASS_ERROR_CREATE);
    if (!ok) {
        m_file.discard();
        return RipResult::Failed;
    }
    return cancelled ? RipResult::Cancelled : RipResult::Ripped;
}

void EncoderWriter::release()
{
    int code = 0;
    if (m_prepared) {
        m_audio.BASS_Free();
        // The shutdown's code: it fails when the restart did.
        code = m_audio.BASS_ErrorGetCode();
    }
    // One line per conversion: the track's own failure says more.
    const RipFailure& f = failure();
    const QString text = !f.reason.isEmpty() ? f.reason : code > 0 ? AudioErrorText(code) : QString();
    if (!text.isEmpty())
        AppendErrorLog(ErrorLogLine(QDateTime::currentDateTime(), QLocale(), text, f.reason.isEmpty() ? code : f.code,
                                    m_settings.source));
}

} // namespace qm
