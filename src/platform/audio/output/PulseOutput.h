#pragma once
// The default PulseAudio sink (also PipeWire's pulse server), through the
// asynchronous client API. Its event loop runs on the thread that feeds it,
// so a block costs no hand-over between threads; other threads only ask for
// a flush or wake it, through an event descriptor the loop watches.
//
// Two seconds are kept queued and the server asks for a second at a time.
// Changes are heard at once all the same: the feeder replaces what is queued
// but not yet heard (a write with a seek back). The sink itself is left at its
// least latency, so everything not yet heard waits in the stream's queue,
// where it can be replaced and where the server's read index is what is
// heard. (A sink asked to hold a second takes the sound in larger gulps and
// would wake the feeder less often, but what it reports is loose: the null
// sink's read index ran 0.7 s ahead of the sound, and positions with it.)

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
    static constexpr std::size_t kQueueFrames = 2 * kOutputRate;
    static constexpr std::size_t kRequestFrames = kOutputRate;
    static constexpr std::size_t kStartFrames = kOutputRate / 4; // playback starts with this much
    static constexpr std::size_t kGuardFrames = kOutputRate / 10;
    ~PulseOutput() override;
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    bool write(const std::int16_t* frames, std::size_t count) override;
    std::size_t latencyFrames() override;
    void flush() override; // any thread
    void service() override;
    std::size_t blockFrames() const override { return kRequestFrames; }
    std::size_t writableFrames() override;
    std::size_t maxWritableFrames() const override { return kQueueFrames; }
    bool waitWritable(bool briefly) override;
    void interrupt() override; // any thread
    bool rewrite(const std::int16_t* frames, std::size_t count, std::size_t replaced) override;
    bool refreshLatency() override;
    std::size_t rewriteGuardFrames() const override { return kGuardFrames; }
    std::uint64_t flushesDone() const override { return m_flushesDone; }

private:
    PulseOutput() = default;
    bool usable() const;
    bool connect(std::string* error);
    bool waitFor(bool (*ready)(PulseOutput&)); // runs the loop until ready; false when it broke
    void applyFlushes();
    bool sent(); // after a write: timing asked for and the data on its way

    // Used by the feeding thread only (and by whoever opens and closes).
    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    pa_io_event* m_wakeEvent = nullptr;
    bool m_failed = false;
    std::uint64_t m_flushesDone = 0; // a write in progress stops when this changes
    std::size_t m_unplayed = 0;      // frames written before timing was known

    int m_wakeFd = -1; // eventfd: flush requests and wake-ups reach the loop
    std::atomic<std::uint64_t> m_flushesAsked{0};
};

} // namespace qm::audio
