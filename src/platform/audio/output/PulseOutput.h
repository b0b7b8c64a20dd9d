#pragma once
// The default PulseAudio sink (also PipeWire's pulse server), through the
// asynchronous client API. Its event loop runs on the thread that feeds it,
// so a block costs no hand-over between threads; other threads only ask for
// a flush or wake it, through an event descriptor the loop watches.
//
// The stream keeps two seconds queued and the sink holds one more, taken in
// one-second gulps, so the server and this thread each wake about once a
// second. Changes are heard at once all the same: the feeder replaces what is
// queued but not yet heard with a write that seeks back, and the server takes
// back what its sink already holds (it rewinds the sink). What is heard is
// the server's read index less what the sink holds.
//
// While nothing is queued the stream is corked, so the sink can go idle, and
// a start uncorks it after the first block: the sink then starts from that
// block, and what it reports is what is heard. (Left uncorked, a stream that
// ran dry restarts on a sink already running ahead, and the null sink counted
// up to a second of the new sound as heard the moment it was written.) A
// flush corks first: the cork takes back what the sink holds, the flush
// drops the rest.

#include "SoundOutput.h"

#include <atomic>
#include <pulse/sample.h>
#include <sys/time.h>

struct pa_mainloop;
struct pa_io_event;
struct pa_time_event;
struct pa_context;
struct pa_stream;
struct pa_operation;

namespace qm::audio {

class PulseOutput : public SoundOutput {
public:
    // Null with the server's reason in *error when no server can be reached.
    // An empty server or sink leaves the choice to libpulse.
    static std::unique_ptr<PulseOutput> Open(const std::string& server, const std::string& sink,
                                             std::string* error);
    static constexpr std::size_t kQueueFrames = 2 * kOutputRate;     // in the stream's queue
    static constexpr std::size_t kRequestFrames = kOutputRate / 2;   // asked for at a time
    static constexpr std::size_t kSinkFrames = kQueueFrames - 2 * kRequestFrames; // held by the sink
    static constexpr std::size_t kStartFrames = kOutputRate / 4; // playback starts with this much
    static constexpr std::size_t kGuardFrames = kOutputRate / 10;
    ~PulseOutput() override;
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    bool write(const std::int16_t* frames, std::size_t count) override;
    std::size_t latencyFrames() override;
    void flush() override; // any thread
    void service() override;
    void idle() override;
    std::size_t blockFrames() const override { return kRequestFrames; }
    std::size_t writableFrames() override;
    std::size_t maxWritableFrames() const override { return kQueueFrames + kSinkFrames; }
    bool waitWritable(bool briefly) override;
    void interrupt() override; // any thread
    bool rewrite(const std::int16_t* frames, std::size_t count, std::size_t replaced) override;
    bool refreshLatency() override;
    std::size_t rewriteGuardFrames() const override { return kGuardFrames; }
    std::uint64_t flushesDone() const override { return m_flushesDone; }

private:
    PulseOutput() = default;
    bool usable() const;
    bool connect(const std::string& server, const std::string& sink, std::string* error);
    bool waitFor(bool (*ready)(PulseOutput&)); // runs the loop until ready; false when it broke
    void applyFlushes();
    bool sent(); // after a write: timing asked for and the data on its way
    void askTiming();
    void timingAnswered(int ok);
    bool cork(bool on);                 // false when the server went away
    bool finish(pa_operation* op);      // waits for it; false when the server went away
    void forgetTiming(); // nothing written so far has been heard

    // Used by the feeding thread only (and by whoever opens and closes).
    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    pa_io_event* m_wakeEvent = nullptr;
    bool m_failed = false;
    std::uint64_t m_flushesDone = 0; // a write in progress stops when this changes
    std::size_t m_unplayed = 0;      // frames written since the sound last started (after a cork or running dry)
    pa_usec_t m_startedAt = 0;       // when it did
    bool m_corked = true;
    bool m_timingAsked = false;
    pa_time_event* m_retry = nullptr; // asks again until a start shows in the answers
    int m_retries = 0;
    // What was heard at the server's last answer while it played, and when.
    bool m_based = false;
    std::int64_t m_heardBase = 0;
    timeval m_baseTime{};
    timeval m_staleAnswer{}; // an answer from before the last flush, cork or running dry
    std::int64_t m_drainedSince = -1; // pa_rtclock_now() when all was heard; -1 while something is queued

    int m_wakeFd = -1; // eventfd: flush requests and wake-ups reach the loop
    std::atomic<std::uint64_t> m_flushesAsked{0};
};

} // namespace qm::audio
