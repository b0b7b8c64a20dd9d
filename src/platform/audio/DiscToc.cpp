#include "DiscToc.h"

#include "CdTextBlock.h"

#include <cdio/cdio.h>

#include <limits>

namespace qm::audio {

namespace {
// Lead-out, lead-in and pregap between two sessions of a CD-Extra disc.
constexpr lsn_t kSessionGap = 11400;
} // namespace

std::optional<DiscToc> ReadDiscToc(CdIo_t* cdio, bool cueTextIsUtf8, std::string* why)
{
    if (!cdio)
        return std::nullopt;
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_get_num_tracks(cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0 || count > 99)
        return std::nullopt;
    const lsn_t leadout = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (leadout == CDIO_INVALID_LSN)
        return std::nullopt;

    lsn_t lastSession = 0;
    if (cdio_get_last_session(cdio, &lastSession) != DRIVER_OP_SUCCESS)
        lastSession = 0;

    DiscToc toc;
    for (track_t i = 0; i < count; ++i) {
        const auto number = static_cast<track_t>(first + i);
        TrackEntry t;
        t.start = cdio_get_track_lsn(cdio, number);
        const lsn_t next = i + 1 < count ? cdio_get_track_lsn(cdio, static_cast<track_t>(number + 1)) : leadout;
        if (t.start == CDIO_INVALID_LSN || next == CDIO_INVALID_LSN || t.start < 0 || next <= t.start)
            return std::nullopt;
        t.audio = cdio_get_track_format(cdio, number) == TRACK_FORMAT_AUDIO;
        lsn_t end = next;
        if (t.audio && i + 1 < count && lastSession > 0 && next >= lastSession
            && cdio_get_track_format(cdio, static_cast<track_t>(number + 1)) != TRACK_FORMAT_AUDIO
            && next - kSessionGap > t.start)
            end = next - kSessionGap;
        t.sectors = end - t.start;
        if (t.bytes() > std::numeric_limits<std::int32_t>::max()) {
            if (why)
                *why = "track " + std::to_string(i + 1) + " is longer than a CD can hold (" +
                       std::to_string(t.bytes() / kSectorBytes / 75 / 60) + " minutes)";
            return std::nullopt;
        }
        toc.tracks.push_back(t);
    }
    toc.cdText = BuildCdTextBlock(cdio_get_cdtext(cdio), first, count, cueTextIsUtf8);
    return toc;
}

} // namespace qm::audio
