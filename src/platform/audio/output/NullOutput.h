#pragma once
// A silent output paced by the clock, optionally faster than real time, that
// can keep what it was given so tests can inspect the mix.

#include "SoundOutput.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qm::audio {

class NullOutput : public SoundOutput {
public:
    using Clock = std::chrono::steady_clock;
    // The clock it reads and how it waits; tests give their own.
    struct Timing {
        std::function<Clock::time_point()> now = [] { return Clock::now(); };
        std::function<void(Clock::time_point)> sleepUntil = [](Clock::time_point t) {
            std::this_thread::sleep_until(t);
        };
    };

    explicit NullOutput(double speed = 1.0);
    NullOutput(double speed, Timing timing);

    bool write(const std::int16_t* frames, std::size_t count) override;
    std::size_t latencyFrames() override { return 0; }
    double speed() const override { return m_speed; }

    // Keep up to maxFrames of what is written from now on.
    void startCapture(std::size_t maxFrames);
    std::vector<std::int16_t> captured() const; // interleaved samples
    std::uint64_t framesWritten() const;
    // Make later writes fail, as a sound server that went away would.
    void breakDevice();

private:
    Clock::duration Duration(std::uint64_t frames) const;

    double m_speed;
    Timing m_timing;
    Clock::time_point m_start{};
    mutable std::mutex m_mutex;
    std::uint64_t m_frames = 0;
    bool m_broken = false;
    bool m_capturing = false;
    std::size_t m_captureLimit = 0;
    std::vector<std::int16_t> m_capture;
};

} // namespace qm::audio
