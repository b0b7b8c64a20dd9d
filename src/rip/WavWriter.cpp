#include "WavWriter.h"

#include "WavFile.h"
#include "diag/ErrorReport.h"

#include <QtEndian>
#include <algorithm>

namespace qm {

namespace {
// Numbers shown with a failure, as the program's error reports number them.
constexpr int kErrFileAccess = 75; // the file cannot be opened or written
const QString kRoutine = QStringLiteral("ExtractAudioTrack");
} // namespace

WavWriter::WavWriter(AudioLibrary& audio, const QString& path) : m_audio(audio), m_file(path) {}

void WavWriter::streamFailed(int code)
{
    fail({RipFailure::Box::Plain, QStringLiteral("Unable to Create CD Stream!"), 0, QString(),
          QStringLiteral("the track could not be opened (%1)").arg(AudioErrorText(code))});
}

bool WavWriter::fileFailed()
{
    return fail({RipFailure::Box::Report, QStringLiteral("Path/File access error: %1").arg(m_file.errorString()),
                 kErrFileAccess, kRoutine, m_file.errorString()});
}

bool WavWriter::open(HSTREAM stream)
{
    m_stream = stream;
    BASS_CHANNELINFO info;
    m_audio.BASS_ChannelGetInfo(stream, &info);
    DWORD freq = 0, volume = 0;
    int pan = 0;
    m_audio.BASS_ChannelGetAttributes(stream, &freq, &volume, &pan);
    const auto channels = static_cast<std::uint16_t>(std::min<DWORD>(info.chans, 2));
    const std::uint16_t bits = (info.flags & BASS_SAMPLE_8BITS) ? 8 : 16;
    const QByteArray header = WavHeader(channels, freq, bits, 0);
    return (m_file.create() && m_file.append(header.constData(), std::size_t(header.size()))) || fileFailed();
}

bool WavWriter::write(const char* data, DWORD bytes)
{
    if (!m_file.append(data, bytes))
        return fileFailed();
    const QWORD pos = m_audio.BASS_ChannelGetPosition(m_stream);
    m_written = pos == BASS_POSITION_ERROR ? m_written + bytes : pos;
    return true;
}

void WavWriter::readFailed(int code)
{
    const QString what = QStringLiteral("The disc could not be read (%1, code %2)").arg(AudioErrorText(code)).arg(code);
    fail({RipFailure::Box::Report, what, kErrRead, kRoutine, what});
}

RipResult WavWriter::finish(bool failed, bool cancelled)
{
    if (failed) {
        m_file.discard();
        return RipResult::Failed;
    }
    // The sizes describe exactly the bytes written, also when stopped early.
    char size[4];
    const auto data = static_cast<std::uint32_t>(m_written);
    qToLittleEndian(data + 36, size);
    bool ok = m_file.writeAt(kWavRiffSizeOffset, size, 4);
    qToLittleEndian(data, size);
    ok = ok && m_file.writeAt(kWavDataSizeOffset, size, 4) && m_file.commit();
    if (!ok) {
        fileFailed();
        m_file.discard();
        return RipResult::Failed;
    }
    return cancelled ? RipResult::Cancelled : RipResult::Ripped;
}

} // namespace qm
