#pragma once
// Helpers of the audio tests: synthetic PCM, running tools, reading a tone
// back, and recording what the sound server plays.
#include "platform/audio/output/SoundOutput.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
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

// Polls until the condition holds, at most `ms` (a deadline no healthy run comes near).
template <typename F>
bool WaitUntil(F condition, int ms = 30000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return condition();
}

// A child with its stdout on a pipe and its stderr discarded. posix_spawn,
// not QProcess, whose way of forking blinds ThreadSanitizer to later locking.
class ChildProcess {
public:
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
        m_fd = fds[0];
        if (rc != 0) {
            closeOutput();
            m_pid = -1;
        }
        return rc == 0;
    }
    // Appends what the child writes within `ms`; false once its output has ended.
    bool read(QByteArray& into, int ms)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (m_fd < 0 || ::poll(&p, 1, ms) <= 0)
            return m_fd >= 0;
        char buf[65536];
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n <= 0)
            closeOutput();
        else
            into.append(buf, qsizetype(n));
        return n > 0;
    }
    // Reads to the end, then reaps the child: its exit status, or -1 when it
    // was killed or outlived `ms`.
    int finish(QByteArray& into, int ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end && read(into, 50)) {
        }
        if (m_fd >= 0)
            ::kill(m_pid, SIGKILL);
        int status = 0;
        const bool reaped = m_pid > 0 && ::waitpid(m_pid, &status, 0) == m_pid;
        m_pid = -1;
        return reaped && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

// A tool's standard output; empty when it failed.
inline QByteArray RunTool(const QString& program, const QStringList& args, int timeoutMs = 60000)
{
    ChildProcess p;
    QByteArray out;
    return p.start(program, args) && p.finish(out, timeoutMs) == 0 ? out : QByteArray();
}

// Seconds that ffmpeg finds by decoding, -1 when it cannot.
inline double DecodedSeconds(const QString& file)
{
    QByteArray pcm = RunTool("ffmpeg", {"-v", "error", "-i", file, "-f", "s16le", "-ac", "2", "-ar", "44100", "-"});
    return pcm.isEmpty() ? -1.0 : double(pcm.size()) / (44100 * 4);
}

// Frequency from the rate of upward zero crossings of the left channel.
inline double ToneFrequency(const std::int16_t* interleaved, std::size_t frames)
{
    int crossings = 0;
    for (std::size_t i = 1; i < frames; ++i)
        crossings += interleaved[2 * (i - 1)] < 0 && interleaved[2 * i] >= 0;
    return frames ? crossings * 44100.0 / double(frames) : 0.0;
}

inline double Rms(const std::int16_t* interleaved, std::size_t frames, int channel)
{
    double sum = 0;
    for (std::size_t i = 0; i < frames; ++i)
        sum += double(interleaved[2 * i + channel]) * interleaved[2 * i + channel];
    return frames ? std::sqrt(sum / double(frames)) : 0.0;
}

// Whether scripts/test.sh's sound server with the null sink "qm" answers.
inline bool HasTestSink()
{
    return RunTool("pactl", {"list", "short", "sinks"}, 10000).contains("qm\t");
}

// Records what plays on a null sink of its own (so tests side by side never
// hear each other), drained all the time the test waits: a pipe holds only a
// third of a second of audio.
class MonitorRecording {
public:
    ~MonitorRecording()
    {
        m_parec.finish(m_data, 0);
        if (!m_module.isEmpty())
            RunTool("pactl", {"unload-module", QString::fromLatin1(m_module)}, 10000);
    }
    // Returns once audio flows, so nothing played on output() later is missed.
    bool start()
    {
        static int made = 0;
        m_sink = QStringLiteral("qm_test_%1_%2").arg(::getpid()).arg(++made);
        m_module = RunTool("pactl", {"load-module", "module-null-sink", "sink_name=" + m_sink, "format=s16le",
                                     "rate=44100", "channels=2"}, 10000).trimmed();
        return !m_module.isEmpty() &&
               m_parec.start("parec", {"-d", m_sink + ".monitor", "--format=s16le", "--rate=44100", "--channels=2",
                                       "--raw", "--latency-msec=20"}) &&
               pumpUntil([this] { return !m_data.isEmpty(); }, 10000);
    }
    // Drains while `done` is false, at most `ms`; true when it came true.
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
    // Drains until `seconds` more of sound (silence included) are recorded:
    // counted in sound, not time, so a slow machine records as much.
    bool record(double seconds)
    {
        const std::size_t until = frames() + std::size_t(seconds * 44100);
        return pumpUntil([&] { return frames() >= until; });
    }
    std::vector<std::int16_t> samples() const
    {
        std::vector<std::int16_t> out(frames() * 2);
        std::memcpy(out.data(), m_data.constData(), out.size() * 2);
        return out;
    }
    std::size_t frames() const { return std::size_t(m_data.size()) / 4; }
    audio::OutputChoice output() const { return {.kind = "pulse", .pulseServer = {}, .pulseSink = m_sink.toStdString()}; }

private:
    QString m_sink;
    QByteArray m_module;
    ChildProcess m_parec; // ends before the sink goes
    QByteArray m_data;
};

} // namespace qm::test
