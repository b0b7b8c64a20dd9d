#pragma once
// AccurateRip: the disc's IDs in its database, each track's checksums as the
// database keeps them, and the database's answer read and matched.

#include "platform/audio/AudioLibrary.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace qm::verify {

struct AccurateRipIds {
    int audioTracks = 0; // 0: the table of contents gives no IDs
    std::uint32_t id1 = 0, id2 = 0, freedb = 0;
    bool operator==(const AccurateRipIds&) const = default;
};

// The database counts the audio tracks only, but ends the disc at its real
// lead-out (after any data track), and counts a track at sector 0 as 1 in
// the second ID.
AccurateRipIds AccurateRipIdsOf(const QM_CD_TOC& toc);
// "accuraterip/a/b/c/dBAR-NNN-xxxxxxxx-xxxxxxxx-xxxxxxxx.bin"; a, b and c are
// the first ID's last three hex digits, last first.
QString DatabasePath(const AccurateRipIds& ids);

// A track's copy CRC (CRC32 of its PCM) and AccurateRip v1 and v2
// checksums, fed block by block as the track is read. The disc's first track
// leaves out its first five sectors less one sample, the last track its last
// five sectors: drives with different offsets cannot read those alike.
class TrackChecksums {
public:
    TrackChecksums(QWORD samples, bool firstTrack, bool lastTrack);
    void Add(const void* data, std::size_t bytes);
    std::uint32_t Crc() const { return m_crc; }
    std::uint32_t V1() const { return m_v1; }
    std::uint32_t V2() const { return m_v1 + m_high; }
    QWORD Samples() const { return m_index; }

private:
    void AddSamples(const std::uint8_t* data, std::size_t samples);

    QWORD m_from = 1, m_to = 0; // counted samples, by 1-based index
    QWORD m_index = 0;          // samples seen
    std::uint32_t m_crc = 0, m_v1 = 0, m_high = 0;
    std::uint8_t m_partial[4] = {};
    std::size_t m_partialBytes = 0;
};

// One pressing's entries in the database, one per track.
struct Pressing {
    struct Entry {
        int confidence = 0;
        std::uint32_t crc = 0;
    };
    std::vector<Entry> tracks;
};

// The database's answer for a disc: its pressings of this disc. Pressings
// under other IDs (another disc's) are left out; a truncated answer keeps
// the whole pressings before the cut and says it was cut.
struct DatabaseAnswer {
    std::vector<Pressing> pressings;
    bool truncated = false;
};
DatabaseAnswer ParseDatabase(const QByteArray& bytes, const AccurateRipIds& ids);

// What the database says of one track.
struct TrackVerdict {
    enum Kind {
        NotChecked,  // verification off, or the track was not read whole
        Unreachable, // the database could not be asked
        NotPresent,  // not in the database
        Accurate,
        Mismatch,
        Truncated,   // no match in what arrived, and the answer was cut short
    };
    Kind kind = NotChecked;
    int confidence = 0; // the matching entry's; for a mismatch, the best there is
    bool v2 = false;    // matched by the v2 checksum
};
// `track` is 0-based among the audio tracks.
TrackVerdict Verify(const DatabaseAnswer& answer, int track, std::uint32_t v1, std::uint32_t v2);
// "Accurately ripped (confidence N)", "Not in the AccurateRip database",
// "Does not match the AccurateRip database (best confidence N)", ...
QString VerdictText(const TrackVerdict& verdict);

} // namespace qm::verify
