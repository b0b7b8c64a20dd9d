#pragma once
// Calls sync procedures on one engine thread, each when it is due (when what
// raised it is heard), in the order the events happened, so a slow procedure
// never holds up the sound output.

#include "platform/audio/AudioLibrary.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace qm::audio {

class SyncDispatcher {
public:
    struct Event {
        DWORD channel = 0;
        HSYNC sync = 0;
        SYNCPROC proc;
        DWORD data = 0;
        DWORD user = 0;
        DWORD type = 0;
        std::chrono::steady_clock::time_point due{}; // the default: at once
    };

    SyncDispatcher();
    ~SyncDispatcher(); // drops what is still queued
    SyncDispatcher(const SyncDispatcher&) = delete;
    SyncDispatcher& operator=(const SyncDispatcher&) = delete;

    void post(Event event);
    // Takes back an event that has not run yet: true with it in *event.
    bool take(HSYNC sync, Event* event);
    // Takes back the channel's events due after `after`: what they announce
    // has not been heard yet.
    std::vector<Event> takeDueAfter(DWORD channel, std::chrono::steady_clock::time_point after);
    // After this returns no procedure of the channel runs or will run (unless
    // called from a procedure itself, which is then allowed to finish).
    void cancel(DWORD channel);
    bool onDispatcherThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Event> m_queue;
    DWORD m_running = 0; // channel whose procedure runs now
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace qm::audio
