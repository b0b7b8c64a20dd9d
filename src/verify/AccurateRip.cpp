#include "AccurateRip.h"

#include "meta/DiscIds.h"

#include <QtEndian>
#include <zlib.h>

#include <algorithm>

namespace qm::verify {

namespace {

constexpr QWORD kSamplesPerSector = 588;
// What the first and last tracks leave out.
constexpr QWORD kEdgeSamples = 5 * kSamplesPerSector;
constexpr int kHeaderBytes = 13; // track count, ID 1, ID 2, freedb ID
constexpr int kEntryBytes = 9;   // confidence, CRC, a word this program does not use

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
    m_crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
}

void TrackChecksums::Add(const void* data, std::size_t bytes)
{
    auto* p = static_cast<const std::uint8_t*>(data);
    m_crc = static_cast<std::uint32_t>(crc32_z(m_crc, p, bytes));
    // Blocks need not end on a whole sample.
    while (m_partialBytes > 0 && bytes > 0) {
        m_partial[m_partialBytes++] = *p++;
        --bytes;
        if (m_partialBytes == 4) {
            AddSamples(m_partial, 1);
            m_partialBytes = 0;
        }
    }
    AddSamples(p, bytes / 4);
    for (std::size_t i = bytes / 4 * 4; i < bytes; ++i)
        m_partial[m_partialBytes++] = p[i];
}

void TrackChecksums::AddSamples(const std::uint8_t* data, std::size_t samples)
{
    // Sample i (1-based) counts i times itself: v1 keeps the low 32 bits of
    // each product, v2 adds the high ones too.
    std::uint32_t v1 = m_v1, high = m_high;
    const QWORD first = m_index + 1;
    const QWORD from = std::max(m_from, first), to = std::min(m_to, m_index + samples);
    for (QWORD i = from; i <= to; ++i) {
        const std::uint64_t product = std::uint64_t(qFromLittleEndian<std::uint32_t>(data + (i - first) * 4)) * (i & 0xFFFFFFFF);
        v1 += static_cast<std::uint32_t>(product);
        high += static_cast<std::uint32_t>(product >> 32);
    }
    m_v1 = v1;
    m_high = high;
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
