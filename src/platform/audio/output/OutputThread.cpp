#include "OutputThread.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace qm::audio {

void OutputClock::set(std::uint64_t written, std::size_t queued)
{
    std::lock_guard lock(m_mutex);
    m_written = written;
    m_queued = std::min<std::uint64_t>(queued, written);
    m_at = Clock::now();
}

std::uint64_t OutputClock::heard() const
{
    std::lock_guard lock(m_mutex);
    const double seconds = std::chrono::duration<double>(Clock::now() - m_at).count();
    const auto played = std::uint64_t(std::max(0.0, seconds) * kOutputRate * m_speed);
    const std::uint64_t heard = m_written - (m_queued > played ? m_queued - played : 0);
    // A fresh answer from the device may say a little less than was reckoned.
    m_heard = std::clamp(heard, m_heard, m_written);
    return m_heard;
}

OutputThread::OutputThread(SoundOutput& output, Source& source, std::function<void()> onLost)
    : m_output(output), m_source(source), m_onLost(std::move(onLost)), m_clock(output.speed())
{
    m_thread = std::thread([this] { run(); });
}

OutputThread::~OutputThread()
{
    stop();
}

void OutputThread::wake()
{
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_cv.notify_all();
    m_output.interrupt(); // also a thread waiting for room in the device
}

void OutputThread::cancel(DWORD channel)
{
    std::unique_lock lock(m_mutex);
    std::erase_if(m_events, [channel](const SyncEvent& e) { return e.channel == channel; });
    if (!onThread())
        m_cv.wait(lock, [&] { return m_running != channel; });
}

void OutputThread::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    // Once joined the output may be gone: it is not touched again.
    if (!m_thread.joinable() || onThread())
        return;
    m_output.interrupt();
    m_thread.join();
}

void OutputThread::queue(std::vector<SyncEvent>& events)
{
    std::lock_guard lock(m_mutex);
    for (SyncEvent& e : events) {
        auto at = std::upper_bound(m_events.begin(), m_events.end(), e.at,
                                   [](std::uint64_t due, const SyncEvent& q) { return due < q.at; });
        m_events.insert(at, std::move(e));
    }
    events.clear();
}

int OutputThread::fireDue()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_events.empty() || m_stop)
            return -1;
        const std::uint64_t heard = m_clock.heard();
        if (m_events.front().at > heard) {
            const double frames = double(m_events.front().at - heard);
            return int(std::ceil(frames * 1000 / (kOutputRate * m_output.speed())));
        }
        SyncEvent e = std::move(m_events.front());
        m_events.pop_front();
        m_running = e.channel;
        lock.unlock();
        if (e.proc)
            e.proc(e.sync, e.channel, e.data, e.user);
        lock.lock();
        m_running = 0;
        m_cv.notify_all();
    }
}

void OutputThread::run()
{
    const std::size_t blockFrames = m_output.blockFrames();
    std::vector<std::int16_t> block(blockFrames * kOutputChannels);
    std::vector<SyncEvent> raised;
    std::uint64_t written = 0;
    bool wrote = false; // and the device was serviced then
    auto lose = [this] {
        m_lost = true;
        if (m_onLost)
            m_onLost();
    };
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                return;
            m_woken = false;
        }
        if (!std::exchange(wrote, false))
            m_output.service();
        const int due = fireDue();
        const std::size_t room = std::min(m_output.writableFrames(), blockFrames);
        if (room < blockFrames / 2) {
            // Woken by the device, a start, or the next procedure's time.
            if (const int ms = m_output.sleepMs(); ms > 0) {
                std::unique_lock lock(m_mutex);
                m_cv.wait_for(lock, std::chrono::milliseconds(due >= 0 ? std::min(due, ms) : ms),
                              [this] { return m_stop || m_woken; });
            } else if (!m_output.waitWritable(due)) {
                return lose();
            }
            continue;
        }
        const std::size_t frames = m_source.mix(block.data(), room, written, raised);
        const bool announced = !raised.empty();
        queue(raised);
        if (frames > 0) {
            // Before a write that blocks until heard, too, the block counts as queued.
            m_clock.set(written + frames, m_output.latencyFrames() + frames);
            if (!m_output.write(block.data(), frames))
                return lose();
            written += frames;
            m_clock.set(written, m_output.latencyFrames());
            wrote = true;
            continue;
        }
        if (announced)
            continue; // a stream's end: its procedures are due now
        // Idle: sleep until something starts or a procedure is due, looking
        // at the device now and then.
        m_output.idle();
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::milliseconds(due >= 0 ? std::min(due, 500) : 500),
                      [this] { return m_stop || m_woken; });
    }
}

} // namespace qm::audio
