#include "Mixer.h"

#include "SoundOutput.h"
#include "platform/audio/PlayingStream.h"

#include <algorithm>

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

bool Mixer::mix(std::int16_t* out, std::size_t frames)
{
    // Take the list, then mix without holding it, so play and free never
    // wait on a block being mixed.
    std::vector<std::shared_ptr<PlayingStream>> streams = this->streams();
    m_acc.assign(frames * 2, 0);
    std::vector<SyncDispatcher::Event> events;
    std::size_t latency = streams.empty() ? 0 : m_output.latencyFrames();
    bool any = false;
    for (const auto& s : streams) {
        bool playing = s->mixInto(m_acc.data(), frames, latency, events);
        any = any || playing;
        if (!playing && s->state() == BASS_ACTIVE_STOPPED)
            remove(s.get());
    }
    for (std::size_t i = 0; i < frames * 2; ++i)
        out[i] = std::int16_t(std::clamp(m_acc[i], -32768, 32767));
    for (auto& e : events)
        m_syncs.post(std::move(e));
    return any;
}

} // namespace qm::audio
