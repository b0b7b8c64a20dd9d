#pragma once
// A silent output paced by the clock, optionally faster than real time, that
// can keep what it was given so tests can inspect the mix.

#include "SoundOutput.h"

#include <chrono>
#include <mutex>
#include <vector>

namespace qm::audio {

class NullOutput : public SoundOutput {
public:
    explicit NullOutput(double speed = 1.0);

    bool write(const std::int16_t* frames, std::size_t count) override;
    std::size_t latencyFrames() override { return 0; }
    void flush() override {}

    // Keep up to maxFrames of what is written from now on.
    void startCapture(std::size_t maxFrames);
    std::vector<std::int16_t> captured() const; // interleaved samples
    std::uint64_t framesWritten() const;
    // Make later writes fail, as a sound server that went away would.
    void breakDevice();

private:
    using Clock = std::chrono::steady_clock;
    double m_speed;
    Clock::time_point m_start{};
    mutable std::mutex m_mutex;
    std::uint64_t m_frames = 0;
    bool m_broken = false;
    bool m_capturing = false;
    std::size_t m_captureLimit = 0;
    std::vector<std::int16_t> m_capture;
};

} // namespace qm::audio
