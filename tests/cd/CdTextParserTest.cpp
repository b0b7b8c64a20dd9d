#include "FakeAudioLibrary.h"
#include "cd/CdTextParser.h"

#include <gtest/gtest.h>

using namespace qm;
using qm::test::CdTextBlock;

TEST(CdTextParser, ReadsTitleAndPerformerInAnyCaseLaterEntriesWin)
{
    const std::string block = CdTextBlock({
        "title0=First Album", "PERFORMER0=Bj\xC3\xB6rk", "GENRE0=Jazz", "Title1=a=b", "TITLE0=Album",
        "performer2=Guest", "TITLE2=", "MESSAGE=no index here", "TITLE 2 =Last",
    });
    const CdTextTables t = ParseCdText(block.c_str(), 2);
    EXPECT_FALSE(t.error);
    // Values keep their equals signs and accents; the index may carry spaces.
    EXPECT_EQ(t.title, (QStringList{"Album", "a=b", "Last"}));
    EXPECT_EQ(t.performer, (QStringList{QString::fromUtf8("Björk"), "", "Guest"}));
}

TEST(CdTextParser, MalformedTextsAreSkippedAndTheFirstIsReported)
{
    struct Row { std::string bad; int number; };
    const Row rows[] = {
        {"TITLE1 no equals", 5},
        {"PERFORMER1.5=fraction", 13},
        {"TITLE3=above the count", 9},
        {"PERFORMER99999999999999999999=huge", 13},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bad);
        const std::string block = CdTextBlock({"TITLE0=Before", row.bad, "PERFORMER0=After", "TITLE2=x=y"});
        const CdTextTables t = ParseCdText(block.c_str(), 2);
        ASSERT_TRUE(t.error);
        EXPECT_EQ(t.error->number, row.number);
        EXPECT_EQ(t.title, (QStringList{"Before", "", "x=y"}));
        EXPECT_EQ(t.performer.value(0), "After");
    }
    EXPECT_EQ(ParseCdText(CdTextBlock({"TITLE9=x", "TITLE"}).c_str(), 1).error->number, 9); // the first is told
}

TEST(CdTextParser, BadBlocksEndTheReadSafely)
{
    EXPECT_EQ(ParseCdText(std::string(2, '\0').c_str(), 3).title, QStringList(4, QString()));
    EXPECT_EQ(ParseCdText(nullptr, 1).performer, QStringList(2, QString()));
    EXPECT_EQ(ParseCdText(CdTextBlock({"TITLE0=A"}).c_str(), -1).title, QStringList{"A"});

    // A very long value is capped.
    const std::string longBlock = CdTextBlock({"TITLE0=" + std::string(100000, 'v')});
    EXPECT_EQ(ParseCdText(longBlock.c_str(), 0).title.value(0).size(), kMaxCdTextValue);

    // A block with no empty text within the bound: reading stops at the bound
    // (the buffer is exactly that long, so ASan catches any read past it).
    const char entry[] = "PERFORMER0=Loop"; // with its terminator
    std::vector<char> exact;
    while (exact.size() < kMaxCdTextBytes)
        exact.insert(exact.end(), entry, entry + sizeof entry);
    exact.resize(kMaxCdTextBytes);
    const CdTextTables t = ParseCdText(exact.data(), 0);
    EXPECT_EQ(t.performer.value(0), "Loop");
    EXPECT_FALSE(t.error);
}
