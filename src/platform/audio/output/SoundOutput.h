#pragma once
// Where played audio goes: a device that accepts 16-bit stereo PCM at the CD
// rate and paces the caller at its own rate.

#include "platform/audio/AudioLibrary.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qm::audio {

constexpr unsigned kOutputRate = kCdRate;
constexpr unsigned kOutputChannels = 2;
constexpr unsigned kFrameBytes = 4;

class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Blocks until the frames are accepted. False once the device is gone.
    virtual bool write(const std::int16_t* frames, std::size_t count) = 0;
    // Frames accepted but not heard yet.
    virtual std::size_t latencyFrames() = 0;
    // Drops what is queued but not heard yet. Any thread; it takes effect by
    // the next write or service() on the feeding thread.
    virtual void flush() = 0;
    // The feeding thread, between writes: handles what the device has to say.
    virtual void service() {}
    // The feeding thread, when it has nothing to write: a device that has
    // played everything may let the sound server rest.
    virtual void idle() {}
    // How many frames the feeding thread hands over at a time.
    virtual std::size_t blockFrames() const { return 4096; } // about 93 ms

    // A device that keeps a long queue lets the feeding thread ask how much
    // it takes now, wait for room, and replace what it queued but nobody has
    // heard yet, so changes are heard at once although the queue is long.
    // Frames that can be written now without waiting.
    virtual std::size_t writableFrames() { return blockFrames(); }
    // The most frames the device ever holds unheard (taken at once or in
    // turns), which is the most a replacement covers.
    virtual std::size_t maxWritableFrames() const { return blockFrames(); }
    // Waits until room may have changed or interrupt() is called, or only a
    // moment when `briefly`; false once the device is gone.
    virtual bool waitWritable(bool /*briefly*/) { return true; }
    // Any thread: ends a waitWritable() early.
    virtual void interrupt() {}
    // Writes `count` frames over the last `replaced` frames written; false
    // once the device is gone or when it cannot replace queued audio.
    virtual bool rewrite(const std::int16_t*, std::size_t, std::size_t) { return false; }
    // Asks the device where it plays now, so the next latencyFrames() is
    // exact rather than carried forward from an older answer; false once the
    // device is gone.
    virtual bool refreshLatency() { return true; }
    // Frames just ahead of what is heard that are left as they are: the
    // device may already be playing them.
    virtual std::size_t rewriteGuardFrames() const { return 0; }
    // Flushes carried out so far (feeding thread): what was queued before a
    // flush cannot be replaced.
    virtual std::uint64_t flushesDone() const { return 0; }
};

// Which output the engine opens, settled once at start-up rather than read
// from the process's environment by the engine's threads.
struct OutputChoice {
    // Empty or "pulse": PulseAudio; "null": a silent output in real time;
    // "null:fast": a silent output many times faster.
    std::string kind{};
    // Empty: libpulse's own choice (PULSE_SERVER, PULSE_SINK, its client.conf).
    std::string pulseServer{};
    std::string pulseSink{};
};

// Null with a reason in *error when the output cannot open (or is unknown).
std::unique_ptr<SoundOutput> OpenSoundOutput(const OutputChoice& choice, std::string* error);

} // namespace qm::audio
