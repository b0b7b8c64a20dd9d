#include "PlayingStream.h"

#include "ChannelTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qm::audio {

namespace {

// Adds `frames` little-endian stereo frames scaled by the two gains, rounded
// half away from zero.
void MixFrames(const std::uint8_t* pcm, std::size_t frames, double left, double right, std::int32_t* acc)
{
    auto scaled = [](std::int16_t sample, double gain) {
        const double v = sample * gain;
        return std::int32_t(v < 0 ? v - 0.5 : v + 0.5);
    };
    const bool unity = left == 1.0 && right == 1.0;
    for (std::size_t i = 0; i < frames; ++i) {
        std::int16_t s[2];
        std::memcpy(s, pcm + 4 * i, 4);
        if (unity) {
            acc[2 * i] += s[0];
            acc[2 * i + 1] += s[1];
        } else {
            acc[2 * i] += scaled(s[0], left);
            acc[2 * i + 1] += scaled(s[1], right);
        }
    }
}

bool ValidLevels(int volume, int pan)
{
    return (volume == kKeepVolume || (volume >= 0 && volume <= 100)) && (pan == kKeepPan || (pan >= -100 && pan <= 100));
}

} // namespace

PlayingStream::PlayingStream(std::shared_ptr<Channel> source, DWORD flags, const OutputClock& clock,
                             std::function<void()> onData)
    : Channel(flags), m_source(std::move(source)), m_clock(clock), m_onData(std::move(onData)), m_ring(kRingBytes)
{
    m_consumed = m_base = m_source->position();
    m_reader = std::thread([this] { readAhead(); });
}

PlayingStream::~PlayingStream()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_cv.notify_all();
    m_reader.join();
}

void PlayingStream::readAhead()
{
    std::vector<std::uint8_t> chunk(kReadChunk);
    auto wanted = [this] { return m_quit || (activeLocked() && !m_sourceEnded && m_sourceError == 0 && roomToReadLocked()); };
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_cv.wait(lock, wanted);
            if (m_quit)
                return;
        }
        bool waiting = false;
        {
            // A seek takes m_sourceMutex first, so it never moves the source
            // under a read whose data would then land at the wrong place.
            std::lock_guard sourceLock(m_sourceMutex);
            {
                std::lock_guard lock(m_mutex);
                if (!wanted() || m_quit)
                    continue;
            }
            int error = 0;
            const DWORD n = m_source->read(chunk.data(), DWORD(chunk.size()), error);
            std::lock_guard lock(m_mutex);
            // The output found too little of this stream to mix: it sleeps until told.
            waiting = m_state == BASS_ACTIVE_STALLED || (m_ringFill == 0 && m_state == BASS_ACTIVE_PLAYING);
            if (n == BASS_DATA_ERROR) {
                m_sourceError = error ? error : BASS_ERROR_NOCD;
            } else if (n == 0) {
                m_sourceEnded = true;
            } else {
                m_filling = m_ring.size() - m_ringFill - n >= kReadChunk;
                const std::size_t at = (m_ringRead + m_ringFill) % m_ring.size();
                const std::size_t first = std::min<std::size_t>(n, m_ring.size() - at);
                std::memcpy(m_ring.data() + at, chunk.data(), first);
                std::memcpy(m_ring.data(), chunk.data() + first, n - first);
                m_ringFill += n;
            }
        }
        if (waiting && m_onData)
            m_onData();
    }
}

DWORD PlayingStream::read(void*, DWORD, int& error)
{
    error = BASS_ERROR_NOTAVAIL;
    return BASS_DATA_ERROR;
}

QWORD PlayingStream::position() const
{
    std::lock_guard lock(m_mutex);
    const std::uint64_t heard = m_mixedTo ? m_clock.heard() : 0;
    const std::uint64_t unheard = m_mixedTo > heard ? m_mixedTo - heard : 0;
    return m_consumed - std::min<QWORD>(unheard * 4, m_consumed - std::min(m_base, m_consumed));
}

bool PlayingStream::setPosition(QWORD pos, int& error)
{
    std::lock_guard sourceLock(m_sourceMutex);
    std::lock_guard lock(m_mutex);
    if (m_quit || pos >= m_source->length()) {
        error = BASS_ERROR_POSITION;
        return false;
    }
    if (!m_source->setPosition(pos, error))
        return false;
    // What was read ahead goes; what is queued plays out before the new place.
    m_ringRead = m_ringFill = 0;
    m_filling = true;
    m_mixedTo = 0;
    m_consumed = m_base = m_source->position();
    m_sourceEnded = false;
    m_sourceError = 0;
    m_cv.notify_all();
    return true;
}

DWORD PlayingStream::state() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}

bool PlayingStream::mixing() const
{
    std::lock_guard lock(m_mutex);
    return playingLocked();
}

void PlayingStream::stop()
{
    std::lock_guard lock(m_mutex);
    m_state = BASS_ACTIVE_STOPPED;
    m_mixedTo = 0;
    m_mix.sliding = false;
}

void PlayingStream::release()
{
    stop();
    std::lock_guard lock(m_mutex);
    m_syncs.clear();
}

bool PlayingStream::play(bool restart, int& error)
{
    bool rewind;
    {
        std::lock_guard lock(m_mutex);
        rewind = restart && m_started && m_state == BASS_ACTIVE_STOPPED;
    }
    if (rewind && !setPosition(0, error))
        return false;
    std::lock_guard lock(m_mutex);
    if (m_quit) {
        error = BASS_ERROR_HANDLE;
        return false;
    }
    m_started = true;
    if (!playingLocked()) {
        m_state = BASS_ACTIVE_PLAYING;
        m_base = m_consumed;
        m_mixedTo = 0;
    }
    m_cv.notify_all();
    return true;
}

bool PlayingStream::pause(int& error)
{
    std::lock_guard lock(m_mutex);
    if (m_state == BASS_ACTIVE_PAUSED || m_state == BASS_ACTIVE_STOPPED) {
        error = m_state == BASS_ACTIVE_PAUSED ? BASS_ERROR_ALREADY : BASS_ERROR_NOPLAY;
        return false;
    }
    m_state = BASS_ACTIVE_PAUSED;
    m_mixedTo = 0;
    return true;
}

bool PlayingStream::resume(int& error)
{
    std::lock_guard lock(m_mutex);
    if (m_state != BASS_ACTIVE_PAUSED) {
        error = BASS_ERROR_NOPAUSE;
        return false;
    }
    m_state = BASS_ACTIVE_PLAYING;
    m_base = m_consumed;
    m_cv.notify_all();
    return true;
}

bool PlayingStream::setAttributes(int volume, int pan, int& error)
{
    if (!ValidLevels(volume, pan)) {
        error = BASS_ERROR_ILLPARAM;
        return false;
    }
    // Taken up by the next block mixed; a running slide keeps its course.
    std::lock_guard lock(m_mutex);
    if (volume != kKeepVolume) {
        setVolume(DWORD(volume));
        if (!(m_mix.sliding && m_mix.slideVolume))
            m_mix.volume = volume / 100.0;
    }
    if (pan != kKeepPan) {
        setPan(pan);
        if (!(m_mix.sliding && m_mix.slidePan))
            m_mix.pan = pan / 100.0;
    }
    return true;
}

bool PlayingStream::slide(int volume, int pan, DWORD milliseconds, int& error)
{
    if (!ValidLevels(volume, pan)) {
        error = BASS_ERROR_ILLPARAM;
        return false;
    }
    std::lock_guard lock(m_mutex);
    if (m_state == BASS_ACTIVE_STOPPED) {
        error = BASS_ERROR_NOPLAY;
        return false;
    }
    Levels& m = m_mix;
    m.slideVolume = volume != kKeepVolume;
    m.slidePan = pan != kKeepPan;
    m.volumeFrom = m.volume;
    m.volumeTo = m.slideVolume ? volume / 100.0 : m.volume;
    m.panFrom = m.pan;
    m.panTo = m.slidePan ? pan / 100.0 : m.pan;
    m.slideFrames = std::max<std::uint64_t>(1, std::uint64_t(milliseconds) * kCdRate / 1000);
    m.slideDone = 0;
    m.sliding = true;
    return true;
}

HSYNC PlayingStream::setSync(DWORD type, SYNCPROC proc, DWORD user, int& error)
{
    const DWORD kind = type & kSyncKind;
    if (kind != (BASS_SYNC_END & kSyncKind) && kind != (BASS_SYNC_SLIDE & kSyncKind)
        && kind != (BASS_SYNC_CD_ERROR & kSyncKind)) {
        error = BASS_ERROR_ILLTYPE;
        return 0;
    }
    if (!proc) {
        error = BASS_ERROR_ILLPARAM;
        return 0;
    }
    std::lock_guard lock(m_mutex);
    if (m_state == BASS_ACTIVE_STOPPED) {
        error = BASS_ERROR_NOPLAY;
        return 0;
    }
    const HSYNC handle = NextHandle();
    m_syncs.push_back({handle, type, std::move(proc), user});
    return handle;
}

void PlayingStream::raiseLocked(DWORD type, DWORD data, std::uint64_t at, std::vector<SyncEvent>& events)
{
    for (auto it = m_syncs.begin(); it != m_syncs.end();) {
        if ((it->type & kSyncKind) != (type & kSyncKind)) {
            ++it;
            continue;
        }
        events.push_back({m_handle, it->handle, it->proc, data, it->user, at});
        it = (it->type & BASS_SYNC_ONETIME) ? m_syncs.erase(it) : it + 1;
    }
}

std::size_t PlayingStream::mixInto(std::int32_t* acc, std::size_t frames, std::uint64_t at,
                                   std::vector<SyncEvent>& events)
{
    std::lock_guard lock(m_mutex);
    if (!playingLocked())
        return 0;
    const std::size_t take = std::min(frames, m_ringFill / 4);
    const bool atEnd = take < frames && (m_sourceEnded || m_sourceError != 0);
    m_state = take < frames && !atEnd ? BASS_ACTIVE_STALLED : BASS_ACTIVE_PLAYING;
    Levels& m = m_mix;
    // Gains change only while sliding; otherwise they are worked out once a
    // block, and full volume at the centre adds the samples untouched.
    double left = 0, right = 0;
    auto gains = [&] {
        left = m.volume * (m.pan > 0 ? 1 - m.pan : 1);
        right = m.volume * (m.pan < 0 ? 1 + m.pan : 1);
    };
    gains();
    const bool slid = m.sliding && m.slideVolume;
    for (std::size_t i = 0; i < take;) {
        // Up to the ring's end (frames never straddle it), or one frame while sliding.
        const std::size_t n = m.sliding ? 1 : std::min(take - i, (m_ring.size() - m_ringRead) / 4);
        if (m.sliding) {
            const double t = std::min(1.0, double(++m.slideDone) / double(m.slideFrames));
            m.volume = m.volumeFrom + (m.volumeTo - m.volumeFrom) * t;
            m.pan = m.panFrom + (m.panTo - m.panFrom) * t;
            gains();
            if (m.slideDone >= m.slideFrames) {
                m.sliding = false;
                setPan(int(std::lround(m.pan * 100)));
                raiseLocked(BASS_SYNC_SLIDE, 0, at + i + 1, events); // when its last frame is heard
            }
        }
        MixFrames(m_ring.data() + m_ringRead, n, left, right, acc + 2 * i);
        m_ringRead = (m_ringRead + 4 * n) % m_ring.size();
        i += n;
    }
    if (slid)
        setVolume(DWORD(std::lround(m.volume * 100)));
    m_ringFill -= take * 4;
    m_consumed += take * 4;
    if (take > 0)
        m_mixedTo = at + take;
    if (atEnd) {
        // Announced now, while its tail is still queued, so the next track
        // can follow on behind it without a gap.
        m_state = BASS_ACTIVE_STOPPED;
        m.sliding = false;
        if (m_sourceError)
            raiseLocked(BASS_SYNC_CD_ERROR, DWORD(m_sourceError), 0, events);
        else
            raiseLocked(BASS_SYNC_END, 0, 0, events);
    }
    if (roomToReadLocked())
        m_cv.notify_all();
    return take;
}

} // namespace qm::audio
