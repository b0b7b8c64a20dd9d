#pragma once
// The engine's sound side: the output device with its thread, the mixer, the
// sync thread, and the playing streams registered in the engine's table.

#include "ChannelTable.h"
#include "PlayingStream.h"
#include "output/Mixer.h"
#include "output/OutputThread.h"
#include "output/SoundOutput.h"
#include "output/SyncDispatcher.h"

#include <memory>
#include <mutex>

namespace qm::audio {

class NullOutput;

class EngineOutput {
public:
    EngineOutput(ChannelTable& table, OutputChoice choice) : m_table(table), m_choice(std::move(choice)) {}
    ~EngineOutput() { free(); }

    // 0, or a code: 23 no sound server, 14 already open.
    int init();
    bool initialised() const;
    // Stops every playing stream (no events); false when not initialised.
    bool stopAll();
    // Closes the output and frees the playing streams; false when not initialised.
    bool free();

    // A playing stream over a decoding source; needs the output (code 8).
    HSTREAM create(std::shared_ptr<Channel> source, DWORD flags, int& error);
    std::shared_ptr<PlayingStream> find(DWORD handle) const;
    bool play(PlayingStream& stream, bool restart, int& error);
    bool resume(PlayingStream& stream, int& error);
    // Before the table forgets the stream: nothing of it fires afterwards.
    void release(PlayingStream& stream);
    // After a stream stopped or paused: when nothing else plays, what the
    // device still holds is dropped, so it is heard at once; otherwise the
    // queue is mixed again without it. Its one-shot syncs whose events were
    // raised for sound not heard yet are set again; a stopped one's other
    // pending events go.
    void stopped(PlayingStream* stream = nullptr);
    void paused(PlayingStream& stream);
    // After a seek: the same for its events, and one that had run to its end
    // plays on from the new place.
    void moved(PlayingStream& stream);

    NullOutput* nullOutput() const; // the silent output when it is the one open

private:
    void deviceLost();
    void flushIfIdleLocked();
    void takeBackEventsLocked(PlayingStream& stream);
    bool othersPlayLocked(const PlayingStream* stream) const; // other than this one
    void changed(); // a playing stream's queued sound is out of date

    ChannelTable& m_table;
    const OutputChoice m_choice;
    mutable std::mutex m_mutex;
    std::unique_ptr<SoundOutput> m_output;
    std::unique_ptr<SyncDispatcher> m_syncs;
    std::unique_ptr<Mixer> m_mixer;
    std::unique_ptr<OutputThread> m_thread;
    bool m_lost = false;
};

} // namespace qm::audio
