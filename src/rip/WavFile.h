#pragma once
// The 44-byte header of a PCM WAV file.

#include <QByteArray>
#include <cstdint>

namespace qm {

// RIFF record, format record and data-chunk header, little-endian.
QByteArray WavHeader(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
                     std::uint32_t dataSize);

// Byte offsets of the two sizes patched when the data is complete.
constexpr qint64 kWavRiffSizeOffset = 4;
constexpr qint64 kWavDataSizeOffset = 40;

} // namespace qm
