// The engine's file streams, WMA files and external encoders.
#include "CdAudioEngine.h"

#include "LastError.h"
#include "media/FileStream.h"

#include <algorithm>

namespace qm {

using audio::Fail;
using audio::Ok;

// ---- Files -----------------------------------------------------------------

HSTREAM CdAudioEngine::createFileStream(const char* file, DWORD flags)
{
    if (!file || !*file)
        return Fail(BASS_ERROR_FILEOPEN, HSTREAM{0});
    if (!(flags & BASS_STREAM_DECODE) && !m_output.initialised())
        return Fail(BASS_ERROR_INIT, HSTREAM{0});
    int error = BASS_OK;
    auto decoder = audio::FileDecoder::Open(file, &error);
    if (!decoder)
        return Fail(error, HSTREAM{0});
    m_channels.reapFinished();
    return addChannel(std::make_shared<audio::FileStream>(std::move(decoder), flags | BASS_STREAM_DECODE), flags);
}

// Files are opened by name only; memory files are not offered.
HSTREAM CdAudioEngine::BASS_StreamCreateFile(bool mem, const char* file, QWORD, QWORD, DWORD flags)
{
    return mem ? Fail(BASS_ERROR_NOTAVAIL, HSTREAM{0}) : createFileStream(file, flags);
}

HSTREAM CdAudioEngine::BASS_WMA_StreamCreateFile(bool mem, const char* file, QWORD, QWORD, DWORD flags)
{
    return mem ? Fail(BASS_ERROR_NOTAVAIL, HSTREAM{0}) : createFileStream(file, flags);
}

// ---- WMA --------------------------------------------------------------------

const DWORD* CdAudioEngine::BASS_WMA_EncodeGetRates(DWORD freq, DWORD)
{
    if (freq != kCdRate)
        return Fail(BASS_ERROR_FORMAT, static_cast<const DWORD*>(nullptr));
    return Ok(audio::WmaEncoder::Rates());
}

HWMENCODE CdAudioEngine::BASS_WMA_EncodeOpenFile(DWORD freq, DWORD flags, DWORD bitrate, const char* file)
{
    if (freq != kCdRate)
        return Fail(BASS_ERROR_FORMAT, HWMENCODE{0});
    if (!file || !*file)
        return Fail(BASS_ERROR_CREATE, HWMENCODE{0});
    int error = BASS_OK;
    const HWMENCODE handle = m_wma.open(file, bitrate, (flags & BASS_WMA_ENCODE_TAGS) != 0, error);
    return handle ? Ok(handle) : Fail(error, HWMENCODE{0});
}

HWMENCODE CdAudioEngine::QM_WMA_EncodeOpenWriter(DWORD freq, DWORD flags, DWORD bitrate, QM_WMWRITEPROC proc)
{
    if (freq != kCdRate)
        return Fail(BASS_ERROR_FORMAT, HWMENCODE{0});
    if (!proc)
        return Fail(BASS_ERROR_ILLPARAM, HWMENCODE{0});
    int error = BASS_OK;
    const HWMENCODE handle = m_wma.open(std::move(proc), bitrate, (flags & BASS_WMA_ENCODE_TAGS) != 0, error);
    return handle ? Ok(handle) : Fail(error, HWMENCODE{0});
}

bool CdAudioEngine::BASS_WMA_EncodeSetTag(HWMENCODE handle, const char* tag, const char* text)
{
    int error = BASS_OK;
    return m_wma.setTag(handle, tag ? tag : "", text ? text : "", error) ? Ok(true) : Fail(error, false);
}

bool CdAudioEngine::BASS_WMA_EncodeWrite(HWMENCODE handle, const void* buffer, DWORD length)
{
    int error = BASS_OK;
    return m_wma.write(handle, buffer, length, error) ? Ok(true) : Fail(error, false);
}

bool CdAudioEngine::BASS_WMA_EncodeClose(HWMENCODE handle)
{
    int error = BASS_OK;
    return m_wma.close(handle, error) ? Ok(true) : Fail(error, false);
}

// ---- External encoders ------------------------------------------------------

HENCODE CdAudioEngine::BASS_Encode_Start(DWORD handle, const char* cmdline, DWORD, void*, void*)
{
    const auto c = channel(handle);
    if (!c)
        return 0;
    // Encoders take what BASS_ChannelGetData delivers; playing streams deliver nothing.
    if (!c->isDecoding())
        return Fail(BASS_ERROR_NOTAVAIL, HENCODE{0});
    if (!cmdline)
        return Fail(BASS_ERROR_ILLPARAM, HENCODE{0});
    const QWORD remaining = c->length() - std::min(c->length(), c->position());
    const auto dataBytes = c->length() == 0 || remaining >= 0xFFFFFFFFu ? 0xFFFFFFFFu
                                                                          : static_cast<std::uint32_t>(remaining);
    int error = BASS_OK;
    const HENCODE encoder = m_encoders.start(handle, cmdline, m_encoderFolder, dataBytes, error);
    return encoder ? Ok(encoder) : Fail(error, HENCODE{0});
}

bool CdAudioEngine::BASS_Encode_Stop(DWORD handle)
{
    return m_encoders.stop(handle) ? Ok(true) : Fail(BASS_ERROR_HANDLE, false);
}

bool CdAudioEngine::QM_Encode_GetStatus(DWORD handle, QM_ENCODE_STATUS* status)
{
    if (!status)
        return Fail(BASS_ERROR_ILLPARAM, false);
    return m_encoders.status(handle, *status) ? Ok(true) : Fail(BASS_ERROR_HANDLE, false);
}

bool CdAudioEngine::QM_Encode_Flush(DWORD handle, DWORD ms, bool* empty)
{
    bool drained = true;
    if (!m_encoders.flush(handle, ms, drained))
        return Fail(BASS_ERROR_HANDLE, false);
    if (empty)
        *empty = drained;
    return Ok(true);
}

bool CdAudioEngine::QM_Encode_EndInput(DWORD handle)
{
    return m_encoders.endInput(handle, true) ? Ok(true) : Fail(BASS_ERROR_HANDLE, false);
}

bool CdAudioEngine::QM_Encode_Kill(DWORD handle)
{
    return m_encoders.kill(handle) ? Ok(true) : Fail(BASS_ERROR_HANDLE, false);
}

} // namespace qm
