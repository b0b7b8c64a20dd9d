#pragma once
// The thread that feeds a sound output: it asks its source for as much as the
// device takes and writes it, so the output's own pace drives playback. Asked
// to, it takes back what the device queued but has not played and writes it
// again, freshly mixed.

#include "SoundOutput.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace qm::audio {

class OutputThread {
public:
    class Source {
    public:
        virtual ~Source() = default;
        // Fills up to maxFrames of interleaved stereo, `queued` frames being
        // in the device ahead of them: how many it filled, 0 when nothing plays.
        virtual std::size_t mix(std::int16_t* out, std::size_t maxFrames, std::size_t queued) = 0;
        // Takes back up to maxFrames of the newest frames mixed, which the
        // next mix produces again: how many; nothing when it cannot yet.
        virtual std::optional<std::size_t> rewind(std::size_t) { return 0; }
        // The device dropped what it held: nothing mixed can be taken back.
        virtual void forget() {}
    };
    // Fills `frames` frames of interleaved stereo; false when nothing plays,
    // and the block is then not written.
    using MixProc = std::function<bool(std::int16_t* out, std::size_t frames)>;

    // onLost runs once on the output thread when the device fails a write.
    OutputThread(SoundOutput& output, Source& source, std::function<void()> onLost);
    OutputThread(SoundOutput& output, MixProc mix, std::function<void()> onLost);
    ~OutputThread();
    OutputThread(const OutputThread&) = delete;
    OutputThread& operator=(const OutputThread&) = delete;

    void wake(); // something may play now
    // What is queued no longer sounds as it should: mix it again.
    void requestRewrite();
    void stop(); // joins; safe to call twice
    bool lost() const { return m_lost; }

private:
    class ProcSource;
    void run();
    std::optional<bool> replaceQueued(std::vector<std::int16_t>& block);

    SoundOutput& m_output;
    std::unique_ptr<Source> m_ownSource;
    Source& m_source;
    std::function<void()> m_onLost;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stop = false;
    bool m_woken = false;
    std::atomic<bool> m_rewrite{false};
    std::atomic<bool> m_lost{false};
    std::thread m_thread;
};

} // namespace qm::audio
