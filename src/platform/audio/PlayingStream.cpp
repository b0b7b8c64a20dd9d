#include "PlayingStream.h"

#include "ChannelTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qm::audio {

namespace {
constexpr std::size_t kReadChunk = 16 * 2352; // sixteen sectors per read
constexpr DWORD kSyncKind = 0x00FFFFFF;       // the type without the one-shot bit
// The end is announced this long before it is heard, so the next stream can
// be queued behind it without a gap.
constexpr auto kEndLead = std::chrono::milliseconds(500);

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
                          && m_ring.size() - m_ringFill - m_history >= kReadChunk);
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
    const std::size_t drained = std::size_t(std::max<std::int64_t>(us, 0)) * 44100 / 1000000 * 4;
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
        m_ringRead = m_ringFill = m_history = 0;
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
        m_mix.sliding = false;
        if (wasActive)
            ++m_generation;
    }
    // A stream whose end was announced keeps its tail playing out: the next
    // one follows on behind it.
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
        if (m_state == BASS_ACTIVE_STOPPED) {
            error = BASS_ERROR_NOPLAY;
            return false;
        }
        m_latencyBytes = unheardLocked(); // as it stands at the pause
        m_state = BASS_ACTIVE_PAUSED;
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
    if ((volume != -1 && (volume < 0 || volume > 100)) || (pan != -101 && (pan < -100 || pan > 100))) {
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
        if (pan != -101) {
            setPan(pan);
            m_asked.pan = pan / 100.0;
            ++m_asked.panSeq;
        }
        playing = playingLocked();
    }
    if (playing && m_onChange)
        m_onChange();
    return true;
}

bool PlayingStream::slide(int volume, int pan, DWORD milliseconds, int& error)
{
    if ((volume != -1 && (volume < 0 || volume > 100)) || (pan != -101 && (pan < -100 || pan > 100))) {
        error = BASS_ERROR_ILLPARAM;
        return false;
    }
    bool playing;
    {
        std::lock_guard lock(m_mutex);
        if (m_state == BASS_ACTIVE_STOPPED) {
            error = BASS_ERROR_NOPLAY;
            return false;
        }
        m_asked.slideVolume = volume != -1;
        m_asked.slidePan = pan != -101;
        m_asked.volumeTo = volume / 100.0;
        m_asked.panTo = pan / 100.0;
        m_asked.slideFrames = std::max<std::uint64_t>(1, std::uint64_t(milliseconds) * 44100 / 1000);
        ++m_asked.slideSeq;
        playing = playingLocked();
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

void PlayingStream::raise(DWORD type, DWORD data, std::size_t heardIn, std::vector<SyncDispatcher::Event>& events)
{
    auto due = m_latencyAt + std::chrono::microseconds(std::uint64_t(heardIn) * 1000000 / 44100);
    if ((type & kSyncKind) == (BASS_SYNC_END & kSyncKind))
        due -= kEndLead;
    for (auto it = m_syncs.begin(); it != m_syncs.end();) {
        if ((it->type & kSyncKind) != (type & kSyncKind)) {
            ++it;
            continue;
        }
        events.push_back({m_handle, it->handle, it->proc, data, it->user, it->type, due});
        it = (it->type & BASS_SYNC_ONETIME) ? m_syncs.erase(it) : it + 1;
    }
}

void PlayingStream::restoreSync(const SyncDispatcher::Event& event)
{
    std::lock_guard lock(m_mutex);
    if (m_released || !(event.type & BASS_SYNC_ONETIME))
        return;
    m_syncs.push_back({event.sync, event.type, event.proc, event.user});
}

PlayingStream::Mark PlayingStream::mark() const
{
    std::lock_guard lock(m_mutex);
    return {m_generation, m_consumed, m_state, m_mix};
}

bool PlayingStream::restorableLocked(const Mark& mark) const
{
    // A stop, pause or seek since then makes the mark meaningless; and what
    // was mixed since must still be kept.
    return mark.generation == m_generation && (mark.state == BASS_ACTIVE_PLAYING || mark.state == BASS_ACTIVE_STALLED)
           && mark.consumed <= m_consumed && m_consumed - mark.consumed <= m_history;
}

bool PlayingStream::restore(const Mark& mark, std::size_t delay)
{
    std::lock_guard lock(m_mutex);
    if (!restorableLocked(mark)) {
        // Left as it is: it plays on from where it stands.
        m_joinNow = false;
        return false;
    }
    const QWORD back = m_consumed - mark.consumed;
    m_ringRead = (m_ringRead + m_ring.size() - std::size_t(back)) % m_ring.size();
    m_ringFill += std::size_t(back);
    m_history -= std::size_t(back);
    m_consumed = mark.consumed;
    m_latencyBytes -= std::min<std::size_t>(m_latencyBytes, std::size_t(back)); // still unheard, just not queued
    m_state = mark.state;
    m_draining = false;
    m_mix = mark.mix;
    m_delay = m_joinNow ? 0 : delay;
    m_joinNow = false;
    m_cv.notify_all();
    return true;
}

void PlayingStream::joinNow(bool now)
{
    std::lock_guard lock(m_mutex);
    m_joinNow = now;
}

std::size_t PlayingStream::mixableFrames() const
{
    std::lock_guard lock(m_mutex);
    if (!playingLocked() || m_sourceEnded || m_sourceError || m_ringFill / 4 < kStepFrames)
        return SIZE_MAX;
    return m_delay + m_ringFill / 4;
}

bool PlayingStream::ready(std::size_t frames) const
{
    std::lock_guard lock(m_mutex);
    return !playingLocked() || m_sourceEnded || m_sourceError != 0 || m_ringFill / 4 >= frames;
}

bool PlayingStream::canRestore(const Mark& mark) const
{
    std::lock_guard lock(m_mutex);
    return restorableLocked(mark);
}

bool PlayingStream::mixInto(std::int32_t* acc, std::size_t frames, std::size_t latencyFrames,
                            std::vector<SyncDispatcher::Event>& events)
{
    std::lock_guard lock(m_mutex);
    if (!playingLocked())
        return false;
    // Silent first while it waits for its place behind what was queued before it.
    const std::size_t skip = std::min(frames, m_delay);
    m_delay -= skip;
    acc += 2 * skip;
    frames -= skip;
    latencyFrames += skip;
    if (frames == 0)
        return true;
    const std::size_t take = std::min(frames, m_ringFill / 4);
    if (take < frames && !m_sourceEnded && m_sourceError == 0) {
        // Not a whole block read yet: wait for it rather than pad the sound
        // with silence. The reader wakes the output when more arrives.
        m_state = BASS_ACTIVE_STALLED;
        m_latencyBytes = latencyFrames * 4;
        m_latencyAt = std::chrono::steady_clock::now();
        m_cv.notify_all();
        return skip > 0;
    }
    m_latencyAt = std::chrono::steady_clock::now();
    applyRequests();
    Attributes& m = m_mix;
    // Gains change only while sliding; otherwise they are worked out once a
    // block, and full volume at the centre adds the samples untouched.
    double left = 0, right = 0;
    auto gains = [&] {
        left = m.volume * (m.pan > 0 ? 1 - m.pan : 1);
        right = m.volume * (m.pan < 0 ? 1 + m.pan : 1);
    };
    gains();
    for (std::size_t i = 0; i < take;) {
        // Up to the ring's end (frames never straddle it), or one frame while sliding.
        const std::size_t run = std::min(take - i, (m_ring.size() - m_ringRead) / 4);
        const std::size_t n = m.sliding ? 1 : run;
        if (m.sliding) {
            double t = double(++m.slideDone) / double(m.slideFrames);
            m.volume = m.volumeFrom + (m.volumeTo - m.volumeFrom) * std::min(t, 1.0);
            m.pan = m.panFrom + (m.panTo - m.panFrom) * std::min(t, 1.0);
            gains();
            if (m.slideDone >= m.slideFrames) {
                m.sliding = false;
                setVolume(DWORD(std::lround(m.volume * 100)));
                setPan(int(std::lround(m.pan * 100)));
                raise(BASS_SYNC_SLIDE, 0, latencyFrames + i + 1, events);
            }
        }
        MixFrames(m_ring.data() + m_ringRead, n, left, right, acc + 2 * i);
        m_ringRead = (m_ringRead + 4 * n) % m_ring.size();
        i += n;
    }
    m_ringFill -= take * 4;
    m_history = std::min(m_history + take * 4, kHistoryBytes);
    m_consumed += take * 4;
    // Heard so far: what the device held before this block; the block itself
    // is heard after that.
    m_latencyBytes = (latencyFrames + take) * 4;
    if (m.sliding && m.slideVolume)
        setVolume(DWORD(std::lround(m.volume * 100)));
    if (take < frames) { // the source's end, or a read that failed
        m_state = BASS_ACTIVE_STOPPED;
        m_draining = true;
        m_endDue = m_latencyAt + std::chrono::microseconds(std::uint64_t(latencyFrames + take) * 1000000 / 44100)
                   - kEndLead;
        m.sliding = false;
        if (m_sourceError)
            raise(BASS_SYNC_CD_ERROR, DWORD(m_sourceError), latencyFrames + take, events);
        else
            raise(BASS_SYNC_END, 0, latencyFrames + take, events);
    } else {
        m_state = BASS_ACTIVE_PLAYING;
    }
    m_cv.notify_all();
    return take > 0 || skip > 0;
}

} // namespace qm::audio
