#include "NullOutput.h"

#include <algorithm>
#include <thread>

namespace qm::audio {

NullOutput::NullOutput(double speed) : NullOutput(speed, Timing{}) {}

NullOutput::NullOutput(double speed, Timing timing) : m_speed(speed > 0 ? speed : 1.0), m_timing(std::move(timing)) {}

NullOutput::Clock::duration NullOutput::Duration(std::uint64_t frames) const
{
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(double(frames) / (kOutputRate * m_speed)));
}

bool NullOutput::write(const std::int16_t* frames, std::size_t count)
{
    std::uint64_t total;
    {
        std::lock_guard lock(m_mutex);
        if (m_broken)
            return false;
        // A pause writes nothing: after a gap longer than a mixing turn's delay
        // the clock starts again from now, or the next writes would rush to
        // catch up and the position jump ahead.
        constexpr auto kGap = std::chrono::milliseconds(100);
        const Clock::time_point now = m_timing.now();
        if (m_frames == 0 || m_start + Duration(m_frames) + kGap < now)
            m_start = now - Duration(m_frames);
        if (m_capturing) {
            std::size_t room = m_captureLimit * kOutputChannels - m_capture.size();
            std::size_t take = std::min(room, count * kOutputChannels);
            m_capture.insert(m_capture.end(), frames, frames + take);
        }
        total = m_frames += count;
    }
    // Sleep until the last written frame would have been heard.
    m_timing.sleepUntil(m_start + Duration(total));
    return true;
}

void NullOutput::startCapture(std::size_t maxFrames)
{
    std::lock_guard lock(m_mutex);
    m_capture.clear();
    m_capture.reserve(std::min<std::size_t>(maxFrames, kOutputRate * 60) * kOutputChannels);
    m_captureLimit = maxFrames;
    m_capturing = true;
}

std::vector<std::int16_t> NullOutput::captured() const
{
    std::lock_guard lock(m_mutex);
    return m_capture;
}

std::uint64_t NullOutput::framesWritten() const
{
    std::lock_guard lock(m_mutex);
    return m_frames;
}

void NullOutput::breakDevice()
{
    std::lock_guard lock(m_mutex);
    m_broken = true;
}

} // namespace qm::audio
