#include "EncoderProcess.h"

#include "CommandLine.h"
#include "platform/audio/AudioLibrary.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
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
    put32(24, kCdRate);           // frames per second
    put32(28, kCdBytesPerSecond); // bytes per second
    put16(32, 4);         // bytes per frame
    put16(34, 16);        // bits per sample
    std::memcpy(h.data() + 36, "data", 4);
    put32(40, dataBytes);
    return h;
}

namespace {

void closeBoth(int fds[2])
{
    ::close(fds[0]);
    ::close(fds[1]);
}

void setNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

} // namespace

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
        closeBoth(in);
        return failed(BASS_ERROR_FILEOPEN);
    }
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        closeBoth(in);
        closeBoth(err);
        return failed(BASS_ERROR_FILEOPEN);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    // Nothing of ours beyond the three: not a drive or image a library opened
    // without close-on-exec, nor another encoder's pipe.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // A group of its own, so a terminal's Ctrl-C reaches only us and we end
    // it our way; the signals we ignore or catch get their usual behaviour.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&defaults, s);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(in[0]);
    ::close(err[1]);
    if (rc != 0) {
        ::close(in[1]);
        ::close(err[0]);
        ::close(wake);
        return failed(BASS_ERROR_FILEOPEN);
    }
    std::unique_ptr<EncoderProcess> p(new EncoderProcess);
    // A larger pipe lets whole blocks through with fewer switches to the encoder.
    ::fcntl(in[1], F_SETPIPE_SZ, 1 << 20);
    setNonBlocking(in[1]);
    setNonBlocking(err[0]);
    p->m_pid = pid;
    p->m_stdin = in[1];
    p->m_wake = wake;
    p->m_status.started = true;
    const int errFd = err[0];
    p->m_drain = std::thread([raw = p.get(), errFd] { raw->drainStderr(errFd); });
    return p;
}

void EncoderProcess::drainStderr(int fd)
{
    constexpr std::size_t kKeep = 4096;
    char buf[4096];
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_wake, POLLIN, 0}};
    for (bool done = false; !done;) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        // Once it has ended, what is there is taken and no more is waited
        // for: something it started may hold its stderr open for ever.
        done = fds[1].revents != 0;
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0)
                done = true;
            if (n <= 0)
                break;
            std::lock_guard lock(m_mutex);
            m_stderrTail.append(buf, std::size_t(n));
            if (m_stderrTail.size() > kKeep)
                m_stderrTail.erase(0, m_stderrTail.size() - kKeep);
        }
    }
    ::close(fd);
}

EncoderProcess::~EncoderProcess()
{
    finish();
    if (m_wake >= 0)
        ::close(m_wake);
}

void EncoderProcess::closeInput()
{
    m_queue.clear();
    m_queueStart = 0;
    m_endPending = false;
    if (m_stdin >= 0) {
        ::close(m_stdin);
        m_stdin = -1;
    }
}

bool EncoderProcess::writeQueued()
{
    while (m_stdin >= 0 && m_queueStart < m_queue.size()) {
        const ssize_t n = ::write(m_stdin, m_queue.data() + m_queueStart, m_queue.size() - m_queueStart);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        if (n <= 0) { // EPIPE: it is gone
            closeInput();
            return false;
        }
        m_queueStart += std::size_t(n);
    }
    if (m_queueStart == m_queue.size()) {
        m_queue.clear();
        m_queueStart = 0;
        if (m_endPending)
            closeInput();
    } else if (m_queueStart > m_queue.size() / 2) {
        m_queue.erase(0, m_queueStart);
        m_queueStart = 0;
    }
    return true;
}

bool EncoderProcess::write(const void* data, std::size_t bytes)
{
    if (m_stdin < 0 || m_endPending)
        return false;
    m_queue.append(static_cast<const char*>(data), bytes);
    return writeQueued() && m_stdin >= 0;
}

bool EncoderProcess::flush(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        writeQueued();
        if (m_queue.empty() || m_stdin < 0)
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{m_stdin, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(left)) > 0 && (p.revents & (POLLERR | POLLHUP))) {
            closeInput(); // nobody reads it any more
            return true;
        }
    }
}

void EncoderProcess::endInput(bool dropQueued)
{
    if (dropQueued || m_queue.empty())
        closeInput();
    else
        m_endPending = true;
}

bool EncoderProcess::reap(bool wait)
{
    if (m_pid <= 0)
        return true;
    siginfo_t info{};
    // Looked at without reaping first: while it is unreaped its group stays
    // its own, so what it left running there can be ended safely.
    int rc = 0;
    do
        rc = ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT | (wait ? 0 : WNOHANG));
    while (rc != 0 && errno == EINTR);
    if (rc == 0 && info.si_pid != m_pid)
        return false; // still running
    ::kill(-m_pid, SIGKILL);
    int status = 0;
    const pid_t r = ::waitpid(m_pid, &status, 0);
    {
        std::lock_guard lock(m_mutex);
        m_status.finished = true;
        if (r == m_pid && WIFEXITED(status))
            m_status.exitCode = WEXITSTATUS(status);
        else if (r == m_pid && WIFSIGNALED(status))
            m_status.signal = WTERMSIG(status);
    }
    m_pid = -1;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
    if (m_drain.joinable())
        m_drain.join();
    return true;
}

void EncoderProcess::finish(std::chrono::milliseconds grace)
{
    const auto deadline = Clock::now() + grace;
    while (!flush(std::chrono::milliseconds(100)) && Clock::now() < deadline) {
    }
    closeInput();
    while (!reap(false) && Clock::now() < deadline)
        ::usleep(2000);
    kill();
}

void EncoderProcess::kill()
{
    closeInput();
    if (m_pid > 0)
        ::kill(-m_pid, SIGKILL);
    reap(true);
}

EncoderProcess::Status EncoderProcess::status()
{
    writeQueued(); // what it can take now: a look also moves the queue on
    reap(false);
    std::lock_guard lock(m_mutex);
    Status s = m_status;
    s.queued = m_queue.size() - m_queueStart;
    return s;
}

std::string EncoderProcess::errorOutput() const
{
    std::lock_guard lock(m_mutex);
    return m_stderrTail;
}

} // namespace qm::audio
