#pragma once
// Mixes the playing streams into the output's blocks and hands the events
// they raise to the sync thread once the mix is done.

#include "SyncDispatcher.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace qm::audio {

class PlayingStream;
class SoundOutput;

class Mixer {
public:
    Mixer(SoundOutput& output, SyncDispatcher& syncs) : m_output(output), m_syncs(syncs) {}

    void add(const std::shared_ptr<PlayingStream>& stream);
    void remove(const PlayingStream* stream);
    std::vector<std::shared_ptr<PlayingStream>> streams() const;
    // The output thread's mix procedure: false when nothing plays.
    bool mix(std::int16_t* out, std::size_t frames);

private:
    SoundOutput& m_output;
    SyncDispatcher& m_syncs;
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<PlayingStream>> m_streams;
    std::vector<std::int32_t> m_acc;
};

} // namespace qm::audio
