// The external-encoder conversion: a decoding stream on a CD track or an
// audio file is pulled through lame or oggenc, which write the file
// themselves. Failures go to the error log, never to a message box; the
// rip job counts them from the result.
#include "Converter.h"

#include "app/frmMain.h"
#include "diag/ErrorReport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cmath>
#include <vector>

namespace qm {

namespace {
constexpr DWORD kBlock = 262144;

// A line of the log must stay one line whatever a path holds.
QString OneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

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

// What the encoder's end says about the file it wrote; "" when all went well.
QString EncoderFailure(const QString& program, const QM_ENCODE_STATUS& status, bool endedEarly)
{
    if (!status.started)
        return QStringLiteral("The encoder %1 could not be started (program not found or not runnable)").arg(program);
    if (!status.finished)
        return QStringLiteral("The encoder %1 did not finish").arg(program);
    if (status.signal != 0)
        return QStringLiteral("The encoder %1 was ended by signal %2").arg(program).arg(status.signal);
    if (status.exitCode != 0)
        return QStringLiteral("The encoder %1 exited with status %2").arg(program).arg(status.exitCode);
    if (endedEarly)
        return QStringLiteral("The encoder %1 ended before it had received all of the audio").arg(program);
    return QString();
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

QString ErrorLogPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/quillmere/Errors.log");
}

QString ErrorLogLine(const QDateTime& when, const QLocale& locale, const QString& text, int code,
                     const QString& source)
{
    return when.time().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(' ')
           + locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') + OneLine(text)
           + QLatin1Char(' ') + QString::number(code)
           + QStringLiteral(" occured when Morlo tried to play/convert: ") + OneLine(source)
           + QStringLiteral("\r\n");
}

bool AppendErrorLog(const QString& line)
{
    const QString path = ErrorLogPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray bytes = line.toUtf8();
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

RipResult frmMain::Converter(const QString& source, const QString& format, const QString& bitrate,
                             const QString& outputFile, bool fromCD)
{
    auto log = [&](const QString& text, int code) {
        AppendErrorLog(ErrorLogLine(QDateTime::currentDateTime(), QLocale(), text, code, source));
    };

    // No shell runs the command line, but a quote in the path would still
    // split its quoted argument, and a bitrate that is not a number would
    // add arguments: refuse both before anything starts.
    if (outputFile.contains(QLatin1Char('"'))) {
        log(QStringLiteral("The output file name holds a double quote, which an encoder's command line "
                           "cannot carry: ") + outputFile,
            BASS_ERROR_ILLPARAM);
        return RipResult::Failed;
    }
    if (!IsDecimal(bitrate)) {
        log(QStringLiteral("The bitrate \"%1\" is not a number of kilobits per second").arg(bitrate),
            BASS_ERROR_ILLPARAM);
        return RipResult::Failed;
    }
    DWORD track = 0;
    if (fromCD) {
        bool ok = false;
        const double value = source.trimmed().toDouble(&ok);
        if (!ok || !(value > -0.5) || value >= 1000.0) {
            log(QStringLiteral("Not a track number"), BASS_ERROR_ILLPARAM);
            return RipResult::Failed;
        }
        track = static_cast<DWORD>(std::nearbyint(value)); // halves go to the even neighbour
    }

    // 1. A fresh library for every conversion, with 16-bit samples for the encoder.
    m_audio.BASS_ChannelStop(currentStream);
    m_audio.BASS_StreamFree(currentStream);
    m_audio.BASS_Free();
    m_audio.BASS_Init(1, 44100, 0, windowHandle(), nullptr);
    m_audio.BASS_SetConfig(BASS_CONFIG_FLOATDSP, 0);
    m_audio.BASS_Encode_Stop(currentStream);

    const DWORD drive = static_cast<DWORD>(currentDrive);
    if (fromCD)
        m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_LOCK);
    SetContentEnabled(false);

    // 2. The source.
    HSTREAM stream = 0;
    const QByteArray name = source.toUtf8();
    if (fromCD)
        stream = m_audio.BASS_CD_StreamCreate(drive, track, BASS_CD_DECODE_FLAGS);
    else if (source.right(3).compare(QLatin1String("WMA"), Qt::CaseInsensitive) == 0)
        stream = m_audio.BASS_WMA_StreamCreateFile(false, name.constData(), 0, 0, BASS_CD_DECODE_FLAGS);
    else
        stream = m_audio.BASS_StreamCreateFile(false, name.constData(), 0, 0, BASS_CD_DECODE_FLAGS);
    currentStream = stream;

    QString failure; // what went wrong, for the log; "" when nothing did
    int failureCode = 0;
    bool cancelled = false;
    if (stream == 0) {
        failureCode = m_audio.BASS_ErrorGetCode();
        failure = AudioErrorText(failureCode);
        if (failure.isEmpty())
            failure = QStringLiteral("The source could not be opened");
    } else {
        // 3. The encoder; an unknown format code starts none and writes nothing.
        const QString command = EncoderCommandLine(format, bitrate, outputFile);
        const QString program = command.section(QLatin1Char(' '), 0, 0);
        bool encoding = false;
        if (command.isEmpty()) {
            failure = QStringLiteral("Unknown format code \"%1\": no encoder was started").arg(format);
            failureCode = BASS_ERROR_ILLPARAM;
        } else if (m_audio.BASS_Encode_Start(stream, command.toUtf8().constData(), 0, nullptr, nullptr) == 0) {
            failureCode = m_audio.BASS_ErrorGetCode();
            failure = QStringLiteral("The encoder %1 could not be started (%2)")
                          .arg(program, AudioErrorText(failureCode));
        } else {
            encoding = true;
        }

        // 4-5. Reading the stream is what feeds the encoder.
        bool endedEarly = false;
        if (encoding) {
            std::vector<char> buffer(kBlock);
            while (m_audio.BASS_ChannelIsActive(stream) != BASS_ACTIVE_STOPPED) {
                const DWORD got = m_audio.BASS_ChannelGetData(stream, buffer.data(), kBlock);
                if (got == BASS_DATA_ERROR || got == 0) {
                    if (got == 0 && m_audio.BASS_ChannelIsActive(stream) == BASS_ACTIVE_STOPPED)
                        break;
                    failureCode = m_audio.BASS_ErrorGetCode();
                    failure = QStringLiteral("The source could not be read (%1)").arg(AudioErrorText(failureCode));
                    break;
                }
                QCoreApplication::processEvents();
                if (ripStop) {
                    cancelled = true;
                    break;
                }
                // An encoder that already ended (a bad option, a folder it
                // cannot write) gets nothing more from the rest of the track.
                QM_ENCODE_STATUS status;
                if (m_audio.QM_Encode_GetStatus(stream, &status) && status.finished
                    && m_audio.BASS_ChannelIsActive(stream) != BASS_ACTIVE_STOPPED) {
                    endedEarly = true;
                    break;
                }
            }
            // 6. The encoder gets the end of its input and completes the file.
            m_audio.BASS_Encode_Stop(stream);
            QM_ENCODE_STATUS status;
            QString ended;
            if (!m_audio.QM_Encode_GetStatus(stream, &status))
                ended = QStringLiteral("The encoder %1 left no exit status").arg(program);
            else
                ended = EncoderFailure(program, status, endedEarly);
            if (failure.isEmpty() && !ended.isEmpty()) {
                failure = ended;
                failureCode = BASS_ERROR_UNKNOWN;
            }
        }
        m_audio.BASS_StreamFree(stream);
    }
    m_audio.BASS_Free();
    // 7. The last call's code: the shutdown fails when the restart did.
    const int code = m_audio.BASS_ErrorGetCode();

    if (fromCD)
        m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_UNLOCK);
    SetContentEnabled(true);

    // One line per conversion: the failure of the track itself says more
    // than the library's last code.
    if (!failure.isEmpty()) {
        log(failure, failureCode);
        return RipResult::Failed;
    }
    if (code > 0)
        log(AudioErrorText(code), code);
    return cancelled ? RipResult::Cancelled : RipResult::Ripped;
}

} // namespace qm
