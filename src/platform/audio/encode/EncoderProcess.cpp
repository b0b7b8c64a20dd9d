#include "EncoderProcess.h"

#include "CommandLine.h"
#include "platform/audio/AudioLibrary.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace qm::audio {

std::array<std::uint8_t, 44> WavHeader(std::uint32_t dataBytes)
{
    std::array<std::uint8_t, 44> h{};
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h[at + i] = std::uint8_t(v >> (8 * i));
    };
    auto put16 = [&](std::size_t at, std::uint16_t v) {
        h[at] = std::uint8_t(v);
        h[at + 1] = std::uint8_t(v >> 8);
    };
    std::memcpy(h.data(), "RIFF", 4);
    put32(4, dataBytes == 0xFFFFFFFFu || dataBytes > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu : dataBytes + 36);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);         // PCM
    put16(22, 2);         // channels
    put32(24, 44100);     // frames per second
    put32(28, 44100 * 4); // bytes per second
    put16(32, 4);         // bytes per frame
    put16(34, 16);        // bits per sample
    std::memcpy(h.data() + 36, "data", 4);
    put32(40, dataBytes);
    return h;
}

std::unique_ptr<EncoderProcess> EncoderProcess::Start(const std::string& commandLine,
                                                      const std::string& resourceFolder, int* error)
{
    auto failed = [&](int code) {
        if (error)
            *error = code;
        return nullptr;
    };
    std::vector<std::string> args;
    if (!SplitCommandLine(commandLine, &args))
        return failed(BASS_ERROR_ILLPARAM);
    const char* pathEnv = std::getenv("PATH");
    std::string program = FindProgram(args[0], resourceFolder, pathEnv ? pathEnv : "/usr/local/bin:/usr/bin:/bin");
    if (program.empty())
        return failed(BASS_ERROR_FILEOPEN);

    int in[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0)
        return failed(BASS_ERROR_FILEOPEN);
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return failed(BASS_ERROR_FILEOPEN);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    // We ignore SIGPIPE; the encoder gets the usual behaviour back.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(in[0]);
    ::close(err[1]);
    if (rc != 0) {
        ::close(in[1]);
        ::close(err[0]);
        return failed(BASS_ERROR_FILEOPEN);
    }
    std::unique_ptr<EncoderProcess> p(new EncoderProcess);
    // A larger pipe lets whole blocks through with fewer switches to the encoder.
    ::fcntl(in[1], F_SETPIPE_SZ, 1 << 20);
    p->m_pid = pid;
    p->m_stdin = in[1];
    p->m_status.started = true;
    int errFd = err[0];
    p->m_drain = std::thread([raw = p.get(), errFd] { raw->drainStderr(errFd); });
    return p;
}

void EncoderProcess::drainStderr(int fd)
{
    constexpr std::size_t kKeep = 4096;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        std::lock_guard lock(m_mutex);
        m_stderrTail.append(buf, std::size_t(n));
        if (m_stderrTail.size() > kKeep)
            m_stderrTail.erase(0, m_stderrTail.size() - kKeep);
    }
    ::close(fd);
}

EncoderProcess::~EncoderProcess()
{
    finish();
}

bool EncoderProcess::write(const void* data, std::size_t bytes)
{
    auto* p = static_cast<const char*>(data);
    while (bytes > 0 && m_stdin >= 0) {
        ssize_t n = ::write(m_stdin, p, bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) { // EPIPE: the encoder is gone
            ::close(m_stdin);
            m_stdin = -1;
            return false;
        }
        p += n;
        bytes -= std::size_t(n);
    }
    return m_stdin >= 0;
}

void EncoderProcess::finish()
{
    if (m_stdin >= 0) {
        ::close(m_stdin);
        m_stdin = -1;
    }
    if (m_pid > 0) {
        // An encoder gets a generous while to complete its file after its
        // input ends; one that hangs beyond it is killed rather than hang us.
        int status = 0;
        pid_t r = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while ((r = ::waitpid(m_pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
            ::usleep(2000);
        if (r == 0) {
            ::kill(m_pid, SIGKILL);
            r = ::waitpid(m_pid, &status, 0);
        }
        std::lock_guard lock(m_mutex);
        m_status.finished = true;
        if (r == m_pid && WIFEXITED(status))
            m_status.exitCode = WEXITSTATUS(status);
        else if (r == m_pid && WIFSIGNALED(status))
            m_status.signal = WTERMSIG(status);
        m_pid = -1;
    }
    if (m_drain.joinable())
        m_drain.join();
}

EncoderProcess::Status EncoderProcess::status() const
{
    std::lock_guard lock(m_mutex);
    return m_status;
}

std::string EncoderProcess::errorOutput() const
{
    std::lock_guard lock(m_mutex);
    return m_stderrTail;
}

} // namespace qm::audio
