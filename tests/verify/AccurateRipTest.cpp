#include "AccurateRipData.h"
#include "LocalHttpServer.h"
#include "meta/DiscIds.h"
#include "verify/AccurateRip.h"
#include "verify/AccurateRipLookup.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <random>

using namespace qm;
using namespace qm::verify;
using qm::test::DatabaseChunk;
using qm::test::ReferenceChecksums;

namespace {

std::vector<std::uint32_t> Noise(std::size_t samples, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint32_t> out(samples);
    for (auto& s : out)
        s = random();
    return out;
}

// Two audio tracks, then a data track: the database's IDs count the audio
// tracks and end at the disc's lead-out.
QM_CD_TOC EnhancedToc()
{
    QM_CD_TOC toc;
    toc.tracks = {{1, 0, true}, {2, 1000, true}, {3, 20000, false}};
    toc.leadout = 30000;
    return toc;
}

TEST(AccurateRipChecksums, MatchTheDefinitionWhereverBlocksEnd)
{
    struct Case {
        const char* name;
        std::size_t samples;
        bool first, last;
    };
    const Case cases[] = {
        {"middle", 44100 + 17, false, false},
        {"first", 30000, true, false},
        {"last", 30001, false, true},
        {"only track", 12000, true, true},
        {"first, shorter than five sectors", 1000, true, false},
        {"last, shorter than five sectors", 2940, false, true},
        {"only, one sample over five sectors", 2941, true, true},
        {"one track of one sector", 588, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto samples = Noise(c.samples, unsigned(c.samples));
        const auto expected = ReferenceChecksums(samples, c.first, c.last);
        // Blocks of odd sizes split samples; the sums must not notice.
        for (const std::size_t block : {std::size_t(1), std::size_t(4093), std::size_t(65536)}) {
            TrackChecksums sums(c.samples, c.first, c.last);
            const auto* bytes = reinterpret_cast<const char*>(samples.data());
            for (std::size_t at = 0; at < samples.size() * 4; at += block)
                sums.Add(bytes + at, std::min(block, samples.size() * 4 - at));
            EXPECT_EQ(sums.Crc(), expected.crc) << block;
            EXPECT_EQ(sums.V1(), expected.v1) << block;
            EXPECT_EQ(sums.V2(), expected.v2) << block;
            EXPECT_EQ(sums.Samples(), c.samples);
        }
    }
}

TEST(AccurateRipChecksums, KnownValues)
{
    // Every sample 1: v1 is 1 + 2 + ... + n; the first track starts at 2940.
    TrackChecksums middle(10000, false, false), first(10000, true, false), short_(100, false, true);
    const std::vector<std::uint32_t> ones(10000, 1);
    middle.Add(ones.data(), 40000);
    first.Add(ones.data(), 40000);
    short_.Add(ones.data(), 400);
    EXPECT_EQ(middle.V1(), 10000u * 10001 / 2);
    EXPECT_EQ(middle.V2(), middle.V1()); // no product reaches 32 bits
    EXPECT_EQ(first.V1(), 10000u * 10001 / 2 - 2939u * 2940 / 2);
    EXPECT_EQ(short_.V1(), 0u); // all of it within the last five sectors
    // CRC-32 of "123456789" is the check value every CRC-32 lists.
    TrackChecksums text(2, false, false);
    text.Add("123456789", 9);
    EXPECT_EQ(text.Crc(), 0xCBF43926u);
}

TEST(AccurateRipIds, FromTheTableOfContents)
{
    const AccurateRipIds ids = AccurateRipIdsOf(EnhancedToc());
    EXPECT_EQ(ids.audioTracks, 2);
    EXPECT_EQ(ids.id1, 0u + 1000 + 30000);
    EXPECT_EQ(ids.id2, 1u * 1 + 1000u * 2 + 30000u * 4); // sector 0 counts as 1
    EXPECT_EQ(QStringLiteral("%1").arg(ids.freedb, 8, 16, QLatin1Char('0')), meta::ComputeDiscIds(EnhancedToc()).freedb);
    // 31000 is 0x7918: the folders are its last three digits, last first.
    EXPECT_EQ(DatabasePath(ids), QStringLiteral("accuraterip/8/1/9/dBAR-002-00007918-0001dc91-%1.bin")
                                     .arg(ids.freedb, 8, 16, QLatin1Char('0')));
    EXPECT_EQ(AccurateRipIdsOf(QM_CD_TOC{}).audioTracks, 0);
}

TEST(AccurateRipDatabase, EachAnswerGivesItsLine)
{
    const AccurateRipIds ids = AccurateRipIdsOf(EnhancedToc());
    AccurateRipIds other = ids;
    other.id1 += 1;
    const std::uint32_t v1 = 0x11111111, v2 = 0x22222222;
    struct Case {
        const char* name;
        QByteArray answer;
        QString line; // of track 2
    };
    const QByteArray matching = DatabaseChunk(ids, {{7, 0xAAAA}, {5, v2}});
    const Case cases[] = {
        {"one pressing that matches", matching, "Accurately ripped (confidence 5)"},
        {"only the second pressing matches", DatabaseChunk(ids, {{9, 1}, {9, 2}}) + DatabaseChunk(ids, {{3, 1}, {3, v2}}),
         "Accurately ripped (confidence 3)"},
        {"matched by v1", DatabaseChunk(ids, {{2, 1}, {12, v1}}), "Accurately ripped (confidence 12)"},
        {"a mismatch", DatabaseChunk(ids, {{2, 1}, {4, 3}}) + DatabaseChunk(ids, {{9, 1}, {6, 3}}),
         "Does not match the AccurateRip database (best confidence 6)"},
        {"nothing (404)", QByteArray(), "Not in the AccurateRip database"},
        {"another disc's", DatabaseChunk(other, {{7, 1}, {5, v2}}), "Not in the AccurateRip database"},
        {"another disc's with ours after it", DatabaseChunk(other, {{7, 1}, {5, 9}}) + matching,
         "Accurately ripped (confidence 5)"},
        {"truncated", matching.left(matching.size() - 3), "The AccurateRip database's answer was cut short"},
        {"truncated after a match", matching + matching.left(5), "Accurately ripped (confidence 5)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VerdictText(Verify(ParseDatabase(c.answer, ids), 1, v1, v2)), c.line);
    }
}

TEST(AccurateRipLookup, AsksTheServerForTheDiscsPath)
{
    const AccurateRipIds ids = AccurateRipIdsOf(EnhancedToc());
    LocalHttpServer server;
    server.Route("/" + DatabasePath(ids).toLatin1(), {200, DatabaseChunk(ids, {{4, 1}, {4, 2}})});
    AccurateRipLookup lookup(server.url() + QStringLiteral("/"), 5000);
    lookup.Start(EnhancedToc());
    EXPECT_EQ(lookup.state(), AccurateRipLookup::State::Pending);
    ASSERT_TRUE(lookup.Wait());
    ASSERT_EQ(lookup.answer().pressings.size(), 1u);
    EXPECT_EQ(lookup.answer().pressings[0].tracks[1].crc, 2u);
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(server.requests()[0].headers.value("user-agent").startsWith("Quillmere/"));

    // A disc the database does not know is an answer; no server is not.
    QM_CD_TOC unknown = EnhancedToc();
    unknown.leadout += 1;
    lookup.Start(unknown);
    ASSERT_TRUE(lookup.Wait());
    EXPECT_TRUE(lookup.answer().pressings.empty());

    // A rip waiting on a question that is dropped goes on without it.
    server.Route("/" + DatabasePath(AccurateRipIdsOf(unknown)).toLatin1(), {200, {}, {}, false});
    lookup.Start(unknown);
    QTimer::singleShot(0, &lookup, [&lookup] { lookup.Cancel(); });
    EXPECT_FALSE(lookup.Wait());
    EXPECT_EQ(lookup.state(), AccurateRipLookup::State::Idle);

    // A rip stopped by its user stops waiting; the question goes on.
    lookup.Start(unknown);
    QTimer::singleShot(0, &lookup, [&lookup] { lookup.StopWaiting(); });
    EXPECT_FALSE(lookup.Wait());
    EXPECT_EQ(lookup.state(), AccurateRipLookup::State::Pending);

    AccurateRipLookup offline(QStringLiteral("http://127.0.0.1:9"), 5000);
    offline.Start(EnhancedToc());
    EXPECT_FALSE(offline.Wait());
    EXPECT_TRUE(offline.error().startsWith("could not reach the AccurateRip database")) << offline.error().toStdString();
}

// A server that says nothing, drips, or sends far more than a disc's entries
// is given up on, and the reason says which.
TEST(AccurateRipLookup, AServerThatStallsDripsOrFloodsIsGivenUp)
{
    const AccurateRipIds ids = AccurateRipIdsOf(EnhancedToc());
    const QByteArray path = "/" + DatabasePath(ids).toLatin1();
    const QByteArray entries = DatabaseChunk(ids, {{4, 1}, {4, 2}});
    struct Case { const char* name; LocalHttpServer::Response response; int timeoutMs; const char* error; };
    const Case cases[] = {
        {"silent", {200, entries, {}, false}, 300, "the AccurateRip database did not answer in time"},
        {"dripping", {200, entries, {}, true, 50}, 300, "the AccurateRip database did not answer in time"},
        {"flooding", {200, entries.repeated((2 << 20) / entries.size())}, 10000,
         "the AccurateRip database's answer is too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalHttpServer server;
        server.Route(path, c.response);
        AccurateRipLookup lookup(server.url(), c.timeoutMs);
        lookup.Start(EnhancedToc());
        EXPECT_FALSE(lookup.Wait());
        EXPECT_EQ(lookup.error(), c.error);
    }
}

} // namespace
