// The whole program playing a track: the main window with its scene, the
// engine and its output, driven as a double click on the first row would.
//   bench_player RESOURCE_FOLDER SECONDS
// prints "heard_ms position_ms cpu_percent":
//   heard_ms     the time from the double click until the first sample of the
//                track reached the sound server's default sink, seen on its
//                monitor through parec; -1 when there is no monitor to record
//                (the silent output, or no parec);
//   position_ms  the time until the stream's position first moved, which is
//                the engine's own estimate of what has been heard;
//   cpu          the process's CPU time over SECONDS of playback as a share of
//                one core (the recorder is stopped by then and not counted).

#include "app/frmMain.h"
#include "cd/TrackList.h"
#include "platform/audio/CdAudioEngine.h"
#include "platform/frontend/SceneHost.h"
#include "platform/ui/Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

constexpr int kFrameBytes = 4; // s16le stereo
constexpr double kRate = 44100;

// Records the default sink's monitor. A short recording latency keeps the
// delay between the sink and this program small; the output is drained all
// the time, or the pipe fills within a third of a second.
class Monitor {
public:
    bool start()
    {
        if (const char* out = std::getenv("QUILLMERE_AUDIO_OUTPUT"); out && *out && std::strcmp(out, "pulse") != 0)
            return false; // the silent output: nothing reaches a sink
        m_parec.start(QStringLiteral("parec"), {QStringLiteral("-d"), QStringLiteral("@DEFAULT_MONITOR@"),
                                                QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                                                QStringLiteral("--channels=2"), QStringLiteral("--raw"),
                                                QStringLiteral("--latency-msec=5")});
        if (!m_parec.waitForStarted(5000))
            return false;
        // Only once audio flows is a start of playback certain to be caught.
        QElapsedTimer waited;
        waited.start();
        while (m_parec.bytesAvailable() == 0 && waited.elapsed() < 5000)
            m_parec.waitForReadyRead(50);
        m_parec.readAllStandardOutput();
        return waited.elapsed() < 5000;
    }
    // Reads what has arrived. When it holds the first sample that is not
    // silence, answers how long ago that sample was rendered, in ms
    // (what came after it in the same read was rendered later); else -1.
    double poll(int waitMs)
    {
        m_parec.waitForReadyRead(waitMs);
        m_pending += m_parec.readAllStandardOutput();
        const qsizetype whole = m_pending.size() / kFrameBytes * kFrameBytes;
        const auto* s = reinterpret_cast<const std::int16_t*>(m_pending.constData());
        for (qsizetype i = 0; i < whole / 2; ++i) {
            if (s[i] != 0)
                return static_cast<double>(whole / kFrameBytes - i / 2) / kRate * 1000;
        }
        m_pending.remove(0, whole);
        return -1;
    }
    void stop()
    {
        m_parec.kill();
        m_parec.waitForFinished(5000);
    }

private:
    QProcess m_parec;
    QByteArray m_pending;
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_player RESOURCE_FOLDER SECONDS\n");
        return 2;
    }
    qm::SceneHost::SelectSoftwareRendering();
    QApplication app(argc, argv);
    const QString resources = QString::fromLocal8Bit(argv[1]);
    const int seconds = std::atoi(argv[2]);
    qm::CdAudioEngine engine({}, QDir(resources).filePath(QStringLiteral("demo/Demo.cue")),
                             qm::CdAudioEngine::DriveScan::ImagesOnly);
    qm::QtDialogs dialogs;
    qm::frmMain window(engine, dialogs, std::make_unique<qm::SceneHost>(), resources);
    if (window.Form_Load() != qm::frmMain::LoadResult::Running || window.tracks().lsTracks->topLevelItemCount() == 0) {
        std::fprintf(stderr, "bench_player: no window or no demo disc\n");
        return 1;
    }
    window.show();
    // Let the window settle before measuring.
    QTimer::singleShot(1000, &window, [&] {
        Monitor monitor;
        const bool listening = monitor.start();
        window.tracks().lsTracks->topLevelItem(0)->setSelected(true);
        QElapsedTimer clock;
        clock.start();
        window.tracks().lsTracks_DblClick();
        const qm::HSTREAM stream = window.state().currentStream;
        double movedMs = -1, heardMs = -1;
        while (clock.elapsed() < 10000 && (movedMs < 0 || (listening && heardMs < 0))) {
            if (movedMs < 0 && engine.BASS_ChannelGetPosition(stream) != 0)
                movedMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            if (listening && heardMs < 0) {
                const double ago = monitor.poll(1);
                if (ago >= 0)
                    heardMs = static_cast<double>(clock.nsecsElapsed()) / 1e6 - ago;
            } else {
                QThread::usleep(200);
            }
        }
        if (listening)
            monitor.stop();
        const double cpu0 = CpuSeconds();
        clock.restart();
        QTimer::singleShot(seconds * 1000, &window, [&, heardMs, movedMs, cpu0, clock] {
            const double cpu = CpuSeconds() - cpu0;
            const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
            std::printf("%.1f %.1f %.2f\n", heardMs, movedMs, 100.0 * cpu / wall);
            window.close();
            app.quit();
        });
    });
    return QApplication::exec();
}
