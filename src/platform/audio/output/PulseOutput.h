#pragma once
// The default PulseAudio sink (also PipeWire's pulse server), through the
// asynchronous client API. Its event loop runs on the thread that feeds it,
// so a block costs no hand-over between threads; other threads only wake it.
//
// The stream keeps a quarter of a second queued, the sink's share included, so
// what is mixed is heard that soon. What waits is the stream's buffer less
// what the server asked for, and the sink's share: no timing queries while
// playing, which would wake both sides several times a block.
//
// The stream exists only while there is sound to play: once all was heard it
// goes, so the sink can rest, and the next write opens it again. (A stream
// corked meanwhile instead started up to two seconds late on an idle null
// sink when uncorked.)

#include "SoundOutput.h"

#include <pulse/sample.h>

#include <memory>

struct pa_mainloop;
struct pa_context;
struct pa_stream;

namespace qm::audio {

class PulseOutput : public SoundOutput {
public:
    // Null when no server or sink can be reached. An empty server or sink
    // leaves the choice to libpulse.
    static std::unique_ptr<PulseOutput> Open(const std::string& server, const std::string& sink);
    static constexpr std::size_t kQueueFrames = kOutputRate / 4; // heard that long after it is written
    static constexpr std::size_t kRequestFrames = kOutputRate / 40; // the server asks in steps this big
    // Between writes the feeder sleeps until at least this much is surely left in the stream.
    static constexpr std::size_t kMarginFrames = kOutputRate / 20;
    ~PulseOutput() override;
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    bool write(const std::int16_t* frames, std::size_t count) override;
    std::size_t latencyFrames() override;
    std::size_t writableFrames() override;
    std::size_t blockFrames() const override { return kQueueFrames / 2; }
    int sleepMs() override;
    bool waitWritable(int timeoutMs) override;
    void interrupt() override; // any thread
    void service() override;
    void idle() override;

private:
    PulseOutput() = default;
    bool usable() const;
    bool openStream();
    void closeStream();
    bool waitFor(bool (*ready)(PulseOutput&)); // runs the loop until ready; false when it broke
    std::size_t bufferedFrames(); // in the stream, as of the server's last request

    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    std::string m_sink;
    bool m_failed = false;
    std::size_t m_sinkFrames = 0; // what the sink holds ahead of what is heard
    pa_usec_t m_lastWrite = 0;    // when the stream was last written to
};

} // namespace qm::audio
