#include "ChannelTable.h"

#include <atomic>

namespace qm::audio {

DWORD NextHandle()
{
    static std::atomic<DWORD> next{0x10000};
    DWORD h = next.fetch_add(1);
    while (h == 0)
        h = next.fetch_add(1);
    return h;
}

DWORD ChannelTable::add(std::shared_ptr<Channel> channel)
{
    const DWORD handle = NextHandle();
    std::lock_guard lock(m_mutex);
    m_channels.emplace(handle, std::move(channel));
    return handle;
}

std::shared_ptr<Channel> ChannelTable::find(DWORD handle) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_channels.find(handle);
    return it == m_channels.end() ? nullptr : it->second;
}

bool ChannelTable::remove(DWORD handle)
{
    std::shared_ptr<Channel> doomed; // destroyed outside the lock
    std::lock_guard lock(m_mutex);
    auto it = m_channels.find(handle);
    if (it == m_channels.end())
        return false;
    doomed = std::move(it->second);
    m_channels.erase(it);
    return true;
}

void ChannelTable::reapFinished()
{
    std::vector<std::shared_ptr<Channel>> doomed;
    std::lock_guard lock(m_mutex);
    for (auto it = m_channels.begin(); it != m_channels.end();) {
        if (it->second.use_count() == 1 && it->second->finished()) {
            doomed.push_back(std::move(it->second));
            it = m_channels.erase(it);
        } else {
            ++it;
        }
    }
}

void ChannelTable::clear()
{
    std::map<DWORD, std::shared_ptr<Channel>> doomed;
    std::lock_guard lock(m_mutex);
    doomed.swap(m_channels);
}

std::size_t ChannelTable::size() const
{
    std::lock_guard lock(m_mutex);
    return m_channels.size();
}

std::vector<std::pair<DWORD, std::shared_ptr<Channel>>> ChannelTable::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return {m_channels.begin(), m_channels.end()};
}

} // namespace qm::audio
