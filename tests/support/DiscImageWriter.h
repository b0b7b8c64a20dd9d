#pragma once
// Writes cue/bin disc images for tests: chosen tracks with chosen PCM,
// pregaps (INDEX 00, stored in the bin), data tracks and CD-Text, which goes
// into the cue as Latin-1 or UTF-8. The bin is named like the cue, as libcdio expects.

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace qm::test {

using Pcm = std::vector<std::uint8_t>;

struct ImageTrack {
    Pcm pcm{};                 // padded with zeros to whole 2352-byte sectors
    int pregapSectors = 0;     // INDEX 00 sectors before INDEX 01
    bool data = false;         // a MODE1/2352 track instead of audio
    std::string title{};       // UTF-8; empty leaves the line out
    std::string performer{};
};

struct DiscLayout {
    std::string title{};   // disc CD-Text, UTF-8
    std::string performer{};
    std::vector<ImageTrack> tracks{};
    bool utf8Cue = false;  // texts written into the cue as UTF-8 instead of Latin-1
};

struct WrittenImage {
    QString cue, bin;
    Pcm binBytes;
    std::vector<std::int64_t> starts; // byte offset of each track's INDEX 01 in the bin
    // The bytes the engine reads for track i: from its INDEX 01 up to the
    // next track's INDEX 01, so the next pregap belongs to it.
    Pcm track(std::size_t i) const;
};

WrittenImage WriteDiscImage(const QString& folder, const QString& baseName, const DiscLayout& layout);

// PCM helpers: a stereo tone (16-bit little-endian), and a byte pattern that
// depends on the offset and the seed, so misplaced bytes show.
Pcm TonePcm(double seconds, double leftHz, double rightHz, double amplitude = 0.5);
Pcm PatternPcm(std::size_t bytes, unsigned seed);

} // namespace qm::test
