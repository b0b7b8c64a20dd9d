#pragma once
// The default PulseAudio sink (also PipeWire's pulse server), through the
// asynchronous client API. Its event loop runs on the thread that feeds it,
// so a block costs no hand-over between threads; other threads only ask for
// a flush, through an event descriptor the loop watches.

#include "SoundOutput.h"

#include <atomic>

struct pa_mainloop;
struct pa_io_event;
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
    void flush() override; // any thread
    void service() override;
    std::size_t blockFrames() const override { return kBlockFrames; }

private:
    PulseOutput() = default;
    bool usable() const;
    bool connect(std::string* error);
    bool waitFor(bool (*ready)(PulseOutput&)); // runs the loop until ready; false when it broke
    void applyFlushes();

    // Used by the feeding thread only (and by whoever opens and closes).
    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    pa_io_event* m_wakeEvent = nullptr;
    bool m_failed = false;
    std::uint64_t m_flushesDone = 0; // a write in progress stops when this changes
    std::size_t m_unplayed = 0;      // frames written before timing was known

    int m_wakeFd = -1; // eventfd: flush requests reach the loop
    std::atomic<std::uint64_t> m_flushesAsked{0};
};

} // namespace qm::audio
