// Decoding speed of the engine on a disc image.
//   bench_decode write FOLDER MINUTES   writes FOLDER/bench.cue + bench.bin (tracks of about 6 minutes)
//   bench_decode read CUE [BLOCK]       decodes every audio track in BLOCK-byte blocks (default 20000)
// and prints the bytes decoded and the wall-clock seconds it took.

#include "platform/audio/CdAudioEngine.h"

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

int Write(const std::string& folder, int minutes)
{
    constexpr int kSector = 2352;
    const long totalSectors = minutes * 60L * 75;
    const long perTrack = 6 * 60 * 75;
    std::ofstream bin(folder + "/bench.bin", std::ios::binary | std::ios::trunc);
    std::string cue = "FILE \"bench.bin\" BINARY\n";
    std::vector<std::int16_t> sector(kSector / 2);
    long frame = 0;
    for (long s = 0; s < totalSectors; ++s) {
        if (s % perTrack == 0) {
            char line[96];
            std::snprintf(line, sizeof line, "  TRACK %02ld AUDIO\n    INDEX 01 %02ld:%02ld:%02ld\n", s / perTrack + 1,
                          s / 75 / 60, s / 75 % 60, s % 75);
            cue += line;
        }
        // Music-like tones, so peers guess the byte order right.
        for (std::size_t i = 0; i < sector.size(); i += 2, ++frame) {
            const double t = static_cast<double>(frame) / 44100;
            sector[i] = static_cast<std::int16_t>(9000 * std::sin(2 * std::numbers::pi * 220 * t));
            sector[i + 1] = static_cast<std::int16_t>(7000 * std::sin(2 * std::numbers::pi * 330 * t));
        }
        bin.write(reinterpret_cast<const char*>(sector.data()), kSector);
    }
    std::ofstream(folder + "/bench.cue", std::ios::binary | std::ios::trunc) << cue;
    return bin.good() ? 0 : 1;
}

int Read(const QString& cue, qm::DWORD block)
{
    qm::CdAudioEngine engine({cue}, {}, qm::CdAudioEngine::DriveScan::ImagesOnly);
    const int tracks = engine.BASS_CD_GetTracks(0);
    if (tracks <= 0) {
        std::fprintf(stderr, "bench_decode: no disc in %s (code %d)\n", qPrintable(cue), engine.BASS_ErrorGetCode());
        return 1;
    }
    std::vector<char> buffer(block);
    unsigned long long bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int t = 0; t < tracks; ++t) {
        const qm::HSTREAM s = engine.BASS_CD_StreamCreate(0, static_cast<qm::DWORD>(t), qm::BASS_CD_DECODE_FLAGS);
        if (!s)
            continue; // data track
        while (engine.BASS_ChannelIsActive(s)) {
            const qm::DWORD got = engine.BASS_ChannelGetData(s, buffer.data(), block);
            if (got == qm::BASS_DATA_ERROR) {
                std::fprintf(stderr, "bench_decode: read failed (code %d)\n", engine.BASS_ErrorGetCode());
                return 1;
            }
            bytes += got;
        }
        engine.BASS_StreamFree(s);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%llu %.3f\n", bytes, took.count());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write" && argc == 4)
        return Write(argv[2], std::atoi(argv[3]));
    if (mode == "read" && (argc == 3 || argc == 4))
        return Read(QString::fromLocal8Bit(argv[2]), argc == 4 ? static_cast<qm::DWORD>(std::atoi(argv[3])) : 20000);
    std::fprintf(stderr, "usage: bench_decode write FOLDER MINUTES | read CUE [BLOCK]\n");
    return 2;
}
