#include "WindowRig.h"

#include <QLabel>
#include <QRegularExpression>

using namespace qm;
using namespace qm::test;

namespace {

struct TrackListTest : ::testing::Test, WindowRig {
    FakeDrive& drive()
    {
        if (audio.drives.empty())
            audio.drives.push_back(FakeDrive{});
        return audio.drives[0];
    }
    frmMain& load()
    {
        if (!window)
            make();
        window->LoadTrackList();
        return *window;
    }
    // The last list load's eight variables, and what they should be: each button's flag, then the change.
    QStringList lastLoadVariables() const
    {
        QStringList out;
        for (const auto& [name, value] : frontEnd->variables.mid(std::max<qsizetype>(0, frontEnd->variables.size() - 8)))
            out << name + '=' + value;
        return out;
    }
    static QStringList LoadVariables(const QString& flag)
    {
        return QStringList{"Play", "Previous", "Next", "Begin", "End", "Stop", "Pause"}.replaceInStrings(
                   QRegularExpression("^(.*)$"), "_root.\\1Enabled=" + flag)
               << "_root.ChangeStatus=1";
    }
    // Each row as "label|type|duration|check state".
    QStringList rows() const
    {
        QStringList out;
        for (int i = 0; i < window->tracks().lsTracks->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* r = window->tracks().lsTracks->topLevelItem(i);
            out << QStringList{r->text(TrackList::ColumnTrack), r->text(TrackList::ColumnType),
                               r->text(TrackList::ColumnDuration), QString::number(r->checkState(0))}.join('|');
        }
        return out;
    }
};

} // namespace

TEST_F(TrackListTest, NoDiscEmptiesTheListAndKeepsArtistAndAlbum)
{
    struct Case { bool ready; bool doorOpen; bool present; };
    for (const Case c : {Case{false, false, true}, Case{true, true, true}, Case{true, false, false}}) {
        SCOPED_TRACE(c.ready * 4 + c.doorOpen * 2 + c.present);
        drive() = FakeDrive{};
        drive().trackLengths = {kSecond * 3};
        frmMain& w = load();
        ASSERT_EQ(w.tracks().lsTracks->topLevelItemCount(), 1);
        w.tracks().txtCDArtist->setText("Kept artist");
        w.tracks().txtCDAlbum->setText("Kept album");
        drive().ready = c.ready;
        drive().doorOpen = c.doorOpen;
        drive().present = c.present;
        load();
        EXPECT_EQ(w.tracks().lsTracks->topLevelItemCount(), 0);
        EXPECT_EQ(lastLoadVariables(), LoadVariables("0"));
        EXPECT_FALSE(w.tracks().lblNoTracks->isHidden());
        EXPECT_EQ(w.tracks().txtCDArtist->text() + w.tracks().txtCDAlbum->text(), "Kept artistKept album");
        EXPECT_TRUE(dialogs.boxes.isEmpty());
    }
}

TEST_F(TrackListTest, DiscWithoutCdTextListsEveryTrackWithUnknownNames)
{
    drive().trackLengths = {kSecond * 185, kSecond * 2 + kSecond / 2, kSecond * 3 + kSecond / 2,
                            kSecond * 3600 + 1, kSecond * 12};
    frmMain& w = load();
    EXPECT_EQ(rows(), (QStringList{"Track 01|Audio|03:05|0", "Track 02|Audio|00:02|0", "Track 03|Audio|00:04|0",
                                   "Track 04|Audio|01:00:00|0", "Track 05|Audio|00:12|0"}));
    EXPECT_TRUE(w.tracks().lsTracks->topLevelItem(0)->flags() & Qt::ItemIsUserCheckable);
    EXPECT_EQ(w.tracks().txtCDArtist->text() + "|" + w.tracks().txtCDAlbum->text(), "Unknown Artist|Unknown Album");
    EXPECT_EQ(frontEnd->variables.size(), 8);
    EXPECT_EQ(lastLoadVariables(), LoadVariables("1"));
    EXPECT_TRUE(w.tracks().lblNoTracks->isHidden());
}

TEST_F(TrackListTest, RowsAreTheAudioTracksAndEachPlaysAndRipsItsOwnTrack)
{
    struct Case { const char* name; std::vector<std::int32_t> lengths; QStringList labels; std::vector<int> tracks; QString box; };
    const Case cases[] = {
        {"data track first", {0, kSecond * 10, kSecond * 20}, {"Track 02", "Track 03"}, {1, 2}, ""},
        {"mixed mode, data last", {kSecond * 10, kSecond * 20, 0}, {"Track 01", "Track 02"}, {0, 1}, ""},
        {"a length that fails", {kSecond * 10, -BASS_ERROR_CDTRACK, kSecond * 20}, {"Track 01", "Track 03"}, {0, 2},
         "There was an error.\r\n\r\nError Code : 13"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.boxes.clear();
        drive() = FakeDrive{};
        drive().trackLengths = c.lengths;
        frmMain& w = load();
        QStringList labels;
        for (int r = 0; r < w.tracks().lsTracks->topLevelItemCount(); ++r) {
            labels << w.tracks().lsTracks->topLevelItem(r)->text(0);
            w.tracks().lsTracks->topLevelItem(r)->setCheckState(0, Qt::Checked);
        }
        EXPECT_EQ(labels, c.labels);
        EXPECT_EQ(w.RipPlanFromWindow().tracks, c.tracks);
        w.PlayTrack(1);
        EXPECT_EQ(audio.callsNamed("BASS_CD_StreamCreate").back().rfind("BASS_CD_StreamCreate(0," + std::to_string(c.tracks[1]) + ",", 0), 0u);
        QStringList boxes;
        for (const auto& box : dialogs.boxes)
            boxes << box.text;
        EXPECT_EQ(boxes, c.box.isEmpty() ? QStringList() : QStringList{c.box});
    }
}

// After a click on a title the focus is in that cell; Space still checks the row.
TEST_F(TrackListTest, SpaceChecksTheRowWhicheverCellHasTheFocus)
{
    drive().trackLengths = {kSecond * 3, kSecond * 4};
    QTreeWidget* list = load().tracks().lsTracks;
    for (int column : {TrackList::ColumnTrack, TrackList::ColumnTitle, TrackList::ColumnDuration}) {
        SCOPED_TRACE(column);
        list->setCurrentItem(list->topLevelItem(1), column);
        QTest::keyClick(list, Qt::Key_Space);
        EXPECT_EQ(rows(), QStringList({"Track 01|Audio|00:03|0", "Track 02|Audio|00:04|2"}));
        QTest::keyClick(list, Qt::Key_Space);
        EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Unchecked);
    }
}

// How the block is parsed is the parser's own test.
TEST_F(TrackListTest, CdTextFillsArtistAndAlbumAndSkipsZeroLengthTracksSilently)
{
    struct Case { const char* name; std::vector<std::string> entries; QString artist, album; };
    const Case cases[] = {
        {"plain", {"TITLE0=Album", "PERFORMER0=Artist", "TITLE1=Song"}, "Artist", "Album"},
        {"no disc performer", {"TITLE0=Album", "PERFORMER1=Singer"}, "", "Album"},
        {"empty block", {}, "", ""},
    };
    drive().trackLengths = {kSecond * 61, 0};
    frmMain& w = make();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drive().cdText = CdTextBlock(c.entries);
        w.tracks().txtCDArtist->setText("previous");
        w.tracks().txtCDAlbum->setText("previous");
        load();
        EXPECT_EQ(w.tracks().txtCDArtist->text(), c.artist);
        EXPECT_EQ(w.tracks().txtCDAlbum->text(), c.album);
        EXPECT_EQ(rows(), QStringList{"Track 01|Audio|01:01|0"});
        EXPECT_TRUE(dialogs.boxes.isEmpty());
        EXPECT_EQ(lastLoadVariables(), LoadVariables("1"));
    }
}

TEST_F(TrackListTest, BrokenCdTextIsReportedOnceAndTheAudioTracksStayListed)
{
    drive().trackLengths = {kSecond * 30, kSecond * 40};
    drive().cdText = CdTextBlock({"TITLE0=Album", "PERFORMER3=Beyond the last track", "PERFORMER0=Artist"});
    frmMain& w = load();
    load(); // choosing the drive again, or the door command's reload, does not repeat it
    EXPECT_EQ(rows(), (QStringList{"Track 01|Audio|00:30|0", "Track 02|Audio|00:40|0"}));
    EXPECT_EQ(w.tracks().txtCDArtist->text() + "|" + w.tracks().txtCDAlbum->text(), "Artist|Album");
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text,
              "Error in routine : LoadTrackListFromCDTextin module : frmDemo\r\nError #9\r\nSubscript out of range");
}

TEST_F(TrackListTest, ALoadErrorIsReportedOncePerDiscNotOnEveryReload)
{
    // An empty list is reloaded by the playback timer twenty times a second.
    drive().trackLengths = {-BASS_ERROR_CDTRACK, -BASS_ERROR_NOCD};
    frmMain& w = load();
    EXPECT_EQ(dialogs.boxes.size(), 2); // one per track, on the first load
    for (int tick = 0; tick < 40; ++tick)
        w.LoadTrackList();
    EXPECT_EQ(dialogs.boxes.size(), 2);

    // Another disc, the same one taken out and put back, or in another drive: again.
    drive().trackLengths = {-BASS_ERROR_CDTRACK};
    w.LoadTrackList();
    drive().ready = false;
    w.LoadTrackList();
    drive().ready = true;
    w.LoadTrackList();
    audio.drives.push_back(drive());
    w.state().currentDrive = 1;
    w.LoadTrackList();
    EXPECT_EQ(dialogs.boxes.size(), 5);
}

