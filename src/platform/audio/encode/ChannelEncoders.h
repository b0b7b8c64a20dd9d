#pragma once
// External encoders attached to the engine's channels: each block a channel
// delivers goes on to its encoder, queued when it does not keep up. How an
// encoder ended is kept after it is stopped, so the caller can tell a
// finished file from a failed one.

#include "EncoderProcess.h"
#include "platform/audio/AudioLibrary.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace qm::audio {

class ChannelEncoders {
public:
    ~ChannelEncoders(); // stops what still runs

    // Starts `commandLine` and sends it the WAV header for `dataBytes` of PCM.
    // 0 with a code in `error`: 14 the channel already has an encoder, 20 a
    // malformed command line, 2 the program cannot be found or started.
    HENCODE start(DWORD channel, const std::string& commandLine, const std::string& resourceFolder,
                  std::uint32_t dataBytes, int& error);
    // Hands a delivered block to the channel's encoder, if it has one.
    void feed(DWORD channel, const void* data, std::size_t bytes);
    // False when the channel has no running encoder.
    bool flush(DWORD channel, DWORD ms, bool& empty);
    bool endInput(DWORD channel, bool dropQueued);
    bool kill(DWORD channel);
    // Writes what is queued, closes the encoder's input and waits for it;
    // false when none runs.
    bool stop(DWORD channel);
    bool status(DWORD channel, QM_ENCODE_STATUS& status) const; // false: never had one
    void stopAll();

private:
    // Writes and the final close of one encoder never overlap.
    struct Running {
        std::mutex io;
        std::unique_ptr<EncoderProcess> process;
    };
    std::shared_ptr<Running> live(DWORD channel) const;

    mutable std::mutex m_mutex;
    std::map<DWORD, std::shared_ptr<Running>> m_running;
    std::map<DWORD, QM_ENCODE_STATUS> m_ended;
};

} // namespace qm::audio
