// Timed runs of the engine's sound and encoding paths, for bench/audio.sh:
//   bench_audio play FILE.raw        play 16-bit stereo 44100 Hz PCM on the default sink
//   bench_audio wma FILE.raw OUT     encode it to WMA at 128 kbit/s in 20000-byte blocks
//   bench_audio pipe FILE.raw OUT    pipe it to "lame -b 128" in 262144-byte blocks
// Prints wall and CPU seconds (ours and the encoder's) of the work itself,
// without the start-up of the process and its libraries.
#include "platform/audio/encode/EncoderProcess.h"
#include "platform/audio/encode/WmaEncoder.h"
#include "platform/audio/CdAudioEngine.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace qm;
using namespace qm::audio;

namespace {

std::vector<char> ReadFile(const char* path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<char> data(std::size_t(in.tellg()));
    in.seekg(0);
    in.read(data.data(), std::streamsize(data.size()));
    return data;
}

double CpuSeconds()
{
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    auto sec = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return sec(self.ru_utime) + sec(self.ru_stime) + sec(children.ru_utime) + sec(children.ru_stime);
}

// Through the whole engine, as the player plays a track: the PCM becomes a
// one-track disc image, read ahead, mixed and written to the sound server.
int Play(const char* raw)
{
    const QString image = QString::fromLocal8Bit(raw) + QStringLiteral(".image");
    const QString cue = image + QStringLiteral(".cue");
    QFile sheet(cue);
    QFile::remove(image + QStringLiteral(".bin"));
    if (!QFile::link(QString::fromLocal8Bit(raw), image + QStringLiteral(".bin")) || !sheet.open(QIODevice::WriteOnly))
        return 1;
    sheet.write("FILE \"" + QFileInfo(image).fileName().toUtf8() + ".bin\" BINARY\n"
                "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    sheet.close();
    CdAudioEngine engine({cue}, {}, CdAudioEngine::DriveScan::ImagesOnly, EngineConfig{});
    if (!engine.BASS_Init(1, 44100, 0, 0, nullptr)) {
        std::fprintf(stderr, "no output: error %d\n", engine.BASS_ErrorGetCode());
        return 1;
    }
    std::atomic<bool> done{false};
    const HSTREAM stream = engine.BASS_CD_StreamCreate(0, 0, BASS_CD_PLAY_FLAGS);
    if (!stream || !engine.BASS_StreamPlay(stream, true, 0)
        || !engine.BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, [&](HSYNC, DWORD, DWORD, DWORD) {
               done = true;
               done.notify_one();
           }, 0))
        return 1;
    done.wait(false); // no polling: its wake-ups would count as playback
    // What is still queued is heard before the run ends, as paplay's is.
    while (engine.BASS_ChannelGetPosition(stream) < engine.BASS_StreamGetLength(stream))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return 0;
}

int Wma(const std::vector<char>& pcm, const char* out)
{
    int error = 0;
    auto enc = WmaEncoder::Open(out, 128000, true, &error);
    if (!enc || !enc->setTag("", "", &error))
        return 1;
    for (std::size_t at = 0; at < pcm.size(); at += 20000)
        if (!enc->write(pcm.data() + at, std::min<std::size_t>(20000, pcm.size() - at), &error))
            return 1;
    return enc->close(&error) ? 0 : 1;
}

int Pipe(const std::vector<char>& pcm, const char* out)
{
    int error = 0;
    auto p = EncoderProcess::Start(std::string("lame.exe -b 128 - \"") + out + "\"", "", &error);
    if (!p)
        return 1;
    auto header = WavHeader(std::uint32_t(pcm.size()));
    p->write(header.data(), header.size());
    for (std::size_t at = 0; at < pcm.size(); at += 262144)
        p->write(pcm.data() + at, std::min<std::size_t>(262144, pcm.size() - at));
    p->finish();
    return p->status().exitCode;
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_audio play|wma|pipe FILE.raw [OUT]\n");
        return 2;
    }
    std::string mode = argv[1];
    auto pcm = mode == "play" ? std::vector<char>() : ReadFile(argv[2]);
    auto start = std::chrono::steady_clock::now();
    double cpuStart = CpuSeconds();
    int rc = mode == "play" ? Play(argv[2]) : mode == "wma" && argc > 3 ? Wma(pcm, argv[3])
           : mode == "pipe" && argc > 3 ? Pipe(pcm, argv[3]) : 2;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %.3f\n", wall, CpuSeconds() - cpuStart);
    return rc;
}
