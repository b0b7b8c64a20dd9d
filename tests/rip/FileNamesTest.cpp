#include "rip/FileNames.h"
#include "rip/RipPlan.h"

#include <gtest/gtest.h>

using namespace qm;

namespace {

// The names a template gives a disc whose tracks carry these titles (track 1 first).
QStringList Names(const QString& nameTemplate, const QStringList& titles, const QString& artist = "Artist",
                  const QString& album = "Album")
{
    std::map<int, NameFields> fields;
    for (int i = 0; i < titles.size(); ++i)
        fields[i + 1] = {i + 1, titles[i], artist, album, "1999"};
    QStringList names;
    for (const auto& [number, name] : TrackFileNames(nameTemplate, fields, ".mp3"))
        names << name;
    return names;
}

} // namespace

TEST(FileNames, EachPresetNamesAnAwkwardDiscSafely)
{
    const QString longTitle = QString(150, QChar(0xe9)); // 300 bytes of "é"
    const QStringList awkward{"AC/DC", "...Ready", "Intro. ", "", "Intro", longTitle, "intro", "a\"b\tc\x01"};
    // A name leaves room for ".mp3" and the rip's ".NNNNNN.part": 239 bytes, in whole characters.
    const QString cut = QString(117, QChar(0xe9));
    struct Case { const char* name; QString nameTemplate; QStringList expected; };
    const Case cases[] = {
        {"default", "TRACK{n}", {"TRACK1.mp3", "TRACK2.mp3", "TRACK3.mp3", "TRACK4.mp3", "TRACK5.mp3", "TRACK6.mp3",
                                 "TRACK7.mp3", "TRACK8.mp3"}},
        {"numbered titles", "{nn} - {title}",
         {"01 - AC_DC.mp3", "02 - Ready.mp3", "03 - Intro.mp3", "04 - Track 04.mp3", "05 - Intro.mp3",
          "06 - " + cut + ".mp3", "07 - intro.mp3", "08 - a'b_c_.mp3"}},
        // Three tracks called Intro, letter case aside: each gets its number.
        {"titles alone", "{title}",
         {"AC_DC.mp3", "Ready.mp3", "Intro (3).mp3", "Track 04.mp3", "Intro (5).mp3",
          QString(119, QChar(0xe9)) + ".mp3", "intro (7).mp3", "a'b_c_.mp3"}},
        {"folders", "{artist}/{album}/{nn}", {"Artist/Album/01.mp3", "Artist/Album/02.mp3", "Artist/Album/03.mp3",
                                              "Artist/Album/04.mp3", "Artist/Album/05.mp3", "Artist/Album/06.mp3",
                                              "Artist/Album/07.mp3", "Artist/Album/08.mp3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NameTemplateProblem(c.nameTemplate), "");
        const QStringList names = Names(c.nameTemplate, awkward);
        EXPECT_EQ(names, c.expected);
        for (const QString& name : names)
            for (const QString& part : name.split('/'))
                EXPECT_LE(part.toUtf8().size() + 12, 255) << part.toStdString();
    }
    // A title cut short where a word ends leaves no space or dot before the extension.
    EXPECT_EQ(Names("{nn} - {title}", {QString("Long. ").repeated(60)}),
              QStringList{"01 - " + QString("Long. ").repeated(38) + "Long.mp3"});
    // Disc texts never climb out or make folders of their own; an empty one makes none.
    EXPECT_EQ(Names("{artist}/{album}/{title}", {"../../x"}, "..", "a/b"), QStringList{"a_b/_.._x.mp3"});
    EXPECT_EQ(Names("{year}/{album}/{nn}", {"x"}, "", ""), QStringList{"1999/01.mp3"});
    // A title of dots alone is as empty as none.
    EXPECT_EQ(Names("{nn} - {title}", {"...", " . "}), (QStringList{"01 - Track 01.mp3", "02 - Track 02.mp3"}));
    // A numbered name that another track already has is numbered again, never shared.
    EXPECT_EQ(Names("{title}", {"A (2)", "A", "a"}), (QStringList{"A (2).mp3", "A (2, 2).mp3", "a (3).mp3"}));
}

TEST(FileNames, TemplatesThatCannotBeUsedAreRefusedWithTheReason)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "empty"},
        {"  ", "empty"},
        {"/music/{n}", "root"},
        {"../{n}", "\"..\""},
        {"a/ .. /{n}", "\"..\""},
        {"{nn} - {tilte} {Album}", "{tilte}, {Album}"},
        {"{nn", "brace"},
        {"nn}", "brace"},
    };
    for (const auto& [nameTemplate, says] : cases) {
        const QString why = NameTemplateProblem(nameTemplate);
        EXPECT_TRUE(why.contains(says)) << nameTemplate << ": " << why.toStdString();
    }
}

TEST(FileNames, ThePlanNamesEachTrackTheSameWhicheverAreRipped)
{
    RipPlan plan;
    plan.format = FormatMp3;
    plan.folder = "/music/";
    plan.nameTemplate = "{title}";
    plan.disc.tracks = {{0, {"Intro", "", "", 0}}, {1, {"Song", "", "", 0}}, {2, {"intro", "", "", 0}}};
    plan.tracks = {0};
    EXPECT_EQ(plan.FileFor(0), "/music/Intro (1).mp3");
    EXPECT_EQ(plan.FileFor(1), "/music/Song.mp3");
}

TEST(FileNames, WmaBoxesAtTheirDefaultTakeTheDiscsTexts)
{
    RipPlan plan;
    plan.format = FormatWma;
    plan.wmaTagging = true;
    plan.wmaTags = {{"Title", "Title"}, {"Author", "Mine"}, {"WM/AlbumTitle", "Album Title"}, {"WM/Year", "Year"}};
    plan.wmaTagIsDefault = {true, false, true, true};
    plan.disc.artist = "Disc Artist";
    plan.disc.album = "Disc Album";
    plan.disc.tracks[1] = {"Second", "", "", 0};
    using Tags = std::vector<std::pair<QString, QString>>;
    EXPECT_EQ(plan.WmaTagsFor(1), (Tags{{"Title", "Second"}, {"Author", "Mine"}, {"WM/AlbumTitle", "Disc Album"},
                                        {"WM/Year", "Year"}, {"WM/TrackNumber", "2"}}));
    EXPECT_EQ(plan.WmaTagsFor(2).front(), (std::pair<QString, QString>{"Title", "Track 03"}));
    plan.tagFiles = false;
    EXPECT_EQ(plan.WmaTagsFor(1).front().second, "Title");
    plan.wmaTagging = false;
    plan.wmaTags.clear();
    EXPECT_EQ(plan.WmaTagsFor(1), Tags{});
}

TEST(FileNames, PlaylistEntriesNameEveryFileAsAFile)
{
    struct Case { QString title, path, expected; };
    const Case cases[] = {
        {"Intro", "01 - Intro.mp3", "#EXTINF:4,Artist - Intro\n01 - Intro.mp3\n"},
        {"#1 Hit", "#1 Hit.mp3", "#EXTINF:4,Artist - #1 Hit\n./#1 Hit.mp3\n"},
        {"Live: Paris", "Live: Paris.mp3", "#EXTINF:4,Artist - Live: Paris\n./Live: Paris.mp3\n"},
        {"Two\nlines\r", "../B/02.mp3", "#EXTINF:4,Artist - Two lines \n../B/02.mp3\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlaylistEntry(4, "Artist", c.title, c.path), c.expected);
}
