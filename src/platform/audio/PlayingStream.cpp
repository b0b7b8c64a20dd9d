#include "PlayingStream.h"

#include "ChannelTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qm::audio {

namespace {
constexpr std::size_t kReadChunk = 16 * 2352; // sixteen sectors per read
constexpr DWORD kSyncKind = 0x00FFFFFF;       // the type without the one-shot bit

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

} // namespace

PlayingStream::PlayingStream(std::shared_ptr<Channel> source, DWORD flags, std::function<void()> onData)
    : Channel(flags), m_onData(std::move(onData)), m_source(std::move(source)), m_ring(kRingBytes)
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

bool PlayingStream::activeLocked() const
{
    return m_state == BASS_ACTIVE_PLAYING || m_state == BASS_ACTIVE_STALLED || m_state == BASS_ACTIVE_PAUSED;
}

void PlayingStream::readAhead()
{
    std::vector<std::uint8_t> chunk(kReadChunk);
    auto wanted = [this] {
        return m_quit || (activeLocked() && !m_sourceEnded && m_sourceError == 0
                          && m_ring.size() - m_ringFill >= kReadChunk);
    };
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
    if (m_state == BASS_ACTIVE_STOPPED)
        return m_consumed; // what was queued has been heard by now
    return m_consumed - std::min<QWORD>(unheardLocked(), m_consumed - m_base);
}

std::size_t PlayingStream::unheardLocked() const
{
    // The device plays on between blocks: what it held when the last block
    // was mixed drains in real time, so the position moves smoothly instead
    // of in block-sized steps.
    if (m_state != BASS_ACTIVE_PLAYING && m_state != BASS_ACTIVE_STALLED)
        return m_latencyBytes;
    const auto elapsed = std::chrono::steady_clock::now() - m_latencyAt;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
    const std::size_t drained = std::size_t(std::max<std::int64_t>(us, 0)) * 44100 / 1000000 * 4;
    return m_latencyBytes > drained ? m_latencyBytes - drained : 0;
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
    m_ringRead = m_ringFill = 0;
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

void PlayingStream::stop()
{
    bool wasActive;
    {
        std::lock_guard lock(m_mutex);
        wasActive = activeLocked();
        m_latencyBytes = unheardLocked(); // as it stands at the stop
        m_state = BASS_ACTIVE_STOPPED;
        m_sliding = false;
    }
    // A stream that ran to its end keeps its tail playing out.
    if (wasActive)
        rewindToHeard();
}

void PlayingStream::rewindToHeard()
{
    // The device drops what it holds when playback stops or pauses, so the
    // stream goes back to what was heard and plays the rest next time.
    QWORD heard, consumed;
    {
        std::lock_guard lock(m_mutex);
        consumed = m_consumed;
        heard = m_consumed - std::min<QWORD>(unheardLocked(), m_consumed - m_base);
        m_latencyBytes = 0;
    }
    int error = 0;
    if (heard < consumed)
        setPosition(heard, error);
}

void PlayingStream::release()
{
    std::lock_guard lock(m_mutex);
    m_state = BASS_ACTIVE_STOPPED;
    m_sliding = false;
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
    m_state = BASS_ACTIVE_PLAYING;
    m_base = m_consumed;
    m_cv.notify_all();
    return true;
}

bool PlayingStream::pause(int& error)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_state == BASS_ACTIVE_PAUSED) {
            error = BASS_ERROR_ALREADY;
            return false;
        }
        if (m_state == BASS_ACTIVE_STOPPED) {
            error = BASS_ERROR_NOPLAY;
            return false;
        }
        m_latencyBytes = unheardLocked(); // as it stands at the pause
        m_state = BASS_ACTIVE_PAUSED;
    }
    rewindToHeard();
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
    m_cv.notify_all();
    return true;
}

bool PlayingStream::setAttributes(int volume, int pan, int& error)
{
    if ((volume != -1 && (volume < 0 || volume > 100)) || (pan != -101 && (pan < -100 || pan > 100))) {
        error = BASS_ERROR_ILLPARAM;
        return false;
    }
    std::lock_guard lock(m_mutex);
    // A running slide keeps its course: a fade-out ends as it was asked to.
    if (volume != -1) {
        setVolume(DWORD(volume));
        if (!(m_sliding && m_slideVolume))
            m_volume = volume / 100.0;
    }
    if (pan != -101) {
        setPan(pan);
        if (!(m_sliding && m_slidePan))
            m_pan = pan / 100.0;
    }
    return true;
}

bool PlayingStream::slide(int volume, int pan, DWORD milliseconds, int& error)
{
    if ((volume != -1 && (volume < 0 || volume > 100)) || (pan != -101 && (pan < -100 || pan > 100))) {
        error = BASS_ERROR_ILLPARAM;
        return false;
    }
    std::lock_guard lock(m_mutex);
    if (m_state == BASS_ACTIVE_STOPPED) {
        error = BASS_ERROR_NOPLAY;
        return false;
    }
    m_slideVolume = volume != -1;
    m_slidePan = pan != -101;
    m_volumeFrom = m_volume;
    m_volumeTo = m_slideVolume ? volume / 100.0 : m_volume;
    m_panFrom = m_pan;
    m_panTo = m_slidePan ? pan / 100.0 : m_pan;
    m_slideFrames = std::max<std::uint64_t>(1, std::uint64_t(milliseconds) * 44100 / 1000);
    m_slideDone = 0;
    m_sliding = true;
    return true;
}

HSYNC PlayingStream::setSync(DWORD type, SYNCPROC proc, DWORD user, int& error)
{
    DWORD kind = type & kSyncKind;
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
    HSYNC handle = NextHandle();
    m_syncs.push_back({handle, type, std::move(proc), user});
    return handle;
}

void PlayingStream::raise(DWORD type, DWORD data, std::vector<SyncDispatcher::Event>& events)
{
    for (auto it = m_syncs.begin(); it != m_syncs.end();) {
        if ((it->type & kSyncKind) != (type & kSyncKind)) {
            ++it;
            continue;
        }
        events.push_back({m_handle, it->handle, it->proc, data, it->user});
        it = (it->type & BASS_SYNC_ONETIME) ? m_syncs.erase(it) : it + 1;
    }
}

bool PlayingStream::mixInto(std::int32_t* acc, std::size_t frames, std::size_t latencyFrames,
                            std::vector<SyncDispatcher::Event>& events)
{
    std::lock_guard lock(m_mutex);
    if (m_state != BASS_ACTIVE_PLAYING && m_state != BASS_ACTIVE_STALLED)
        return false;
    const std::size_t take = std::min(frames, m_ringFill / 4);
    if (take < frames && !m_sourceEnded && m_sourceError == 0) {
        // Not a whole block read yet: wait for it rather than pad the sound
        // with silence. The reader wakes the output when more arrives.
        m_state = BASS_ACTIVE_STALLED;
        m_latencyBytes = latencyFrames * 4;
        m_latencyAt = std::chrono::steady_clock::now();
        m_cv.notify_all();
        return false;
    }
    // Gains change only while sliding; otherwise they are worked out once a
    // block, and full volume at the centre adds the samples untouched.
    double left = 0, right = 0;
    auto gains = [&] {
        left = m_volume * (m_pan > 0 ? 1 - m_pan : 1);
        right = m_volume * (m_pan < 0 ? 1 + m_pan : 1);
    };
    gains();
    for (std::size_t i = 0; i < take;) {
        // Up to the ring's end (frames never straddle it), or one frame while sliding.
        const std::size_t run = std::min(take - i, (m_ring.size() - m_ringRead) / 4);
        const std::size_t n = m_sliding ? 1 : run;
        if (m_sliding) {
            double t = double(++m_slideDone) / double(m_slideFrames);
            m_volume = m_volumeFrom + (m_volumeTo - m_volumeFrom) * std::min(t, 1.0);
            m_pan = m_panFrom + (m_panTo - m_panFrom) * std::min(t, 1.0);
            gains();
            if (m_slideDone >= m_slideFrames) {
                m_sliding = false;
                setVolume(DWORD(std::lround(m_volume * 100)));
                setPan(int(std::lround(m_pan * 100)));
                raise(BASS_SYNC_SLIDE, 0, events);
            }
        }
        MixFrames(m_ring.data() + m_ringRead, n, left, right, acc + 2 * i);
        m_ringRead = (m_ringRead + 4 * n) % m_ring.size();
        i += n;
    }
    m_ringFill -= take * 4;
    m_consumed += take * 4;
    // Heard so far: what the device held before this block; the block itself
    // is heard after that.
    m_latencyBytes = (latencyFrames + take) * 4;
    m_latencyAt = std::chrono::steady_clock::now();
    if (m_sliding && m_slideVolume)
        setVolume(DWORD(std::lround(m_volume * 100)));
    if (take < frames) { // the source's end, or a read that failed
        m_state = BASS_ACTIVE_STOPPED;
        m_sliding = false;
        if (m_sourceError)
            raise(BASS_SYNC_CD_ERROR, DWORD(m_sourceError), events);
        else
            raise(BASS_SYNC_END, 0, events);
    } else {
        m_state = BASS_ACTIVE_PLAYING;
    }
    m_cv.notify_all();
    return take > 0;
}

} // namespace qm::audio
