#pragma once
// AccurateRip as the tests know it, written from the published definitions
// and apart from the program's code: a track's checksums computed whole, and
// database answers built byte by byte.

#include "verify/AccurateRip.h"

#include <QByteArray>
#include <cstdint>
#include <utility>
#include <vector>

namespace qm::test {

struct ReferenceSums {
    std::uint32_t crc = 0, v1 = 0, v2 = 0;
};

// `samples` are the track's stereo samples, left in the low 16 bits.
inline ReferenceSums ReferenceChecksums(const std::vector<std::uint32_t>& samples, bool first, bool last)
{
    ReferenceSums r;
    // CRC-32 (reflected polynomial 0xEDB88320), bit by bit over the bytes.
    std::uint32_t crc = 0xFFFFFFFF;
    for (const std::uint32_t s : samples) {
        for (int b = 0; b < 4; ++b) {
            crc ^= (s >> (8 * b)) & 0xFF;
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        }
    }
    r.crc = ~crc;
    // Sample n (from 1) weighs n; the first track leaves out samples before
    // 2940 (five sectors less one sample), the last its final 2940.
    const std::int64_t count = std::int64_t(samples.size());
    std::uint64_t low = 0, high = 0;
    for (std::int64_t n = 1; n <= count; ++n) {
        if ((first && n < 2940) || (last && n > count - 2940))
            continue;
        const std::uint64_t product = std::uint64_t(samples[std::size_t(n - 1)]) * std::uint64_t(n);
        low += product & 0xFFFFFFFF;
        high += product >> 32;
    }
    r.v1 = std::uint32_t(low);
    r.v2 = std::uint32_t(low + high);
    return r;
}

// One pressing in the database's own layout: the track count, the two IDs
// and the freedb ID, then per track its confidence, CRC and an unused word,
// little-endian.
inline QByteArray DatabaseChunk(const verify::AccurateRipIds& ids,
                                const std::vector<std::pair<int, std::uint32_t>>& entries)
{
    QByteArray out;
    const auto word = [&out](std::uint32_t v) {
        for (int b = 0; b < 4; ++b)
            out.append(char((v >> (8 * b)) & 0xFF));
    };
    out.append(char(entries.size()));
    word(ids.id1);
    word(ids.id2);
    word(ids.freedb);
    for (const auto& [confidence, crc] : entries) {
        out.append(char(confidence));
        word(crc);
        word(0);
    }
    return out;
}

} // namespace qm::test
