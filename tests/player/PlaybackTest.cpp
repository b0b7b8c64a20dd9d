#include "WindowRig.h"

#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <thread>

using namespace qm;
using namespace qm::test;

namespace {
const QString kEnd = QString::number(BASS_SYNC_END);
const QString kError = QString::number(BASS_SYNC_CD_ERROR);
const QString kSlide = QString::number(BASS_SYNC_SLIDE);
const QString kPlayFlags = QString::number(BASS_CD_PLAY_FLAGS);

// Fires a sync as the library does: on a thread of its own.
void FireFromEngineThread(FakeAudioLibrary& audio, HSTREAM stream, DWORD type)
{
    std::thread engine([&] { audio.fireSync(stream, type); });
    engine.join();
}
} // namespace

TEST(Playback, PlayTrackStopsCreatesSetsVolumeAndPanPlaysThenSetsThreeSyncs)
{
    PlayerRig rig;
    frmMain& w = rig.start();
    w.player().SliderVolume->setValue(-55);
    w.player().SliderBalance->setValue(-30);
    w.PlayTrack(1);
    EXPECT_EQ(rig.calls(), QStringList({"BASS_ChannelStop(0)", "BASS_CD_StreamCreate(0,1," + kPlayFlags + ")",
                                        "BASS_ChannelSetAttributes(1,-1,55,-30)", "BASS_StreamPlay(1,1,0)",
                                        "BASS_ChannelSetSync(1," + kEnd + ",0,1)",
                                        "BASS_ChannelSetSync(1," + kError + ",0,0)",
                                        "BASS_ChannelSetSync(1," + kSlide + ",0,1)"}));
    EXPECT_EQ(w.state().currentStream, 1u);
    EXPECT_EQ(rig.audio.stream(1)->state, BASS_ACTIVE_PLAYING);

    // The next start stops the playing stream, which frees itself.
    rig.audio.clearCalls();
    w.PlayTrack(2);
    EXPECT_EQ(rig.calls().first(), "BASS_ChannelStop(1)");
    EXPECT_TRUE(rig.audio.stream(1)->freed);
    EXPECT_EQ(w.state().currentStream, 2u);
}

TEST(Playback, AFailedStartLeavesNothingPlayingAndSaysNothing)
{
    PlayerRig rig;
    frmMain& w = rig.start();
    w.PlayTrack(0);
    rig.audio.drives[0].doorOpen = true;
    w.PlayTrack(1);
    EXPECT_EQ(w.state().currentStream, 0u);
    EXPECT_TRUE(rig.audio.stream(1)->freed);
    EXPECT_TRUE(rig.dialogs.boxes.isEmpty());
    w.PlayTrack(7); // past the disc's end
    EXPECT_EQ(w.state().currentStream, 0u);
    EXPECT_TRUE(rig.dialogs.boxes.isEmpty());
}

TEST(Playback, NextTrackFollowsTheSelectionAndWraps)
{
    struct Row { const char* name; int rows; int selected; QString started; int selectedAfter; };
    const Row rows[] = {
        {"last row wraps to the first", 3, 3, "BASS_CD_StreamCreate(0,0," + kPlayFlags + ")", 1},
        {"middle row goes on", 3, 2, "BASS_CD_StreamCreate(0,2," + kPlayFlags + ")", 3},
        {"no selection starts the first", 3, 0, "BASS_CD_StreamCreate(0,0," + kPlayFlags + ")", 1},
        {"single row repeats", 1, 1, "BASS_CD_StreamCreate(0,0," + kPlayFlags + ")", 1},
        {"empty list plays nothing", 0, 0, "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PlayerRig rig(row.rows);
        rig.start();
        rig.select(row.selected);
        rig.window->tracks().PlayNext(true);
        EXPECT_EQ(rig.started().join(""), row.started);
        EXPECT_EQ(rig.selectedRow(), row.selectedAfter);
        EXPECT_TRUE(rig.dialogs.boxes.isEmpty());
    }
}

TEST(Playback, FadeOutSlidesToSilenceThenTheNextRowStartsAtTheSlidersVolume)
{
    PlayerRig rig;
    frmMain& w = rig.start();
    w.player().SliderVolume->setValue(-70);
    const HSTREAM fading = rig.playRow(1);
    w.cmdButton(8)->click();
    rig.audio.clearCalls();

    // The track's end meets the slide's end: one advance, not two, and only
    // once the window's thread runs.
    FireFromEngineThread(rig.audio, fading, BASS_SYNC_SLIDE);
    FireFromEngineThread(rig.audio, fading, BASS_SYNC_END);
    EXPECT_TRUE(rig.started().isEmpty());
    PlayerRig::deliver();
    EXPECT_EQ(rig.started(), QStringList({"BASS_CD_StreamCreate(0,1," + kPlayFlags + ")"}));
    EXPECT_EQ(rig.audio.stream(w.state().currentStream)->volume, 70);
    EXPECT_EQ(rig.selectedRow(), 2);
}

TEST(Playback, ACdReadErrorStopsFreesTellsOnceAndZeroesThePosition)
{
    PlayerRig rig;
    frmMain& w = rig.start();
    const HSTREAM broken = rig.playRow(1);
    w.player().SliderPosition->setValue(4000);
    rig.audio.clearCalls();
    FireFromEngineThread(rig.audio, broken, BASS_SYNC_CD_ERROR);
    FireFromEngineThread(rig.audio, broken, BASS_SYNC_END); // the broken stream also ends
    PlayerRig::deliver();
    EXPECT_EQ(rig.calls(), QStringList({QStringLiteral("BASS_ChannelStop(%1)").arg(broken),
                                        QStringLiteral("BASS_StreamFree(%1)").arg(broken)}));
    ASSERT_EQ(rig.dialogs.boxes.size(), 1);
    EXPECT_EQ(rig.dialogs.boxes[0].text, "There was an error playing back an Audio CD stream. Most probable cause "
                                         "is the CD drive was opened.");
    EXPECT_EQ(rig.dialogs.boxes[0].title, "Error");
    EXPECT_EQ(rig.dialogs.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(w.player().SliderPosition->value(), 0);
    EXPECT_EQ(w.state().currentStream, 0u);
}

TEST(Playback, SyncsOfAReplacedStreamOrAnEmptiedListStartNothing)
{
    PlayerRig rig;
    frmMain& w = rig.start();
    const HSTREAM first = rig.playRow(1);
    // The track ends while the user double-clicks another row: the late end
    // must not skip past the row the user chose.
    FireFromEngineThread(rig.audio, first, BASS_SYNC_END);
    rig.select(3);
    w.tracks().lsTracks_DblClick();
    rig.audio.clearCalls();
    PlayerRig::deliver();
    EXPECT_TRUE(rig.started().isEmpty());
    EXPECT_EQ(rig.selectedRow(), 3);

    FireFromEngineThread(rig.audio, w.state().currentStream, BASS_SYNC_END);
    w.tracks().lsTracks->clear();
    PlayerRig::deliver();
    EXPECT_TRUE(rig.started().isEmpty());
    EXPECT_TRUE(rig.dialogs.boxes.isEmpty());
}

TEST(Playback, ASyncAfterTheWindowIsGoneIsDropped)
{
    PlayerRig rig;
    rig.start().PlayTrack(0);
    const HSTREAM stream = rig.window->state().currentStream;
    rig.window.reset();
    EXPECT_EQ(rig.audio.fireSync(stream, BASS_SYNC_END), 1);
    PlayerRig::deliver();
}

TEST(Playback, DoubleClickPlaysTheClickedRow)
{
    PlayerRig rig;
    frmMain& w = rig.start();
    w.show();
    w.tracks().frMain->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QRect second = w.tracks().lsTracks->visualItemRect(w.tracks().lsTracks->topLevelItem(1));
    ASSERT_TRUE(second.isValid());
    // A real double click: press, release, then the second press arrives
    // as a double click.
    QTest::mouseClick(w.tracks().lsTracks->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(w.tracks().lsTracks->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(rig.started(), QStringList({"BASS_CD_StreamCreate(0,1," + kPlayFlags + ")"}));
}

// Without a selection a double click keeps the stream playing, and Play
// starts the first row.
TEST(Playback, WithoutASelection)
{
    for (int rows : {0, 3}) {
        SCOPED_TRACE(rows);
        PlayerRig rig(rows);
        frmMain& w = rig.start();
        if (rows)
            w.PlayTrack(0);
        rig.select(0);
        rig.audio.clearCalls();
        w.tracks().lsTracks_DblClick();
        EXPECT_TRUE(rig.calls().isEmpty());
        w.cmdButton(0)->click();
        EXPECT_EQ(rig.started().size(), rows ? 1 : 0);
        EXPECT_EQ(rig.selectedRow(), rows ? 1 : 0);
        EXPECT_TRUE(rig.dialogs.boxes.isEmpty());
    }
}

TEST(Playback, ButtonsRunTheirTransportAndDoorActions)
{
    struct Row { int index; std::function<void(PlayerRig&)> setup; QStringList calls; };
    auto paused = [](PlayerRig& r) { r.window->cmdButton(1)->click(); r.audio.clearCalls(); };
    const std::vector<Row> rows{
        {0, {}, {"BASS_ChannelStop(1)", "BASS_CD_StreamCreate(0,1," + kPlayFlags + ")"}},
        {1, {}, {"BASS_ChannelIsActive(1)", "BASS_ChannelPause(1)"}},
        {1, paused, {"BASS_ChannelIsActive(1)", "BASS_ChannelResume(1)"}},
        {2, {}, {"BASS_ChannelStop(1)"}},
        {3, {}, {"BASS_CD_Door(0,2)"}},
        {4, {}, {"BASS_CD_Door(0,3)"}},
        {5, {}, {"BASS_ChannelStop(1)", "BASS_CD_Door(0,1)"}},
        {6, {}, {"BASS_CD_Door(0,0)", "BASS_CD_GetInfo(0)", "BASS_CD_DoorIsLocked(0)"}},
        {8, {}, {"BASS_ChannelSlideAttributes(1,-1,0,-101,5000)"}}, // the fade-out
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        PlayerRig rig;
        frmMain& w = rig.start();
        rig.select(2);
        w.PlayTrack(0);
        rig.audio.clearCalls();
        if (row.setup)
            row.setup(rig);
        ASSERT_TRUE(w.cmdButton(static_cast<std::size_t>(row.index))->isEnabled());
        w.cmdButton(static_cast<std::size_t>(row.index))->click();
        const QStringList calls = rig.calls();
        EXPECT_EQ(calls.mid(0, row.calls.size()), row.calls);
    }
}
