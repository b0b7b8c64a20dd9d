#include "AccurateRip.h"

#include "meta/DiscIds.h"

#include <QtEndian>
#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace qm::verify {

namespace {

constexpr QWORD kSamplesPerSector = 588;
// What the first and last tracks leave out.
constexpr QWORD kEdgeSamples = 5 * kSamplesPerSector;
constexpr int kHeaderBytes = 13; // track count, ID 1, ID 2, freedb ID
constexpr int kEntryBytes = 9;   // confidence, CRC, a word this program does not use

// The sums of sample * index over `count` samples, the first weighing
// `first`: the low 32 bits of each product, and the high ones.
struct Sums {
    std::uint32_t low = 0, high = 0;
};

Sums WeightedSums(const std::uint8_t* data, std::size_t count, QWORD first)
{
    Sums s;
    for (std::size_t k = 0; k < count; ++k) {
        std::uint32_t sample;
        std::memcpy(&sample, data + k * 4, 4);
        const std::uint64_t product = std::uint64_t(qFromLittleEndian(sample)) * ((first + k) & 0xFFFFFFFF);
        s.low += static_cast<std::uint32_t>(product);
        s.high += static_cast<std::uint32_t>(product >> 32);
    }
    return s;
}

#if defined(__x86_64__)
// Eight samples a step: the rip reads hundreds of megabytes a minute from a
// disc image, and the sums must not slow it.
__attribute__((target("avx2"))) Sums WeightedSumsAvx2(const std::uint8_t* data, std::size_t count, QWORD first)
{
    // Even samples in the low halves of the 64-bit lanes, odd ones shifted
    // down; each lane's index beside it. A 64-bit lane sum keeps the low
    // words' sum in its low 32 bits; the high words are summed apart.
    __m256i products = _mm256_setzero_si256(), highs = _mm256_setzero_si256();
    const auto index = [first](std::uint64_t k) { return static_cast<long long>((first + k) & 0xFFFFFFFF); };
    __m256i even = _mm256_set_epi64x(index(6), index(4), index(2), index(0));
    __m256i odd = _mm256_set_epi64x(index(7), index(5), index(3), index(1));
    const __m256i eight = _mm256_set1_epi64x(8);
    // Indices stay below 2^32 within a track; a run that would pass it
    // (never on a CD) is left to the plain loop.
    std::size_t k = 0;
    const std::size_t whole = first + count <= 0xFFFFFFFFull ? count / 8 * 8 : 0;
    for (; k < whole; k += 8) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + k * 4));
        const __m256i pe = _mm256_mul_epu32(x, even);
        const __m256i po = _mm256_mul_epu32(_mm256_srli_epi64(x, 32), odd);
        products = _mm256_add_epi64(products, _mm256_add_epi64(pe, po));
        highs = _mm256_add_epi64(highs, _mm256_add_epi64(_mm256_srli_epi64(pe, 32), _mm256_srli_epi64(po, 32)));
        even = _mm256_add_epi64(even, eight);
        odd = _mm256_add_epi64(odd, eight);
    }
    alignas(32) std::uint64_t p[4], h[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(p), products);
    _mm256_store_si256(reinterpret_cast<__m256i*>(h), highs);
    const Sums rest = WeightedSums(data + k * 4, count - k, first + k);
    return {static_cast<std::uint32_t>(p[0] + p[1] + p[2] + p[3]) + rest.low,
            static_cast<std::uint32_t>(h[0] + h[1] + h[2] + h[3]) + rest.high};
}
#endif

Sums WeightedSumsOf(const std::uint8_t* data, std::size_t count, QWORD first)
{
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return WeightedSumsAvx2(data, count, first);
#endif
    return WeightedSums(data, count, first);
}

} // namespace

AccurateRipIds AccurateRipIdsOf(const QM_CD_TOC& toc)
{
    AccurateRipIds ids;
    if (toc.tracks.empty() || toc.tracks.size() > 99 || toc.leadout <= 0)
        return ids;
    bool ok = false;
    ids.freedb = meta::ComputeDiscIds(toc).freedb.toUInt(&ok, 16);
    if (!ok)
        return ids;
    for (const QM_CD_TOC::Track& t : toc.tracks) {
        if (!t.audio)
            continue;
        ++ids.audioTracks;
        const auto start = std::uint32_t(std::max(t.start, 0));
        ids.id1 += start;
        ids.id2 += std::max<std::uint32_t>(start, 1) * std::uint32_t(t.number);
    }
    const auto leadout = std::uint32_t(toc.leadout);
    ids.id1 += leadout;
    ids.id2 += leadout * std::uint32_t(toc.tracks.size() + 1);
    return ids;
}

QString DatabasePath(const AccurateRipIds& ids)
{
    return QStringLiteral("accuraterip/%1/%2/%3/dBAR-%4-%5-%6-%7.bin")
        .arg(ids.id1 & 0xF, 0, 16)
        .arg(ids.id1 >> 4 & 0xF, 0, 16)
        .arg(ids.id1 >> 8 & 0xF, 0, 16)
        .arg(ids.audioTracks, 3, 10, QLatin1Char('0'))
        .arg(ids.id1, 8, 16, QLatin1Char('0'))
        .arg(ids.id2, 8, 16, QLatin1Char('0'))
        .arg(ids.freedb, 8, 16, QLatin1Char('0'));
}

TrackChecksums::TrackChecksums(QWORD samples, bool firstTrack, bool lastTrack)
    : m_from(firstTrack ? kEdgeSamples : 1), m_to(lastTrack ? (samples > kEdgeSamples ? samples - kEdgeSamples : 0) : samples)
{
}

void TrackChecksums::Add(const void* data, std::size_t bytes)
{
    auto* p = static_cast<const std::uint8_t*>(data);
    m_crc = libdeflate_crc32(m_crc, p, bytes);
    // Blocks need not end on a whole sample: one split between two is
    // completed first, and what is left of one is kept for the next.
    if (m_partialBytes > 0) {
        const std::size_t take = std::min(bytes, sizeof m_partial - m_partialBytes);
        std::memcpy(m_partial + m_partialBytes, p, take);
        m_partialBytes += take;
        p += take;
        bytes -= take;
        if (m_partialBytes < sizeof m_partial)
            return;
        AddSamples(m_partial, 1);
        m_partialBytes = 0;
    }
    AddSamples(p, bytes / 4);
    m_partialBytes = bytes % 4;
    std::memcpy(m_partial, p + bytes / 4 * 4, m_partialBytes);
}

void TrackChecksums::AddSamples(const std::uint8_t* data, std::size_t samples)
{
    // Sample i (1-based) counts i times itself: v1 keeps the low 32 bits of
    // each product, v2 adds the high ones too.
    const QWORD first = m_index + 1;
    const QWORD from = std::max(m_from, first), to = std::min(m_to, m_index + samples);
    if (from <= to) {
        const Sums s = WeightedSumsOf(data + (from - first) * 4, std::size_t(to - from + 1), from);
        m_v1 += s.low;
        m_high += s.high;
    }
    m_index += samples;
}

DatabaseAnswer ParseDatabase(const QByteArray& bytes, const AccurateRipIds& ids)
{
    DatabaseAnswer answer;
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const auto size = static_cast<std::size_t>(bytes.size());
    std::size_t at = 0;
    while (at < size) {
        if (size - at < kHeaderBytes) {
            answer.truncated = true;
            break;
        }
        const int tracks = p[at];
        const std::size_t chunk = kHeaderBytes + std::size_t(tracks) * kEntryBytes;
        if (tracks == 0 || size - at < chunk) {
            answer.truncated = true;
            break;
        }
        const bool ours = tracks == ids.audioTracks && qFromLittleEndian<std::uint32_t>(p + at + 1) == ids.id1 &&
                          qFromLittleEndian<std::uint32_t>(p + at + 5) == ids.id2 &&
                          qFromLittleEndian<std::uint32_t>(p + at + 9) == ids.freedb;
        if (ours) {
            Pressing pressing;
            for (int t = 0; t < tracks; ++t) {
                const std::uint8_t* e = p + at + kHeaderBytes + std::size_t(t) * kEntryBytes;
                pressing.tracks.push_back({e[0], qFromLittleEndian<std::uint32_t>(e + 1)});
            }
            answer.pressings.push_back(std::move(pressing));
        }
        at += chunk;
    }
    return answer;
}

TrackVerdict Verify(const DatabaseAnswer& answer, int track, std::uint32_t v1, std::uint32_t v2)
{
    TrackVerdict verdict;
    int best = 0;
    bool known = false;
    for (const Pressing& pressing : answer.pressings) {
        if (track < 0 || std::size_t(track) >= pressing.tracks.size())
            continue;
        const Pressing::Entry& e = pressing.tracks[std::size_t(track)];
        if (e.confidence == 0)
            continue; // a pressing without this track
        known = true;
        best = std::max(best, e.confidence);
        if ((e.crc == v1 || e.crc == v2) && e.confidence >= verdict.confidence) {
            verdict.kind = TrackVerdict::Accurate;
            verdict.confidence = e.confidence;
            verdict.v2 = e.crc == v2;
        }
    }
    if (verdict.kind == TrackVerdict::Accurate)
        return verdict;
    if (answer.truncated)
        return {TrackVerdict::Truncated, best, false};
    return known ? TrackVerdict{TrackVerdict::Mismatch, best, false} : TrackVerdict{TrackVerdict::NotPresent, 0, false};
}

QString VerdictText(const TrackVerdict& verdict)
{
    switch (verdict.kind) {
    case TrackVerdict::NotChecked: return QStringLiteral("Not checked with AccurateRip");
    case TrackVerdict::Unreachable: return QStringLiteral("Could not reach the AccurateRip database");
    case TrackVerdict::NotPresent: return QStringLiteral("Not in the AccurateRip database");
    case TrackVerdict::Accurate: return QStringLiteral("Accurately ripped (confidence %1)").arg(verdict.confidence);
    case TrackVerdict::Mismatch:
        return QStringLiteral("Does not match the AccurateRip database (best confidence %1)").arg(verdict.confidence);
    case TrackVerdict::Truncated: return QStringLiteral("The AccurateRip database's answer was cut short");
    }
    return {};
}

} // namespace qm::verify
