#include "WmaWriter.h"

#include "diag/ErrorReport.h"

#include <cmath>

namespace qm {

namespace {
const QString kOpenFailed = QStringLiteral("An error occured while opening output file.");
const QString kEncodeFailed = QStringLiteral("An error occured while encoding WMA data.");
} // namespace

QString WmaRateText(DWORD bitsPerSecond, const QLocale& locale)
{
    const auto kilobits = static_cast<qlonglong>(std::nearbyint(bitsPerSecond / 1000.0));
    QLocale grouped = locale;
    grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped.toString(kilobits) + QStringLiteral(" Kbps");
}

WmaWriter::WmaWriter(AudioLibrary& audio, const QString& path, DWORD bitrate, Tags tags, int trackNumber)
    : m_audio(audio), m_file(path), m_bitrate(bitrate), m_tags(std::move(tags)), m_trackNumber(trackNumber)
{
}

WmaWriter::~WmaWriter()
{
    close(); // a file left open would write into the removed temporary file
}

bool WmaWriter::prepare()
{
    if (m_bitrate != 0)
        return true;
    const QString why = QStringLiteral("no WMA bitrate is selected (no WMA encoder offered one)");
    return fail({RipFailure::Box::Warning, QStringLiteral("Track %1 was not ripped: %2.").arg(m_trackNumber).arg(why), 0,
                 QString(), why});
}

void WmaWriter::streamFailed(int code)
{
    fail({RipFailure::Box::AudioError, QStringLiteral("Unable to Create CD Stream!"), code, QString(),
          QStringLiteral("the track could not be opened (%1)").arg(AudioErrorText(code))});
}

// The library's message, with the system's words when our file failed.
bool WmaWriter::failed(const QString& message, int code)
{
    const QString file = m_file.errorString();
    const QString reason = !file.isEmpty() ? file
                                           : QStringLiteral("%1 (%2)").arg(message.chopped(1), AudioErrorText(code));
    return fail({RipFailure::Box::AudioError, file.isEmpty() ? message : message + QStringLiteral("\r\n") + file, code,
                 QString(), reason});
}

bool WmaWriter::open(HSTREAM)
{
    if (!m_file.create())
        return failed(kOpenFailed, BASS_ERROR_CREATE);
    m_encoder = m_audio.QM_WMA_EncodeOpenWriter(
        kCdRate, BASS_WMA_ENCODE_TAGS, m_bitrate,
        [this](QWORD offset, const void* data, DWORD length) { return m_file.writeAt(offset, data, length); });
    if (m_encoder == 0)
        return failed(kOpenFailed, m_audio.BASS_ErrorGetCode());
    for (const auto& [name, value] : m_tags)
        m_audio.BASS_WMA_EncodeSetTag(m_encoder, name.toUtf8().constData(), value.toUtf8().constData());
    // Ends the tags, also when there were none, and writes the header.
    if (!m_audio.BASS_WMA_EncodeSetTag(m_encoder, "", ""))
        return failed(kEncodeFailed, m_audio.BASS_ErrorGetCode());
    return true;
}

bool WmaWriter::write(const char* data, DWORD bytes)
{
    return m_audio.BASS_WMA_EncodeWrite(m_encoder, data, bytes) || failed(kEncodeFailed, m_audio.BASS_ErrorGetCode());
}

void WmaWriter::readFailed(int code)
{
    const QString what = QStringLiteral("The disc could not be read (%1, code %2)").arg(AudioErrorText(code)).arg(code);
    fail({RipFailure::Box::Report, what, kErrRead, QStringLiteral("ExtractAudioTrackToWMA"), what});
}

bool WmaWriter::close()
{
    if (m_encoder == 0)
        return true;
    const HWMENCODE encoder = m_encoder;
    m_encoder = 0;
    return m_audio.BASS_WMA_EncodeClose(encoder);
}

RipResult WmaWriter::finish(bool failedBefore, bool cancelled)
{
    // Closing completes the encoding: the last frame and the trailer.
    const bool closed = close();
    if (!failedBefore && !closed)
        failed(kEncodeFailed, m_audio.BASS_ErrorGetCode());
    else if (!failedBefore && !m_file.commit())
        failed(kEncodeFailed, BASS_ERROR_CREATE);
    else if (!failedBefore)
        return cancelled ? RipResult::Cancelled : RipResult::Ripped;
    m_file.discard();
    return RipResult::Failed;
}

} // namespace qm
