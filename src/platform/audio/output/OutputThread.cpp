#include "OutputThread.h"

#include <chrono>
#include <vector>

namespace qm::audio {

OutputThread::OutputThread(SoundOutput& output, MixProc mix, std::function<void()> onLost)
    : m_output(output), m_mix(std::move(mix)), m_onLost(std::move(onLost))
{
    m_thread = std::thread([this] { run(); });
}

OutputThread::~OutputThread()
{
    stop();
}

void OutputThread::wake()
{
    std::lock_guard lock(m_mutex);
    m_woken = true;
    m_cv.notify_one();
}

void OutputThread::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_cv.notify_one();
    }
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void OutputThread::run()
{
    const std::size_t frames = m_output.blockFrames();
    std::vector<std::int16_t> block(frames * kOutputChannels);
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                return;
        }
        m_output.service();
        if (m_mix(block.data(), frames)) {
            if (!m_output.write(block.data(), frames)) {
                m_lost = true;
                if (m_onLost)
                    m_onLost();
                return;
            }
            continue;
        }
        // Idle: sleep until something starts, checking now and then.
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::milliseconds(20), [this] { return m_stop || m_woken; });
        m_woken = false;
    }
}

} // namespace qm::audio
