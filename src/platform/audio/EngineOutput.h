#pragma once
// The engine's sound side: the output device with its thread, and the
// playing streams it mixes, registered in the engine's table.

#include "ChannelTable.h"
#include "PlayingStream.h"
#include "output/OutputThread.h"
#include "output/SoundOutput.h"

#include <memory>
#include <mutex>
#include <vector>

namespace qm::audio {

class NullOutput;

class EngineOutput : public OutputThread::Source {
public:
    EngineOutput(ChannelTable& table, OutputChoice choice) : m_table(table), m_choice(std::move(choice)) {}
    ~EngineOutput() override { free(); }

    // 0, or a code: 23 no sound server, 14 already open.
    int init();
    bool initialised() const;
    // Stops every playing stream (no events); false when not initialised.
    bool stopAll();
    // Closes the output and frees the playing streams; false when not initialised.
    bool free();

    // A playing stream over a decoding source; needs the output (code 8).
    HSTREAM create(std::shared_ptr<Channel> source, DWORD flags, int& error);
    bool play(PlayingStream& stream, bool restart, int& error);
    bool resume(PlayingStream& stream, int& error);
    // After a stop, and before the table forgets a stream: none of its
    // procedures runs afterwards.
    void stopped(PlayingStream& stream);
    void release(PlayingStream& stream);
    void moved(PlayingStream& stream); // after a seek

    NullOutput* nullOutput() const; // the silent output when it is the one open

    // The output thread's side: mixes the playing streams.
    std::size_t mix(std::int16_t* out, std::size_t maxFrames, std::uint64_t at, std::vector<SyncEvent>& events) override;

private:
    std::vector<std::shared_ptr<PlayingStream>> mixed() const;
    void forget(const PlayingStream* stream); // out of the mix
    bool start(PlayingStream& stream); // into the mix

    ChannelTable& m_table;
    const OutputChoice m_choice;
    mutable std::mutex m_mutex;
    std::unique_ptr<SoundOutput> m_output;
    std::unique_ptr<OutputThread> m_thread;
    mutable std::mutex m_mixMutex; // the streams mixed, so a start never waits on a block
    std::vector<std::shared_ptr<PlayingStream>> m_mixed;
    std::vector<std::int32_t> m_acc; // output thread only
};

} // namespace qm::audio
