// Seconds the rip's checksums (copy CRC, AccurateRip v1 and v2) take over a
// file's bytes, as the rip feeds them: 64 KiB blocks. The best of three runs.
//   bench_checksums FILE
#include "verify/AccurateRip.h"

#include <QFile>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_checksums FILE\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "bench_checksums: %s cannot be read\n", argv[1]);
        return 1;
    }
    const QByteArray bytes = file.readAll();
    double best = 1e9;
    std::uint32_t keep = 0;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        qm::verify::TrackChecksums sums(qm::QWORD(bytes.size()) / 4, true, true);
        for (qsizetype at = 0; at < bytes.size(); at += 65536)
            sums.Add(bytes.constData() + at, std::size_t(std::min<qsizetype>(65536, bytes.size() - at)));
        keep ^= sums.Crc() ^ sums.V2();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("%.4f %08X\n", best, keep);
    return 0;
}
