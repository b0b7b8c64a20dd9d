#include "WavFile.h"

#include <QtEndian>

namespace qm {

namespace {
void put32(QByteArray& out, std::uint32_t v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}
void put16(QByteArray& out, std::uint16_t v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}
} // namespace

QByteArray WavHeader(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
                     std::uint32_t dataSize)
{
    const auto blockAlign = static_cast<std::uint16_t>(channels * bitsPerSample / 8);
    QByteArray h;
    h.reserve(44);
    h += "RIFF";
    put32(h, dataSize == 0 ? 0 : dataSize + 36);
    h += "WAVE";
    h += "fmt ";
    put32(h, 16);
    put16(h, 1); // PCM
    put16(h, channels);
    put32(h, sampleRate);
    put32(h, blockAlign * sampleRate);
    put16(h, blockAlign);
    put16(h, bitsPerSample);
    h += "data";
    put32(h, dataSize);
    return h;
}

} // namespace qm
