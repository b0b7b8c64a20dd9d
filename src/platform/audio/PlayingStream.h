#pragma once
// A stream that plays through the sound output. An engine thread reads its
// decoding source ahead into a ring; the output thread mixes from the ring,
// applying volume, pan and slides, and raises the end, slide-end and
// CD-read-error events. Position is what has been heard.

#include "Channel.h"
#include "output/SyncDispatcher.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qm::audio {

class PlayingStream : public Channel {
public:
    // onData runs on the read-ahead thread when data arrives for an output
    // that found none of this stream's to mix.
    PlayingStream(std::shared_ptr<Channel> source, DWORD flags, std::function<void()> onData = {});
    ~PlayingStream() override; // ends the read-ahead thread
    void setHandle(DWORD handle) { m_handle = handle; }
    DWORD handle() const { return m_handle; }

    DWORD ctype() const override { return m_source->ctype(); }
    // Its data goes to the output: reading it fails.
    DWORD read(void* buffer, DWORD length, int& error) override;
    QWORD position() const override;
    bool setPosition(QWORD pos, int& error) override;
    QWORD length() const override { return m_source->length(); }
    DWORD state() const override;
    void stop() override;

    bool play(bool restart, int& error);
    bool pause(int& error);
    bool resume(int& error);
    // volume -1 and pan -101 leave a value unchanged; otherwise 0..100 and -100..100.
    bool setAttributes(int volume, int pan, int& error);
    bool slide(int volume, int pan, DWORD milliseconds, int& error);
    HSYNC setSync(DWORD type, SYNCPROC proc, DWORD user, int& error);
    // Stops for good and forgets its syncs: nothing fires after this.
    void release();

    // Output thread: adds the next frames into a 32-bit stereo accumulator;
    // false when it added none. Events raised are appended.
    bool mixInto(std::int32_t* acc, std::size_t frames, std::size_t latencyFrames,
                 std::vector<SyncDispatcher::Event>& events);

    static constexpr std::size_t kRingBytes = 2 * 176400; // two seconds read ahead

private:
    void rewindToHeard();
    std::size_t unheardLocked() const;
    std::function<void()> m_onData;
    struct Sync {
        HSYNC handle;
        DWORD type;
        SYNCPROC proc;
        DWORD user;
    };
    void readAhead();
    void raise(DWORD type, DWORD data, std::vector<SyncDispatcher::Event>& events);
    bool activeLocked() const;

    const std::shared_ptr<Channel> m_source;
    DWORD m_handle = 0;
    std::mutex m_sourceMutex; // held while the source reads or seeks; before m_mutex
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    DWORD m_state = BASS_ACTIVE_STOPPED;
    bool m_started = false;
    bool m_quit = false;
    bool m_sourceEnded = false;
    int m_sourceError = 0;

    std::vector<std::uint8_t> m_ring;
    std::size_t m_ringRead = 0, m_ringFill = 0;
    QWORD m_consumed = 0; // source position of the next byte to mix
    QWORD m_base = 0;     // where playback last (re)started
    std::size_t m_latencyBytes = 0; // mixed but not yet heard, as of m_latencyAt
    std::chrono::steady_clock::time_point m_latencyAt;

    double m_volume = 1.0, m_pan = 0.0; // the live values, also while sliding
    bool m_slideVolume = false, m_slidePan = false;
    double m_volumeFrom = 0, m_volumeTo = 0, m_panFrom = 0, m_panTo = 0;
    std::uint64_t m_slideFrames = 0, m_slideDone = 0;
    bool m_sliding = false;

    std::vector<Sync> m_syncs;
    std::thread m_reader;
};

} // namespace qm::audio
