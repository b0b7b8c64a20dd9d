#pragma once
// A drive's read offset applied to a stream's sectors: sector N as delivered
// holds the disc's samples from sample N * 588 + offset on. Samples outside
// what the drive can read (before the disc's first sector, past its audio
// into the lead-out, data tracks) are silence and never asked of the drive,
// which would fail there.

#include "CdDrive.h"

#include <memory>
#include <vector>

namespace qm::audio {

struct SectorRange {
    lsn_t begin = 0, end = 0; // [begin, end)
};

// The sectors of a disc a drive reads as audio: its audio tracks, runs of
// adjacent ones joined, the first track's run from sector 0 so that a pregap
// before it counts.
std::vector<SectorRange> AudioSectors(const DiscToc& toc);

class OffsetReader : public SectorReader {
public:
    OffsetReader(std::unique_ptr<SectorReader> inner, int offsetSamples, std::vector<SectorRange> readable);

    bool read(lsn_t lsn, int count, std::uint8_t* out, int& error) override;
    int preferredSectors() const override { return m_inner->preferredSectors(); }
    bool available(int& error) const override { return m_inner->available(error); }
    QM_CD_READ_ERRORS readErrors() const override { return m_inner->readErrors(); }

private:
    bool readable(std::int64_t sector) const;
    // Fills `sectors` sectors of the disc from `first` into `out`.
    bool readDisc(std::int64_t first, int sectors, std::uint8_t* out, int& error);

    const std::unique_ptr<SectorReader> m_inner;
    const std::int64_t m_shiftBytes;
    const std::vector<SectorRange> m_readable;
    std::vector<std::uint8_t> m_buffer;
    // A shifted run straddles sectors, so one read ends in the sector the
    // next one starts in: kept, so the drive reads on without stepping back.
    std::int64_t m_lastSector = -1;
    bool m_haveLast = false;
    std::vector<std::uint8_t> m_last;
};

} // namespace qm::audio
