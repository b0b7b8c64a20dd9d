#pragma once
// The thread that feeds a sound output: it asks its source for as much as the
// device takes and writes it, so the output's own pace drives playback. It
// also calls the sync procedures the mix raised, each once what raised it is
// heard, and keeps the clock that says what has been heard.

#include "SoundOutput.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qm::audio {

// Frames of the output heard so far: the feeding thread says how many it
// wrote and how many of them wait in the device; between its reports the
// device is taken to play on in real time.
class OutputClock {
public:
    using Clock = std::chrono::steady_clock;
    explicit OutputClock(double speed = 1.0) : m_speed(speed) {}
    void set(std::uint64_t written, std::size_t queued);
    std::uint64_t heard() const; // never goes back

private:
    const double m_speed;
    mutable std::mutex m_mutex;
    std::uint64_t m_written = 0;
    std::size_t m_queued = 0;
    Clock::time_point m_at{};
    mutable std::uint64_t m_heard = 0;
};

// A sync procedure's call, due once output frame `at` is heard (0: at once).
struct SyncEvent {
    DWORD channel = 0;
    HSYNC sync = 0;
    SYNCPROC proc;
    DWORD data = 0;
    DWORD user = 0;
    std::uint64_t at = 0;
};

class OutputThread {
public:
    class Source {
    public:
        virtual ~Source() = default;
        // Fills up to maxFrames of interleaved stereo whose first frame is
        // output frame `at`: how many it filled, 0 when nothing plays.
        // Events it raises are appended.
        virtual std::size_t mix(std::int16_t* out, std::size_t maxFrames, std::uint64_t at,
                                std::vector<SyncEvent>& events) = 0;
    };
    // onLost runs once on the output thread when the device fails a write.
    OutputThread(SoundOutput& output, Source& source, std::function<void()> onLost);
    ~OutputThread();
    OutputThread(const OutputThread&) = delete;
    OutputThread& operator=(const OutputThread&) = delete;

    const OutputClock& clock() const { return m_clock; }
    void wake(); // something may play now
    // After this returns no procedure of the channel runs or will run
    // (unless called from one of them, which is then let finish).
    void cancel(DWORD channel);
    void stop(); // joins; safe to call twice
    bool lost() const { return m_lost; }

private:
    void run();
    void queue(std::vector<SyncEvent>& events);
    // Calls the procedures now due: how long until the next one is, in ms (-1: none).
    int fireDue();
    bool onThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

    SoundOutput& m_output;
    Source& m_source;
    std::function<void()> m_onLost;
    OutputClock m_clock;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stop = false;
    bool m_woken = false;
    std::deque<SyncEvent> m_events; // in the order they are due
    DWORD m_running = 0;            // the channel whose procedure runs now
    std::atomic<bool> m_lost{false};
    std::thread m_thread;
};

} // namespace qm::audio
