#pragma once
// The library calls sync procedures on its own thread, and may do so while
// the player is being destroyed. Procedures reach the player only through the
// gate, which the player closes (under the lock) before it goes away.

#include <memory>
#include <mutex>

namespace qm {

class Player;

struct SyncGate {
    std::mutex mutex;
    Player* window = nullptr;
};

// Held by the player as its last member, so it closes the gate first.
class SyncGateHolder {
public:
    explicit SyncGateHolder(Player* window) : m_gate(std::make_shared<SyncGate>()) { m_gate->window = window; }
    ~SyncGateHolder()
    {
        std::lock_guard lock(m_gate->mutex);
        m_gate->window = nullptr;
    }
    SyncGateHolder(const SyncGateHolder&) = delete;
    SyncGateHolder& operator=(const SyncGateHolder&) = delete;

    std::shared_ptr<SyncGate> gate() const { return m_gate; }

private:
    std::shared_ptr<SyncGate> m_gate;
};

} // namespace qm
