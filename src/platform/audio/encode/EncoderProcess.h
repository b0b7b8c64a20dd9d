#pragma once
// An external encoder run as a child process in a process group of its own:
// PCM goes to its standard input after a WAV header, queued and written only
// as fast as it reads, so a stalled encoder never blocks the caller; its
// standard error is drained so that it can never block the encoder.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

namespace qm::audio {

// The 44-byte header of 16-bit stereo 44100 Hz PCM with dataBytes of data;
// 0xFFFFFFFF when the length is not known.
std::array<std::uint8_t, 44> WavHeader(std::uint32_t dataBytes);

class EncoderProcess {
public:
    struct Status {
        bool started = false;
        bool finished = false; // it has ended and was waited for
        int exitCode = -1;
        int signal = 0;
        std::size_t queued = 0; // bytes written to us that it has not read yet
    };
    using Clock = std::chrono::steady_clock;

    // Null with an audio-library code in *error: 20 the command line is
    // malformed, 2 the program cannot be found or started.
    static std::unique_ptr<EncoderProcess> Start(const std::string& commandLine,
                                                 const std::string& resourceFolder, int* error);
    ~EncoderProcess(); // finishes
    EncoderProcess(const EncoderProcess&) = delete;
    EncoderProcess& operator=(const EncoderProcess&) = delete;

    // Queues the bytes and writes what its input takes now, without waiting.
    // False once the encoder stopped reading (it ended or closed its input).
    bool write(const void* data, std::size_t bytes);
    // Writes what is queued, waiting up to `timeout` for it to read; true
    // once nothing is queued (also when it stopped reading).
    bool flush(std::chrono::milliseconds timeout);
    // Ends its input: at once, dropping what is queued, or once the queue is
    // written.
    void endInput(bool dropQueued);
    // Writes what is queued and ends its input, then waits for it to end;
    // one that is still running after `grace` is killed.
    void finish(std::chrono::milliseconds grace = std::chrono::seconds(30));
    // Ends it, and whatever it started, at once.
    void kill();
    bool alive() const { return m_stdin >= 0; }
    // Writes what it takes now and looks whether it has ended, without
    // waiting, before answering.
    Status status();
    std::string errorOutput() const; // the last few kilobytes of its stderr

private:
    EncoderProcess() = default;
    bool writeQueued(); // what the pipe takes now; false when it is gone
    void closeInput();
    bool reap(bool wait);
    void drainStderr(int fd);

    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_wake = -1; // tells the stderr thread to take what is there and end
    std::string m_queue;
    std::size_t m_queueStart = 0;
    bool m_endPending = false;
    std::thread m_drain;
    mutable std::mutex m_mutex;
    Status m_status;
    std::string m_stderrTail;
};

} // namespace qm::audio
