#pragma once
// The library calls sync procedures on its own thread, and may do so while
// the window is being destroyed. Procedures reach the window only through the
// gate, which the window closes (under the lock) before it goes away.

#include <memory>
#include <mutex>

namespace qm {

class frmMain;

struct SyncGate {
    std::mutex mutex;
    frmMain* window = nullptr;
};

// Held by the window as its last member, so it closes the gate first.
class SyncGateHolder {
public:
    explicit SyncGateHolder(frmMain* window) : m_gate(std::make_shared<SyncGate>()) { m_gate->window = window; }
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
