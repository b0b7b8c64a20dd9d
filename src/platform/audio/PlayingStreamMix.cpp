// What the output thread calls: mixing a stream's next block, its syncs as
// they become due, and taking back what was mixed but not yet heard.
#include "PlayingStream.h"

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

} // namespace

void PlayingStream::raise(DWORD type, DWORD data, std::size_t heardIn, std::vector<SyncDispatcher::Event>& events)
{
    auto due = m_latencyAt + std::chrono::microseconds(std::uint64_t(heardIn) * 1000000 / kCdRate);
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
    while (!m_mixedAt.empty() && m_mixedAt.back().consumed >= mark.consumed)
        m_mixedAt.pop_back();
    m_latencyBytes -= std::min<std::size_t>(m_latencyBytes, std::size_t(back)); // still unheard, just not queued
    m_state = mark.state;
    m_draining = false;
    m_mix = mark.mix;
    m_delay = m_joinNow ? 0 : delay;
    m_joinNow = false;
    m_cv.notify_all();
    return true;
}

PlayingStream::Attributes PlayingStream::attributesAtLocked(QWORD heard) const
{
    const Mixed* block = nullptr;
    for (const auto& b : m_mixedAt) {
        if (b.consumed > heard)
            break;
        block = &b;
    }
    if (!block)
        return m_mix;
    Attributes a = block->mix;
    if (a.sliding) {
        // Moved on frame by frame as the mix does, to the frame before `heard`.
        a.slideDone = std::min(a.slideFrames, a.slideDone + (heard - block->consumed) / 4);
        const double t = double(a.slideDone) / double(a.slideFrames);
        a.volume = a.volumeFrom + (a.volumeTo - a.volumeFrom) * t;
        a.pan = a.panFrom + (a.panTo - a.panFrom) * t;
        a.sliding = a.slideDone < a.slideFrames;
    }
    return a;
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
    // A full ring counts as ready: its reader reads no more until some is mixed.
    return !playingLocked() || m_sourceEnded || m_sourceError != 0 || m_ringFill / 4 >= frames
           || !roomToReadLocked();
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
    m_mixedAt.push_back({m_consumed, m_mix});
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
    while (m_mixedAt.size() > 1 && m_consumed - m_mixedAt[1].consumed > m_history)
        m_mixedAt.pop_front();
    // Heard so far: what the device held before this block; the block itself
    // is heard after that.
    m_latencyBytes = (latencyFrames + take) * 4;
    if (m.sliding && m.slideVolume)
        setVolume(DWORD(std::lround(m.volume * 100)));
    if (take < frames) { // the source's end, or a read that failed
        m_state = BASS_ACTIVE_STOPPED;
        m_draining = true;
        m_endDue = m_latencyAt + std::chrono::microseconds(std::uint64_t(latencyFrames + take) * 1000000 / kCdRate)
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
