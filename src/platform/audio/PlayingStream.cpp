#include "PlayingStream.h"

#include "ChannelTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qm::audio {

PlayingStream::PlayingStream(std::shared_ptr<Channel> source, DWORD flags, std::function<void()> onData,
                             std::function<void()> onChange)
    : Channel(flags), m_onData(std::move(onData)), m_onChange(std::move(onChange)), m_source(std::move(source)),
      m_ring(kRingBytes)
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
                          && roomToReadLocked());
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
    if (m_state == BASS_ACTIVE_STOPPED && !drainingLocked())
        return m_consumed; // what was queued has been heard by now
    return heardLocked();
}

QWORD PlayingStream::heardLocked() const
{
    return m_consumed - std::min<QWORD>(unheardLocked(), m_consumed - std::min(m_base, m_consumed));
}

std::size_t PlayingStream::unheardLocked() const
{
    // The device plays on between blocks: what it held when the last block
    // was mixed drains in real time, so the position moves smoothly instead
    // of in block-sized steps.
    if (!playingLocked() && !drainingLocked())
        return m_latencyBytes;
    const auto elapsed = std::chrono::steady_clock::now() - m_latencyAt;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
    const std::size_t drained = std::size_t(std::max<std::int64_t>(us, 0)) * kCdRate / 1000000 * 4;
    return m_latencyBytes > drained ? m_latencyBytes - drained : 0;
}

bool PlayingStream::setPosition(QWORD pos, int& error)
{
    bool playing;
    {
        std::lock_guard sourceLock(m_sourceMutex);
        std::lock_guard lock(m_mutex);
        if (m_quit || pos >= m_source->length()) {
            error = BASS_ERROR_POSITION;
            return false;
        }
        if (!m_source->setPosition(pos, error))
            return false;
        // What it queued past what is heard is replaced by the new place.
        if (playingLocked() || drainingLocked())
            mixOnFromLocked(heardLocked());
        m_ringRead = m_ringFill = m_history = 0;
        m_mixedAt.clear();
        // One whose end is mixed but not yet announced is still playing.
        if (drainingLocked())
            m_state = BASS_ACTIVE_PLAYING;
        m_draining = false;
        m_consumed = m_base = m_source->position();
        m_sourceEnded = false;
        m_sourceError = 0;
        ++m_generation;
        playing = playingLocked();
        m_cv.notify_all();
    }
    // Outside the lock: the output takes the engine's side first.
    if (playing && m_onChange)
        m_onChange();
    return true;
}

DWORD PlayingStream::state() const
{
    std::lock_guard lock(m_mutex);
    return m_state == BASS_ACTIVE_STOPPED && drainingLocked() ? DWORD(BASS_ACTIVE_PLAYING) : m_state;
}

bool PlayingStream::cutsOff() const
{
    std::lock_guard lock(m_mutex);
    return activeLocked() || drainingLocked();
}

bool PlayingStream::drainingLocked() const
{
    return m_draining && std::chrono::steady_clock::now() < m_endDue;
}

bool PlayingStream::mixing() const
{
    std::lock_guard lock(m_mutex);
    return playingLocked();
}

void PlayingStream::stop()
{
    bool wasActive;
    {
        std::lock_guard lock(m_mutex);
        wasActive = activeLocked() || drainingLocked();
        m_latencyBytes = unheardLocked(); // as it stands at the stop
        m_state = BASS_ACTIVE_STOPPED;
        m_draining = false;
        if (wasActive)
            ++m_generation;
    }
    // A stream whose end was announced keeps its tail playing out: the next
    // one follows on behind it.
    if (wasActive)
        rewindToHeard();
    std::lock_guard lock(m_mutex);
    m_mix.sliding = false; // at the level it was heard at
}

void PlayingStream::rewindToHeard()
{
    // The device drops what it holds when playback stops or pauses, so the
    // stream goes back to what was heard and plays the rest next time.
    QWORD heard, consumed;
    {
        std::lock_guard lock(m_mutex);
        consumed = m_consumed;
        heard = heardLocked();
        m_latencyBytes = 0;
        mixOnFromLocked(heard);
    }
    int error = 0;
    if (heard < consumed)
        setPosition(heard, error);
}

void PlayingStream::mixOnFromLocked(QWORD heard)
{
    // A slide goes on from where it was heard, not from where it was mixed.
    m_mix = attributesAtLocked(heard);
    if (m_mix.sliding) {
        if (m_mix.slideVolume)
            setVolume(DWORD(std::lround(m_mix.volume * 100)));
        if (m_mix.slidePan)
            setPan(int(std::lround(m_mix.pan * 100)));
    }
}

void PlayingStream::release()
{
    std::lock_guard lock(m_mutex);
    // One that ran to its end is still heard: its tail may be mixed again.
    if (activeLocked())
        ++m_generation;
    m_state = BASS_ACTIVE_STOPPED;
    m_draining = false;
    m_mix.sliding = false;
    m_syncs.clear();
    m_released = true;
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
    if (m_state == BASS_ACTIVE_STOPPED)
        ++m_generation; // marks from before it stopped mean nothing now
    m_started = true;
    m_draining = false;
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
        // One whose end is mixed but not yet announced still plays its tail.
        if (m_state == BASS_ACTIVE_STOPPED && !drainingLocked()) {
            error = BASS_ERROR_NOPLAY;
            return false;
        }
        m_latencyBytes = unheardLocked(); // as it stands at the pause
        m_state = BASS_ACTIVE_PAUSED;
        m_draining = false;
        ++m_generation;
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
    if ((volume != kKeepVolume && (volume < 0 || volume > 100)) || (pan != kKeepPan && (pan < -100 || pan > 100))) {
        error = BASS_ERROR_ILLPARAM;
        return false;
    }
    bool playing;
    {
        std::lock_guard lock(m_mutex);
        // Applied by the next mix; a running slide keeps its course there.
        if (volume != -1) {
            setVolume(DWORD(volume));
            m_asked.volume = volume / 100.0;
            ++m_asked.volumeSeq;
        }
        if (pan != kKeepPan) {
            setPan(pan);
            m_asked.pan = pan / 100.0;
            ++m_asked.panSeq;
        }
        playing = playingLocked() || drainingLocked();
    }
    if (playing && m_onChange)
        m_onChange();
    return true;
}

bool PlayingStream::slide(int volume, int pan, DWORD milliseconds, int& error)
{
    if ((volume != kKeepVolume && (volume < 0 || volume > 100)) || (pan != kKeepPan && (pan < -100 || pan > 100))) {
        error = BASS_ERROR_ILLPARAM;
        return false;
    }
    bool playing;
    {
        std::lock_guard lock(m_mutex);
        if (m_state == BASS_ACTIVE_STOPPED && !drainingLocked()) {
            error = BASS_ERROR_NOPLAY;
            return false;
        }
        m_asked.slideVolume = volume != -1;
        m_asked.slidePan = pan != kKeepPan;
        m_asked.volumeTo = volume / 100.0;
        m_asked.panTo = pan / 100.0;
        m_asked.slideFrames = std::max<std::uint64_t>(1, std::uint64_t(milliseconds) * kCdRate / 1000);
        ++m_asked.slideSeq;
        playing = playingLocked() || drainingLocked();
    }
    if (playing && m_onChange)
        m_onChange();
    return true;
}

void PlayingStream::applyRequests()
{
    Attributes& m = m_mix;
    if (m.slideSeq != m_asked.slideSeq) {
        // A slide starts from what is mixed at this point.
        m.slideSeq = m_asked.slideSeq;
        m.slideVolume = m_asked.slideVolume;
        m.slidePan = m_asked.slidePan;
        m.volumeFrom = m.volume;
        m.volumeTo = m.slideVolume ? m_asked.volumeTo : m.volume;
        m.panFrom = m.pan;
        m.panTo = m.slidePan ? m_asked.panTo : m.pan;
        m.slideFrames = m_asked.slideFrames;
        m.slideDone = 0;
        m.sliding = true;
    }
    if (m.volumeSeq != m_asked.volumeSeq) {
        m.volumeSeq = m_asked.volumeSeq;
        if (!(m.sliding && m.slideVolume))
            m.volume = m_asked.volume;
    }
    if (m.panSeq != m_asked.panSeq) {
        m.panSeq = m_asked.panSeq;
        if (!(m.sliding && m.slidePan))
            m.pan = m_asked.pan;
    }
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

} // namespace qm::audio
