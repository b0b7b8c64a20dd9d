#pragma once
// Mixes the playing streams into the output's blocks and hands the events
// they raise to the sync thread. It keeps a journal of the streams' marks
// for the blocks still queued in the device, so the output thread can take
// the newest of them back and mix them again after a change.

#include "OutputThread.h"
#include "SyncDispatcher.h"
#include "platform/audio/PlayingStream.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace qm::audio {

class Mixer : public OutputThread::Source {
public:
    // keepFrames: the most the device ever holds queued.
    Mixer(SyncDispatcher& syncs, std::size_t keepFrames) : m_syncs(syncs), m_keepFrames(keepFrames) {}

    void add(const std::shared_ptr<PlayingStream>& stream);
    void remove(const PlayingStream* stream);
    std::vector<std::shared_ptr<PlayingStream>> streams() const;

    // The output thread's side.
    std::size_t mix(std::int16_t* out, std::size_t maxFrames, std::size_t queued) override;
    std::optional<std::size_t> rewind(std::size_t maxFrames) override;
    void forget() override;

private:
    struct Entry {
        std::size_t frames = 0;
        std::vector<std::pair<std::shared_ptr<PlayingStream>, PlayingStream::Mark>> marks;
        std::vector<std::pair<std::shared_ptr<PlayingStream>, HSYNC>> events;
    };

    SyncDispatcher& m_syncs;
    const std::size_t m_keepFrames;
    mutable std::mutex m_mutex; // the list of streams
    std::vector<std::shared_ptr<PlayingStream>> m_streams;
    // Output thread only.
    std::vector<std::int32_t> m_acc;
    std::deque<Entry> m_journal;
    std::size_t m_journalFrames = 0;
};

} // namespace qm::audio
