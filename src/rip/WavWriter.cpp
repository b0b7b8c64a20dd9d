// The WAV writer: one track of the current drive, sample for sample, into
// TRACKn.WAV in the output folder.
#include "RipNames.h"
#include "WavFile.h"
#include "app/frmMain.h"
#include "diag/ErrorReport.h"
#include "platform/ui/Dialogs.h"
#include "settings/OptionsPanels.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QtEndian>
#include <vector>

namespace qm {

namespace {
constexpr DWORD kBlock = 20000;
// Numbers shown with a failure, as the program's error reports number them.
constexpr int kErrFileAccess = 75; // the file cannot be opened or written
constexpr int kErrRead = 57;       // the drive delivered no data

QByteArray le32(std::uint32_t v)
{
    char b[4];
    qToLittleEndian(v, b);
    return QByteArray(b, 4);
}
} // namespace

RipResult frmMain::ExtractAudioTrackToWav(int track)
{
    const DWORD drive = static_cast<DWORD>(currentDrive);
    const QString path = TrackFileName(options->txtExtractPath->text(), track + 1, QStringLiteral(".WAV"));
    OutputFile file(path);
    HSTREAM stream = 0;
    RipResult result = RipResult::Failed;

    m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_LOCK);
    stream = m_audio.BASS_CD_StreamCreate(drive, static_cast<DWORD>(track), BASS_CD_DECODE_FLAGS);
    currentStream = stream;
    if (stream == 0) {
        m_dialogs.MessageBox(this, QStringLiteral("Unable to Create CD Stream!"), QLatin1String(kApplicationTitle),
                             MsgIcon::None, MsgButtons::Ok);
    } else {
        SetContentEnabled(false);
        auto report = [&](int number, const QString& description) {
            ReportError(m_dialogs, this, QStringLiteral("frmDemo"), QStringLiteral("ExtractAudioTrack"), number,
                        description);
        };
        BASS_CHANNELINFO info;
        m_audio.BASS_ChannelGetInfo(stream, &info);
        DWORD freq = 0, volume = 0;
        int pan = 0;
        m_audio.BASS_ChannelGetAttributes(stream, &freq, &volume, &pan);
        const auto channels = static_cast<std::uint16_t>(std::min<DWORD>(info.chans, 2));
        const std::uint16_t bits = (info.flags & BASS_SAMPLE_8BITS) ? 8 : 16;

        if (!file.open() || !file.write(WavHeader(channels, freq, bits, 0).constData(), 44)) {
            report(kErrFileAccess, QStringLiteral("Path/File access error: %1").arg(file.errorString()));
        } else {
            QWORD written = 0;
            std::vector<char> buffer(kBlock);
            bool failed = false;
            while (m_audio.BASS_ChannelIsActive(stream) != BASS_ACTIVE_STOPPED) {
                const DWORD got = m_audio.BASS_ChannelGetData(stream, buffer.data(), kBlock);
                if (got == BASS_DATA_ERROR || got == 0) {
                    // Past the end the stream is no longer active; anything
                    // else is a read that failed.
                    if (m_audio.BASS_ChannelIsActive(stream) == BASS_ACTIVE_STOPPED && got == 0)
                        break;
                    const int code = m_audio.BASS_ErrorGetCode();
                    report(kErrRead, QStringLiteral("The disc could not be read (%1, code %2)")
                                         .arg(AudioErrorText(code))
                                         .arg(code));
                    failed = true;
                    break;
                }
                if (!file.write(buffer.data(), got)) {
                    report(kErrFileAccess, QStringLiteral("Path/File access error: %1").arg(file.errorString()));
                    failed = true;
                    break;
                }
                const QWORD pos = m_audio.BASS_ChannelGetPosition(stream);
                written = pos == BASS_POSITION_ERROR ? written + got : pos;
                QCoreApplication::processEvents();
                if (ripStop)
                    break;
            }
            m_audio.BASS_ChannelStop(stream);
            m_audio.BASS_StreamFree(stream);
            stream = 0;
            if (!failed) {
                const auto size = static_cast<std::uint32_t>(written);
                if (file.writeAt(kWavRiffSizeOffset, le32(size + 36)) &&
                    file.writeAt(kWavDataSizeOffset, le32(size)) && file.commit()) {
                    result = ripStop ? RipResult::Cancelled : RipResult::Ripped;
                } else {
                    report(kErrFileAccess, QStringLiteral("Path/File access error: %1").arg(file.errorString()));
                }
                ripStop = false;
            }
        }
    }

    // Clean-up, on every path.
    m_audio.BASS_CD_Door(drive, BASS_CD_DOOR_UNLOCK);
    if (stream != 0) {
        m_audio.BASS_ChannelStop(stream);
        m_audio.BASS_StreamFree(stream);
    }
    file.discard();
    SetContentEnabled(true);
    return result;
}

} // namespace qm
