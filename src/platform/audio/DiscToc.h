#pragma once
// What the engine knows of one disc: its tracks in sectors and its CD-Text
// block, read once when the disc arrives.

#include <cdio/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

typedef struct _CdIo CdIo_t;

namespace qm::audio {

constexpr std::int64_t kSectorBytes = 2352; // one sector of CD audio: 588 stereo frames

struct TrackEntry {
    lsn_t start = 0;         // first sector (INDEX 01)
    std::int32_t sectors = 0; // up to the next track's INDEX 01, so its pregap counts here
    bool audio = true;
    std::int64_t bytes() const { return sectors * kSectorBytes; }
};

struct DiscToc {
    std::vector<TrackEntry> tracks;
    std::string cdText; // the BASS_CD_GetID(4) block; empty when the disc has none
};

// Reads the table of contents and CD-Text through an open handle. nullopt
// when the handle shows no usable disc (no tracks, tracks out of order or
// beyond the end). On a multi-session disc the last audio track before a
// later session's data track stops where its own session ends. A track
// longer than a track length can say (2 GiB, far more than a CD holds) makes
// the disc unusable too, with the reason in *why. cueTextIsUtf8: see
// BuildCdTextBlock.
std::optional<DiscToc> ReadDiscToc(CdIo_t* cdio, bool cueTextIsUtf8 = false, std::string* why = nullptr);

} // namespace qm::audio
