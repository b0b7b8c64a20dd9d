#include "NullOutput.h"

#include <algorithm>
#include <thread>

namespace qm::audio {

NullOutput::NullOutput(double speed) : m_speed(speed > 0 ? speed : 1.0) {}

bool NullOutput::write(const std::int16_t* frames, std::size_t count)
{
    std::uint64_t total;
    {
        std::lock_guard lock(m_mutex);
        if (m_broken)
            return false;
        if (m_frames == 0)
            m_start = Clock::now();
        if (m_capturing) {
            std::size_t room = m_captureLimit * kOutputChannels - m_capture.size();
            std::size_t take = std::min(room, count * kOutputChannels);
            m_capture.insert(m_capture.end(), frames, frames + take);
        }
        total = m_frames += count;
    }
    // Sleep until the last written frame would have been heard.
    auto due = m_start + std::chrono::duration_cast<Clock::duration>(
                             std::chrono::duration<double>(double(total) / (kOutputRate * m_speed)));
    std::this_thread::sleep_until(due);
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
