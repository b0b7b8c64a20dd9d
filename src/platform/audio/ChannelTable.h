#pragma once
// The engine's handle table. Handles come from one process-wide sequence
// shared by every kind of handle the engine gives out, so a handle of one
// kind never names an object of another, and a freed handle is never reused.
// Thread-safe: the output and read-ahead threads look channels up too; a
// channel freed while another thread uses it lives until that use ends.

#include "Channel.h"

#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace qm::audio {

// The next handle of the shared sequence; never 0.
DWORD NextHandle();

class ChannelTable {
public:
    DWORD add(std::shared_ptr<Channel> channel);
    std::shared_ptr<Channel> find(DWORD handle) const; // nullptr when unknown
    bool remove(DWORD handle);                         // false when unknown
    // Drops auto-free channels that have ended and are no longer in use.
    void reapFinished();
    void clear();
    std::size_t size() const;
    std::vector<std::pair<DWORD, std::shared_ptr<Channel>>> snapshot() const;

private:
    mutable std::mutex m_mutex;
    std::map<DWORD, std::shared_ptr<Channel>> m_channels;
};

} // namespace qm::audio
