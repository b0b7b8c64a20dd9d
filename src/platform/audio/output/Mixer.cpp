#include "Mixer.h"

#include <algorithm>
#include <unordered_map>

namespace qm::audio {

void Mixer::add(const std::shared_ptr<PlayingStream>& stream)
{
    std::lock_guard lock(m_mutex);
    if (std::find(m_streams.begin(), m_streams.end(), stream) == m_streams.end())
        m_streams.push_back(stream);
}

void Mixer::remove(const PlayingStream* stream)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_streams, [stream](const auto& s) { return s.get() == stream; });
}

std::vector<std::shared_ptr<PlayingStream>> Mixer::streams() const
{
    std::lock_guard lock(m_mutex);
    return m_streams;
}

std::size_t Mixer::mix(std::int16_t* out, std::size_t maxFrames, std::size_t queued)
{
    // Take the list, then mix without holding it, so play and free never
    // wait on a block being mixed.
    const std::vector<std::shared_ptr<PlayingStream>> streams = this->streams();
    if (streams.empty() || maxFrames == 0)
        return 0;
    // As much as every stream with data can give; one still reading waits
    // (it stalls) rather than holding the others back.
    std::size_t frames = maxFrames;
    for (const auto& s : streams)
        frames = std::min(frames, s->mixableFrames());
    constexpr std::size_t kStep = PlayingStream::kStepFrames;
    if (frames < kStep)
        frames = std::min(kStep, maxFrames);

    m_acc.assign(frames * 2, 0);
    std::vector<SyncDispatcher::Event> events;
    std::size_t done = 0;
    while (done < frames) {
        Entry entry;
        entry.frames = std::min(kStep, frames - done);
        for (const auto& s : streams)
            entry.marks.emplace_back(s, s->mark());
        events.clear();
        bool any = false;
        for (const auto& s : streams) {
            const std::size_t before = events.size();
            any = s->mixInto(m_acc.data() + 2 * done, entry.frames, queued + done, events) || any;
            for (std::size_t i = before; i < events.size(); ++i)
                entry.events.emplace_back(s, events[i].sync);
        }
        for (auto& e : events)
            m_syncs.post(std::move(e));
        if (!any)
            break;
        done += entry.frames;
        m_journalFrames += entry.frames;
        m_journal.push_back(std::move(entry));
    }
    // Older blocks have left the device's queue: they cannot be taken back.
    while (!m_journal.empty() && m_journalFrames - m_journal.front().frames >= m_keepFrames) {
        m_journalFrames -= m_journal.front().frames;
        m_journal.pop_front();
    }
    for (const auto& s : streams)
        if (!s->mixing() && s->state() != BASS_ACTIVE_PAUSED)
            remove(s.get());
    for (std::size_t i = 0; i < done * 2; ++i)
        out[i] = std::int16_t(std::clamp(m_acc[i], -32768, 32767));
    return done;
}

std::optional<std::size_t> Mixer::rewind(std::size_t maxFrames)
{
    std::size_t first = m_journal.size(), frames = 0;
    while (first > 0 && frames + m_journal[first - 1].frames <= maxFrames)
        frames += m_journal[--first].frames;
    if (frames == 0)
        return 0;
    // Each stream goes back to its oldest mark among those blocks that still
    // holds; one that joined later stays silent until the point where it joined.
    struct Back {
        std::shared_ptr<PlayingStream> stream;
        PlayingStream::Mark mark;
        std::size_t at;     // where it comes in
        std::size_t markAt; // where its mark was taken
        bool restorable;
    };
    std::vector<Back> backs;
    std::unordered_map<const PlayingStream*, std::size_t> seen;
    std::size_t at = 0;
    for (std::size_t i = first; i < m_journal.size(); ++i) {
        for (const auto& [stream, mark] : m_journal[i].marks) {
            const auto [it, added] = seen.try_emplace(stream.get(), backs.size());
            if (added) {
                backs.push_back({stream, mark, at, at, stream->canRestore(mark)});
            } else if (Back& b = backs[it->second]; !b.restorable && stream->canRestore(mark)) {
                // It moved, and its new place was queued behind the old one
                // while its reader caught up: it goes back to the start of
                // the new place, heard from where the old one is cut off.
                b.mark = mark;
                b.markAt = at;
                b.restorable = true;
            }
        }
        at += m_journal[i].frames;
    }
    // One that cannot go back (it moved, was sent back from its tail, or
    // started just now) mixes those frames afresh, and one brought forward
    // to its new place mixes more than it did: wait until its reader has
    // them rather than leave a hole.
    for (const auto& b : backs)
        if (!b.stream->ready(b.restorable ? b.markAt - b.at : frames))
            return std::nullopt;
    const auto current = streams();
    for (const auto& s : current)
        if (!seen.contains(s.get()) && !s->ready(frames))
            return std::nullopt;

    // Events of those blocks that have not run are raised again when mixed again.
    for (std::size_t i = first; i < m_journal.size(); ++i)
        for (const auto& [stream, sync] : m_journal[i].events) {
            SyncDispatcher::Event event;
            if (m_syncs.take(sync, &event))
                stream->restoreSync(event);
        }
    // One that moved plays on from its new place; one that ran to its end
    // and was sent elsewhere (a seek) plays again.
    for (const auto& b : backs)
        if (b.stream->restore(b.mark, b.at) || b.stream->mixing())
            add(b.stream);
    for (const auto& s : current)
        s->joinNow(false);
    m_journal.erase(m_journal.begin() + std::ptrdiff_t(first), m_journal.end());
    m_journalFrames -= frames;
    return frames;
}

void Mixer::forget()
{
    m_journal.clear();
    m_journalFrames = 0;
}

} // namespace qm::audio
