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

    // The next start stops the playing stream, which frees itself; one that
    // fails leaves nothing playing and says nothing.
    rig.audio.clearCalls();
    rig.audio.drives[0].doorOpen = true;
    w.PlayTrack(2);
    EXPECT_EQ(rig.calls().first(), "BASS_ChannelStop(1)");
    EXPECT_TRUE(rig.audio.stream(1)->freed);
    EXPECT_EQ(w.state().currentStream, 0u);
    EXPECT_TRUE(rig.dialogs.boxes.isEmpty());
}

// The sound server went away: the output is opened again and the track made
// again on it; when that fails too, one box says why nothing is heard.
TEST(Playback, AStartOnALostOutputOpensItAgainOrSaysWhy)
{
    PlayerRig rig;
    frmMain& w = rig.start();
    rig.audio.failures["BASS_StreamPlay"] = BASS_ERROR_DRIVER;
    rig.audio.BASS_Free(); // it can be opened again
    rig.audio.clearCalls();
    w.PlayTrack(1);
    EXPECT_EQ(rig.audio.callsNamed("BASS_Init").size(), 1u);
    EXPECT_EQ(rig.audio.callsNamed("BASS_CD_StreamCreate").size(), 2u);
    EXPECT_EQ(w.state().currentStream, 0u);
    EXPECT_EQ(w.state().playingTrack, -1);
    ASSERT_EQ(rig.dialogs.boxes.size(), 1);
    EXPECT_TRUE(rig.dialogs.boxes[0].text.startsWith("The sound server went away")) << rig.dialogs.boxes[0].text.toStdString();
    EXPECT_EQ(rig.audio.callsNamed("BASS_ChannelSetSync").size(), 0u);
}

// Next and Previous on a selection are the commands' test; a track's end with
// no row selected starts the first.
TEST(Playback, TheEndWithNoRowSelectedStartsTheFirst)
{
    PlayerRig rig;
    rig.start();
    rig.window->tracks().PlayNext(true);
    EXPECT_EQ(rig.started(), QStringList{"BASS_CD_StreamCreate(0,0," + kPlayFlags + ")"});
    EXPECT_EQ(rig.selectedRow(), 1);
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
    EXPECT_EQ(w.player().SliderPosition->value(), 0);
    EXPECT_EQ(w.state().currentStream, 0u);
}

TEST(Playback, SyncsOfAReplacedStreamAnEmptiedListOrAGoneWindowStartNothing)
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

    // A sync after the window is gone is dropped.
    w.PlayTrack(0);
    const HSTREAM last = w.state().currentStream;
    rig.window.reset();
    EXPECT_EQ(rig.audio.fireSync(last, BASS_SYNC_END), 1);
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
    QTest::mouseClick(w.tracks().lsTracks->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(w.tracks().lsTracks->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(rig.started(), QStringList({"BASS_CD_StreamCreate(0,1," + kPlayFlags + ")"}));
}

TEST(Playback, ButtonsRunTheirTransportAndDoorActions)
{
    // In turn: Play on row 2, Pause, Resume, Fade Out, Open (closing is the door command's test).
    const std::pair<int, QStringList> presses[] = {
        {0, {"BASS_ChannelStop(1)", "BASS_CD_StreamCreate(0,1," + kPlayFlags + ")"}},
        {1, {"BASS_ChannelIsActive(2)", "BASS_ChannelPause(2)"}},
        {1, {"BASS_ChannelIsActive(2)", "BASS_ChannelResume(2)"}},
        {8, {"BASS_ChannelSlideAttributes(2,-1,0,-101,5000)"}},
        {5, {"BASS_ChannelStop(2)", "BASS_CD_Door(0,1)"}},
    };
    PlayerRig rig;
    frmMain& w = rig.start();
    rig.select(2);
    w.PlayTrack(0);
    for (const auto& [index, calls] : presses) {
        SCOPED_TRACE(index);
        rig.audio.clearCalls();
        w.cmdButton(static_cast<std::size_t>(index))->click();
        EXPECT_EQ(rig.calls().mid(0, calls.size()), calls);
    }
}
