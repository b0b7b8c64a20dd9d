#pragma once
// An external encoder run as a child process: PCM goes to its standard input
// after a WAV header; its standard error is drained so it can never block.

#include <array>
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
        bool finished = false;
        int exitCode = -1;
        int signal = 0;
    };

    // Null with an audio-library code in *error: 20 the command line is
    // malformed, 2 the program cannot be found or started.
    static std::unique_ptr<EncoderProcess> Start(const std::string& commandLine,
                                                 const std::string& resourceFolder, int* error);
    ~EncoderProcess(); // finishes
    EncoderProcess(const EncoderProcess&) = delete;
    EncoderProcess& operator=(const EncoderProcess&) = delete;

    // False once the encoder stopped reading (it ended or closed its input).
    bool write(const void* data, std::size_t bytes);
    // Closes its input and waits for it to end.
    void finish();
    bool alive() const { return m_stdin >= 0; }
    Status status() const;
    std::string errorOutput() const; // the last few kilobytes of its stderr

private:
    EncoderProcess() = default;
    void drainStderr(int fd);

    pid_t m_pid = -1;
    int m_stdin = -1;
    std::thread m_drain;
    mutable std::mutex m_mutex;
    Status m_status;
    std::string m_stderrTail;
};

} // namespace qm::audio
