#pragma once
// The thread that feeds a sound output: it asks a mix procedure for the next
// block and writes it, so the output's own pace drives playback.

#include "SoundOutput.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace qm::audio {

class OutputThread {
public:
    // Fills `frames` frames of interleaved stereo; false when nothing plays,
    // and the block is then not written.
    using MixProc = std::function<bool(std::int16_t* out, std::size_t frames)>;

    // onLost runs once on the output thread when the device fails a write.
    OutputThread(SoundOutput& output, MixProc mix, std::function<void()> onLost);
    ~OutputThread();
    OutputThread(const OutputThread&) = delete;
    OutputThread& operator=(const OutputThread&) = delete;

    void wake(); // something may play now
    void stop(); // joins; safe to call twice
    bool lost() const { return m_lost; }

private:
    void run();

    SoundOutput& m_output;
    MixProc m_mix;
    std::function<void()> m_onLost;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stop = false;
    bool m_woken = false;
    std::atomic<bool> m_lost{false};
    std::thread m_thread;
};

} // namespace qm::audio
