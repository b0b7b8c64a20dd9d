#include "meta/DiscIds.h"

#include <gtest/gtest.h>

using namespace qm;
using namespace qm::meta;

namespace {

// A table from the offsets as the published examples give them (with the
// 150-sector pregap), audio unless listed in `data`.
QM_CD_TOC Table(const std::vector<int>& offsets, int leadout, const std::vector<int>& data = {})
{
    QM_CD_TOC toc;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        const bool isData = std::find(data.begin(), data.end(), number) != data.end();
        toc.tracks.push_back({number, offsets[i] - 150, !isData});
    }
    toc.leadout = leadout - 150;
    return toc;
}

} // namespace

TEST(DiscIds, PublishedExamplesAndTheSessionRule)
{
    struct Case { const char* name; QM_CD_TOC toc; const char* musicBrainz; const char* freedb; };
    const Case cases[] = {
        // The two IDs published with the algorithms' documentation.
        {"four tracks", Table({150, 11563, 25174, 45863}, 55370), "nljDXdC8B_pDwbdY1vZJvdrAZI4-", "1f02e004"},
        {"six tracks", Table({150, 15363, 32314, 46592, 63414, 80489}, 95462), "49HHV7Eb8UKF3aQiNmu1GR8vKTY-",
         "3404f606"},
        // A data session after the audio: MusicBrainz ends the audio 11400
        // sectors before it, so the ID is the audio-only disc's; freedb counts it.
        {"enhanced CD", Table({150, 11563, 25174, 45863, 55370 + 11400}, 90000, {5}), "nljDXdC8B_pDwbdY1vZJvdrAZI4-",
         "3004ae05"},
        {"no tracks", QM_CD_TOC{}, "", ""},
        {"lead-out before the last track", Table({150, 11563}, 11000), "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DiscIds ids = ComputeDiscIds(c.toc);
        EXPECT_EQ(ids.musicBrainz.toStdString(), c.musicBrainz);
        EXPECT_EQ(ids.freedb.toStdString(), c.freedb);
        EXPECT_EQ(IsDiscId(ids.musicBrainz), *c.musicBrainz != 0);
    }
}

TEST(DiscIds, OnlyAnIdsOwnCharactersPass)
{
    EXPECT_TRUE(IsDiscId("nljDXdC8B_pDwbdY1vZJvdrAZI4-"));
    EXPECT_TRUE(IsDiscId("49HHV7Eb8UKF3aQiNmu1GR8vKTY."));
    for (const char* bad : {"", "nljDXdC8B_pDwbdY1vZJvdrAZI4", "../../../../../../etc/passw", "nljDXdC8B/pDwbdY1vZJvdrAZI4-",
                            "nljDXdC8B pDwbdY1vZJvdrAZI4-", "nljDXdC8B_pDwbdY1vZJvdrAZI4-x"})
        EXPECT_FALSE(IsDiscId(QString::fromUtf8(bad))) << bad;
}
