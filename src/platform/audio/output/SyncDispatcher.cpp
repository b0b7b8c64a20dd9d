#include "SyncDispatcher.h"

#include <algorithm>

namespace qm::audio {

SyncDispatcher::SyncDispatcher()
{
    m_thread = std::thread([this] { run(); });
}

SyncDispatcher::~SyncDispatcher()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_cv.notify_all();
    if (m_thread.joinable() && !onDispatcherThread())
        m_thread.join();
    else if (m_thread.joinable())
        m_thread.detach();
}

void SyncDispatcher::post(Event event)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stop)
            return;
        // Events come nearly in order; one due earlier than those queued
        // (an end announced ahead) goes before them.
        auto at = std::upper_bound(m_queue.begin(), m_queue.end(), event.due,
                                   [](auto due, const Event& e) { return due < e.due; });
        m_queue.insert(at, std::move(event));
    }
    m_cv.notify_all();
}

bool SyncDispatcher::take(HSYNC sync, Event* event)
{
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_queue.begin(), m_queue.end(), [sync](const Event& e) { return e.sync == sync; });
    if (it == m_queue.end())
        return false;
    *event = std::move(*it);
    m_queue.erase(it);
    return true;
}

std::vector<SyncDispatcher::Event> SyncDispatcher::takeDueAfter(DWORD channel,
                                                                std::chrono::steady_clock::time_point after)
{
    std::lock_guard lock(m_mutex);
    std::vector<Event> taken;
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        if (it->channel == channel && it->due > after) {
            taken.push_back(std::move(*it));
            it = m_queue.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

void SyncDispatcher::cancel(DWORD channel)
{
    std::unique_lock lock(m_mutex);
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                 [channel](const Event& e) { return e.channel == channel; }),
                  m_queue.end());
    if (!onDispatcherThread())
        m_cv.wait(lock, [&] { return m_running != channel; });
}

void SyncDispatcher::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop)
            return;
        const auto due = m_queue.front().due;
        if (due > std::chrono::steady_clock::now()) {
            // A post or take may change what comes first: look again then.
            m_cv.wait_until(lock, due);
            continue;
        }
        Event e = std::move(m_queue.front());
        m_queue.pop_front();
        m_running = e.channel;
        lock.unlock();
        if (e.proc)
            e.proc(e.sync, e.channel, e.data, e.user);
        lock.lock();
        m_running = 0;
        m_cv.notify_all();
    }
}

} // namespace qm::audio
