#include "CdDecodeStream.h"

#include <algorithm>
#include <cstring>

namespace qm::audio {

CdDecodeStream::CdDecodeStream(std::unique_ptr<SectorReader> reader, TrackEntry track, DWORD flags)
    : Channel(flags), m_reader(std::move(reader)), m_track(track), m_length(static_cast<QWORD>(track.bytes())),
      m_cache(static_cast<std::size_t>(m_reader->preferredSectors() * kSectorBytes))
{
    m_stopped = m_length == 0;
}

bool CdDecodeStream::fill(std::int64_t sector, int& error)
{
    const int count = static_cast<int>(std::min<std::int64_t>(m_reader->preferredSectors(), m_track.sectors - sector));
    m_cacheFirst = -1;
    if (!m_reader->read(static_cast<lsn_t>(m_track.start + sector), count, m_cache.data(), error))
        return false;
    m_cacheFirst = sector;
    m_cacheSectors = count;
    return true;
}

DWORD CdDecodeStream::read(void* buffer, DWORD length, int& error)
{
    std::lock_guard lock(m_mutex);
    if (!buffer && length > 0) {
        error = BASS_ERROR_ILLPARAM;
        return BASS_DATA_ERROR;
    }
    if (!m_stopped && !m_reader->available(error)) {
        m_stopped = true;
        return BASS_DATA_ERROR;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    DWORD done = 0;
    while (!m_stopped && done < length && m_pos < m_length) {
        const auto sector = static_cast<std::int64_t>(m_pos / kSectorBytes);
        if (m_cacheFirst < 0 || sector < m_cacheFirst || sector >= m_cacheFirst + m_cacheSectors) {
            if (!fill(sector, error)) {
                if (done > 0)
                    return done; // hand over what arrived; the next read fails
                m_stopped = true;
                return BASS_DATA_ERROR;
            }
        }
        const auto offset = static_cast<std::size_t>(m_pos - static_cast<QWORD>(m_cacheFirst * kSectorBytes));
        const QWORD available = static_cast<QWORD>(m_cacheSectors * kSectorBytes) - offset;
        const auto take = static_cast<DWORD>(std::min<QWORD>({available, QWORD{length - done}, m_length - m_pos}));
        std::memcpy(out + done, m_cache.data() + offset, take);
        done += take;
        m_pos += take;
    }
    if (m_pos >= m_length)
        m_stopped = true;
    return done;
}

QWORD CdDecodeStream::position() const
{
    std::lock_guard lock(m_mutex);
    return m_pos;
}

bool CdDecodeStream::setPosition(QWORD pos, int& error)
{
    std::lock_guard lock(m_mutex);
    if (pos > m_length) {
        error = BASS_ERROR_POSITION;
        return false;
    }
    m_pos = pos & ~QWORD{3}; // whole stereo frames
    m_stopped = m_pos >= m_length;
    return true;
}

DWORD CdDecodeStream::state() const
{
    std::lock_guard lock(m_mutex);
    return m_stopped ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING;
}

void CdDecodeStream::stop()
{
    std::lock_guard lock(m_mutex);
    m_stopped = true;
}

bool CdDecodeStream::readErrors(QM_CD_READ_ERRORS& errors) const
{
    // Not under m_mutex: a read that retries a bad sector holds it for long.
    errors = m_reader->readErrors();
    return true;
}

} // namespace qm::audio
