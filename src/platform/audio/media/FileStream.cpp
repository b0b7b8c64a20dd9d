#include "FileStream.h"

namespace qm::audio {

DWORD FileStream::read(void* buffer, DWORD length, int& error)
{
    std::lock_guard lock(m_mutex);
    if (!buffer && length > 0) {
        error = BASS_ERROR_ILLPARAM;
        return BASS_DATA_ERROR;
    }
    if (m_stopped)
        return 0;
    long n = m_decoder->read(buffer, length);
    if (n < 0) {
        m_stopped = true;
        error = BASS_ERROR_FORMAT;
        return BASS_DATA_ERROR;
    }
    // The decoder fills every read until its end: a short one is the last.
    if (DWORD(n) < length - length % 4)
        m_stopped = true;
    return DWORD(n);
}

QWORD FileStream::position() const
{
    std::lock_guard lock(m_mutex);
    return m_decoder->position();
}

bool FileStream::setPosition(QWORD pos, int& error)
{
    std::lock_guard lock(m_mutex);
    if (!m_decoder->seek(pos)) {
        error = BASS_ERROR_POSITION;
        return false;
    }
    m_stopped = false;
    return true;
}

DWORD FileStream::state() const
{
    std::lock_guard lock(m_mutex);
    return m_stopped ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING;
}

void FileStream::stop()
{
    std::lock_guard lock(m_mutex);
    m_stopped = true;
}

} // namespace qm::audio
