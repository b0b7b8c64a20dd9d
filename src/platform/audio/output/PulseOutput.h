#pragma once
// The default PulseAudio sink (also PipeWire's pulse server), through the
// asynchronous client API on its own event thread.

#include "SoundOutput.h"

#include <atomic>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace qm::audio {

class PulseOutput : public SoundOutput {
public:
    // Null with the server's reason in *error when no server can be reached.
    static std::unique_ptr<PulseOutput> Open(std::string* error);
    static constexpr std::size_t kBlockFrames = 11025; // a quarter of a second
    ~PulseOutput() override;
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    bool write(const std::int16_t* frames, std::size_t count) override;
    std::size_t latencyFrames() override;
    void flush() override;
    std::size_t blockFrames() const override { return kBlockFrames; }

private:
    PulseOutput() = default;
    bool usable() const; // with the event thread locked
    bool connect(std::string* error);

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    // Guarded by the event thread's lock; atomic as well because that lock
    // lives in libpulse, where the race checker does not look.
    std::atomic<bool> m_failed{false};
    std::atomic<std::uint64_t> m_flushes{0}; // a write in progress stops when this changes
    std::atomic<std::size_t> m_unplayed{0};  // frames written before timing was known
};

} // namespace qm::audio
