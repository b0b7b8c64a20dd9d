#include "DiscIds.h"

#include <discid/discid.h>

#include <algorithm>
#include <array>
#include <memory>

namespace qm::meta {

namespace {

// Sectors before the program area's first sector: the offsets in both IDs
// count from the start of the lead-in's last two seconds.
constexpr int kPregap = 150;
// The lead-out and lead-in between a disc's audio session and a data session.
constexpr int kSessionGap = 11400;

struct Handle {
    void operator()(DiscId* d) const { discid_free(d); }
};

// The ID the library computes for tracks [first, last] of the table, ending
// at leadout; "" when the library refuses the table.
template <typename Get>
QString IdOf(const QM_CD_TOC& toc, std::size_t first, std::size_t last, std::int32_t leadout, Get get)
{
    std::array<int, 100> offsets{};
    offsets[0] = leadout + kPregap;
    for (std::size_t i = first; i <= last; ++i) {
        const int number = toc.tracks[i].number;
        if (number < 1 || number > 99)
            return {};
        offsets[static_cast<std::size_t>(number)] = toc.tracks[i].start + kPregap;
    }
    std::unique_ptr<DiscId, Handle> d(discid_new());
    if (!d || !discid_put(d.get(), toc.tracks[first].number, toc.tracks[last].number, offsets.data()))
        return {};
    return QString::fromLatin1(get(d.get()));
}

} // namespace

DiscIds ComputeDiscIds(const QM_CD_TOC& toc)
{
    DiscIds ids;
    if (toc.tracks.empty() || toc.tracks.size() > 99)
        return ids;
    const std::size_t all = toc.tracks.size() - 1;
    ids.freedb = IdOf(toc, 0, all, toc.leadout, discid_get_freedb_id);

    std::size_t lastAudio = all;
    while (lastAudio > 0 && !toc.tracks[lastAudio].audio)
        --lastAudio;
    const std::int32_t audioEnd = lastAudio == all ? toc.leadout : toc.tracks[lastAudio + 1].start - kSessionGap;
    ids.musicBrainz = IdOf(toc, 0, lastAudio, audioEnd, discid_get_id);
    return ids;
}

bool IsDiscId(const QString& id)
{
    return id.size() == 28 && std::all_of(id.begin(), id.end(), [](QChar c) {
        return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'.' ||
               c == u'_' || c == u'-';
    });
}

} // namespace qm::meta
