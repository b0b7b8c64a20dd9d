#include "OffsetReader.h"

#include <algorithm>
#include <cstring>

namespace qm::audio {

std::vector<SectorRange> AudioSectors(const DiscToc& toc)
{
    std::vector<SectorRange> ranges;
    for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
        const TrackEntry& t = toc.tracks[i];
        if (!t.audio || t.sectors <= 0)
            continue;
        const lsn_t end = t.start + t.sectors;
        if (!ranges.empty() && ranges.back().end == t.start)
            ranges.back().end = end;
        else
            ranges.push_back({i == 0 ? 0 : t.start, end});
    }
    return ranges;
}

OffsetReader::OffsetReader(std::unique_ptr<SectorReader> inner, int offsetSamples, std::vector<SectorRange> readable)
    : m_inner(std::move(inner)), m_shiftBytes(std::int64_t{offsetSamples} * 4), m_readable(std::move(readable)),
      m_last(static_cast<std::size_t>(kSectorBytes))
{
}

bool OffsetReader::readable(std::int64_t sector) const
{
    return std::any_of(m_readable.begin(), m_readable.end(),
                       [sector](const SectorRange& r) { return sector >= r.begin && sector < r.end; });
}

bool OffsetReader::readDisc(std::int64_t first, int sectors, std::uint8_t* out, int& error)
{
    int i = 0;
    while (i < sectors) {
        const std::int64_t sector = first + i;
        std::uint8_t* at = out + i * kSectorBytes;
        if (m_haveLast && sector == m_lastSector) {
            std::memcpy(at, m_last.data(), static_cast<std::size_t>(kSectorBytes));
            ++i;
        } else if (!readable(sector)) {
            std::memset(at, 0, static_cast<std::size_t>(kSectorBytes));
            ++i;
        } else {
            int run = 1;
            while (i + run < sectors && readable(sector + run))
                ++run;
            if (!m_inner->read(static_cast<lsn_t>(sector), run, at, error)) {
                m_haveLast = false;
                return false;
            }
            i += run;
        }
    }
    return true;
}

bool OffsetReader::read(lsn_t lsn, int count, std::uint8_t* out, int& error)
{
    if (count <= 0)
        return true;
    const std::int64_t from = std::int64_t{lsn} * kSectorBytes + m_shiftBytes;
    // Floor division: a negative offset at the disc's start reaches before sector 0.
    const std::int64_t first = from >= 0 ? from / kSectorBytes : -((-from + kSectorBytes - 1) / kSectorBytes);
    const std::int64_t skip = from - first * kSectorBytes;
    const auto bytes = static_cast<std::int64_t>(count) * kSectorBytes;
    const auto sectors = static_cast<int>((skip + bytes + kSectorBytes - 1) / kSectorBytes);
    m_buffer.resize(static_cast<std::size_t>(sectors * kSectorBytes));
    if (!readDisc(first, sectors, m_buffer.data(), error))
        return false;
    std::memcpy(out, m_buffer.data() + skip, static_cast<std::size_t>(bytes));
    m_lastSector = first + sectors - 1;
    m_haveLast = true;
    std::memcpy(m_last.data(), m_buffer.data() + (sectors - 1) * kSectorBytes, static_cast<std::size_t>(kSectorBytes));
    return true;
}

} // namespace qm::audio
