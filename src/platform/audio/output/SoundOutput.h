#pragma once
// Where played audio goes: a device that accepts 16-bit stereo PCM at the CD
// rate, holds a short queue of it and plays it at its own pace.

#include "platform/audio/AudioLibrary.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qm::audio {

constexpr unsigned kOutputRate = kCdRate;
constexpr unsigned kOutputChannels = 2;
constexpr unsigned kFrameBytes = 4;

class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Takes up to writableFrames() frames; a device without a queue of its
    // own blocks until they are heard. False once the device is gone.
    virtual bool write(const std::int16_t* frames, std::size_t count) = 0;
    // Frames taken but not heard yet.
    virtual std::size_t latencyFrames() = 0;
    // Frames write() takes now.
    virtual std::size_t writableFrames() { return blockFrames(); }
    // How many frames the feeding thread hands over at a time.
    virtual std::size_t blockFrames() const { return 4096; } // about 93 ms
    // How long the feeder may sleep before the device wants more.
    virtual int sleepMs() { return 0; }
    // Waits until there may be room, interrupt() is called or `timeoutMs`
    // passed; false once the device is gone.
    virtual bool waitWritable(int /*timeoutMs*/) { return true; }
    // Any thread: ends a waitWritable() early.
    virtual void interrupt() {}
    // The feeding thread, between writes: handles what the device has to say.
    virtual void service() {}
    // The feeding thread, when it has nothing to write: a device that has
    // played everything may let the sound server rest.
    virtual void idle() {}
    // How many times faster than real time it plays.
    virtual double speed() const { return 1.0; }
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

} // namespace qm::audio
