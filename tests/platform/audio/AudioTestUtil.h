#pragma once
// Small helpers shared by the audio tests: synthetic PCM, running the FFmpeg
// tools on files the tests wrote, and reading a tone back.

#include "platform/audio/output/SoundOutput.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qm::test {

// Polls until the condition holds, at most `ms` (a deadline no healthy run
// comes near); answers whether it came true.
template <typename F>
bool WaitUntil(F condition, int ms = 30000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Interleaved 16-bit stereo at 44100 Hz: a sine on both channels.
inline std::vector<std::int16_t> SineStereo(double hz, double seconds, double amplitude = 0.5)
{
    std::size_t frames = std::size_t(seconds * 44100);
    std::vector<std::int16_t> pcm(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        auto v = std::int16_t(std::lround(amplitude * 32767 * std::sin(2 * M_PI * hz * double(i) / 44100)));
        pcm[2 * i] = pcm[2 * i + 1] = v;
    }
    return pcm;
}

// A child process with its standard output on a pipe and its standard error
// discarded. Started with posix_spawn rather than QProcess, whose way of
// forking leaves ThreadSanitizer blind to the parent's later locking.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess()
    {
        closeOutput();
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    bool start(const QString& program, const QStringList& args)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<QByteArray> words{program.toLocal8Bit()};
        for (const QString& a : args)
            words.push_back(a.toLocal8Bit());
        std::vector<char*> argv;
        for (QByteArray& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        const int rc = ::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            ::close(fds[0]);
            m_pid = -1;
            return false;
        }
        m_fd = fds[0];
        return true;
    }
    // Appends what the child writes within `ms` milliseconds; false once its
    // output has ended.
    bool read(QByteArray& into, int ms)
    {
        if (m_fd < 0)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return true;
        char buf[65536];
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n <= 0) {
            closeOutput();
            return false;
        }
        into.append(buf, qsizetype(n));
        return true;
    }
    // Reads to the end of the output, then reaps the child: its exit status,
    // or -1 when it was killed or outlived `ms` milliseconds.
    int finish(QByteArray& into, int ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end && read(into, 50)) {
        }
        if (m_fd >= 0)
            ::kill(m_pid, SIGKILL);
        int status = 0;
        if (m_pid <= 0 || ::waitpid(m_pid, &status, 0) != m_pid)
            status = -1;
        m_pid = -1;
        return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    void closeOutput()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    pid_t m_pid = -1;
    int m_fd = -1;
};

// Runs a tool and hands back its standard output; empty when it failed.
inline QByteArray RunTool(const QString& program, const QStringList& args, int timeoutMs = 60000)
{
    ChildProcess p;
    QByteArray out;
    if (!p.start(program, args) || p.finish(out, timeoutMs) != 0)
        return {};
    return out;
}

// Duration in seconds that ffprobe finds by decoding, -1 when it cannot.
inline double DecodedSeconds(const QString& file)
{
    QByteArray pcm = RunTool("ffmpeg", {"-v", "error", "-i", file, "-f", "s16le", "-ac", "2", "-ar", "44100", "-"});
    return pcm.isEmpty() ? -1.0 : double(pcm.size()) / (44100 * 4);
}

// Frequency from the rate of upward zero crossings of one channel.
inline double ToneFrequency(const std::int16_t* interleaved, std::size_t frames)
{
    int crossings = 0;
    for (std::size_t i = 1; i < frames; ++i)
        if (interleaved[2 * (i - 1)] < 0 && interleaved[2 * i] >= 0)
            ++crossings;
    return frames ? crossings * 44100.0 / double(frames) : 0.0;
}

inline double Rms(const std::int16_t* interleaved, std::size_t frames, int channel)
{
    double sum = 0;
    for (std::size_t i = 0; i < frames; ++i)
        sum += double(interleaved[2 * i + channel]) * interleaved[2 * i + channel];
    return frames ? std::sqrt(sum / double(frames)) : 0.0;
}

// The first and last frame whose left sample is louder than `threshold`;
// first > last when nothing is.
struct HeardSpan {
    std::size_t first = 1, last = 0;
    std::size_t frames() const { return first <= last ? last - first + 1 : 0; }
};
inline HeardSpan FindHeard(const std::vector<std::int16_t>& interleaved, int threshold = 1000)
{
    HeardSpan span{interleaved.size(), 0};
    for (std::size_t i = 0; i < interleaved.size() / 2; ++i)
        if (std::abs(interleaved[2 * i]) > threshold) {
            span.first = std::min(span.first, i);
            span.last = i;
        }
    return span;
}

// True when scripts/test.sh's private sound server with the null sink "qm"
// answers; the sound-server tests skip themselves otherwise.
inline bool HasTestSink()
{
    return RunTool("pactl", {"list", "short", "sinks"}, 10000).contains("qm\t");
}

// A null sink of the caller's own, named in the output's configuration, so
// tests running side by side never hear each other.
class PrivateSink {
public:
    explicit PrivateSink(const QString& prefix)
    {
        static int made = 0;
        m_name = QStringLiteral("%1_%2_%3").arg(prefix).arg(::getpid()).arg(++made);
        m_module = RunTool("pactl", {"load-module", "module-null-sink", "sink_name=" + m_name, "format=s16le",
                                     "rate=44100", "channels=2"}, 10000)
                       .trimmed();
    }
    ~PrivateSink()
    {
        if (m_module.isEmpty())
            return;
        RunTool("pactl", {"unload-module", QString::fromLatin1(m_module)}, 10000);
    }
    PrivateSink(const PrivateSink&) = delete;
    PrivateSink& operator=(const PrivateSink&) = delete;
    bool made() const { return !m_module.isEmpty(); }
    const QString& name() const { return m_name; }
    audio::OutputChoice output() const { return {.kind = "pulse", .pulseServer = {}, .pulseSink = m_name.toStdString()}; }

private:
    QString m_name;
    QByteArray m_module;
};

// Records what this process plays, on a sink of its own. Its output is
// drained all the time the test waits: a pipe holds only a third of a second
// of audio.
class MonitorRecording {
public:
    // Makes the sink and starts parec on its monitor; returns once audio
    // flows, so nothing played later is missed. Outputs opened afterwards
    // on output() play into it.
    bool start()
    {
        m_sink.emplace(QStringLiteral("qm_test"));
        if (!m_sink->made())
            return false;
        if (!m_parec.start("parec", {"-d", m_sink->name() + ".monitor", "--format=s16le", "--rate=44100", "--channels=2",
                                     "--raw", "--latency-msec=20"}))
            return false;
        return pumpUntil([this] { return !m_data.isEmpty(); }, 10000);
    }
    // Drains while `done` is false, at most `ms` milliseconds; true when it came true.
    template <class Done>
    bool pumpUntil(Done done, int ms = 30000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end || !m_parec.read(m_data, 20))
                return done();
        }
        return true;
    }
    // Drains until `seconds` more of the sink's sound (silence included) are
    // recorded: counted in sound, not in time, so a slow machine records as
    // much as a fast one.
    bool record(double seconds)
    {
        const std::size_t until = frames() + std::size_t(seconds * 44100);
        return pumpUntil([&] { return frames() >= until; });
    }
    // Everything recorded so far, as interleaved stereo frames.
    std::vector<std::int16_t> samples() const
    {
        std::vector<std::int16_t> out(std::size_t(m_data.size()) / 4 * 2);
        std::memcpy(out.data(), m_data.constData(), out.size() * 2);
        return out;
    }
    std::size_t frames() const { return std::size_t(m_data.size()) / 4; }
    audio::OutputChoice output() const { return m_sink ? m_sink->output() : audio::OutputChoice{}; }

private:
    std::optional<PrivateSink> m_sink; // outlives the recorder
    ChildProcess m_parec;
    QByteArray m_data;
};

} // namespace qm::test
