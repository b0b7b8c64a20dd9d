#include "WindowRig.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <stdexcept>
#include <utility>

using namespace qm;
using namespace qm::test;

namespace {
// A stream of track 0 playing at `position` bytes of `length`.
HSTREAM Playing(PlayerRig& rig, QWORD length, QWORD position)
{
    rig.audio.drives[0].trackLengths[0] = static_cast<std::int32_t>(length);
    rig.window->PlayTrack(0);
    const HSTREAM s = rig.window->state().currentStream;
    rig.audio.stream(s)->position = position;
    rig.audio.clearCalls();
    return s;
}
QString Seek(HSTREAM s, QWORD to) { return QStringLiteral("BASS_ChannelSetPosition(%1,%2)").arg(s).arg(to); }
} // namespace

TEST(PlaybackTimer, VolumeSliderSetsTheStreamAndShowsTenthsHalvesToEven)
{
    PlayerRig rig;
    frmMain& w = rig.start();
    // Without a stream the moves still reach the (failing) call and the labels.
    w.player().SliderVolume->setSliderPosition(-20);
    w.player().SliderBalance->setSliderPosition(-40);
    EXPECT_EQ(rig.calls(), QStringList({"BASS_ChannelSetAttributes(0,-1,20,-101)",
                                        "BASS_ChannelSetAttributes(0,-1,-1,-40)"}));
    EXPECT_EQ(w.player().lblBalance->text(), "-40");
    EXPECT_TRUE(rig.dialogs.boxes.isEmpty());

    const HSTREAM s = Playing(rig, 10 * kSecond, 0);
    for (const auto& [value, label] : {std::pair{-55, "Volume : 6"}, {-45, "Volume : 4"}, {-100, "Volume : 10"}}) {
        w.player().SliderVolume->setSliderPosition(value); // as a user's move does
        EXPECT_EQ(rig.audio.stream(s)->volume, -value);
        EXPECT_EQ(w.player().lblVolume->text(), label);
    }
    w.player().SliderBalance->setSliderPosition(30);
    EXPECT_EQ(rig.audio.stream(s)->pan, 30);
    // A change by the program updates the label only.
    rig.audio.clearCalls();
    w.player().SliderVolume->setValue(-35);
    EXPECT_EQ(w.player().lblVolume->text(), "Volume : 4");
    EXPECT_TRUE(rig.calls().isEmpty());
}

TEST(PlaybackTimer, PositionClickSeeksToTheSlidersShareOfTheLengthHalvesToEven)
{
    for (const auto& [value, seek] : {std::pair{2500, QWORD(2500)}, {7500, QWORD(7502)}}) { // of 10002 bytes
        PlayerRig rig;
        frmMain& w = rig.start();
        const HSTREAM s = Playing(rig, 10002, 0);
        w.player().SliderPosition_MouseDown();
        w.player().SliderPosition->setSliderPosition(value);
        w.player().SliderPosition_MouseUp();
        w.player().SliderPosition_Click();
        EXPECT_EQ(rig.callsNamed("BASS_ChannelSetPosition"), QStringList{Seek(s, seek)});
    }
}

TEST(PlaybackTimer, HeldPositionSliderIsLeftAloneAndTheReleaseSeeks)
{
    PlayerRig rig;
    frmMain& w = rig.start();
    w.show();
    w.tracks().frMain->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const HSTREAM s = Playing(rig, 40 * QWORD(kSecond), 20 * QWORD(kSecond));
    QSlider* slider = w.player().SliderPosition;
    const QPoint spot(5, slider->height() / 2);
    QTest::mousePress(slider, Qt::LeftButton, {}, spot);
    slider->setSliderPosition(2500); // dragged to a quarter
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(slider->value(), 2500);
    EXPECT_TRUE(rig.callsNamed("BASS_ChannelSetPosition").isEmpty());
    QTest::mouseRelease(slider, Qt::LeftButton, {}, spot);
    EXPECT_EQ(rig.callsNamed("BASS_ChannelSetPosition"), QStringList{Seek(s, 10 * kSecond)});

    // Keys seek at once; the timer's own moves never do.
    rig.audio.clearCalls();
    QTest::keyClick(slider, Qt::Key_PageUp);
    EXPECT_EQ(rig.callsNamed("BASS_ChannelSetPosition"), QStringList{Seek(s, 14 * kSecond)});
    rig.audio.stream(s)->position = 30 * QWORD(kSecond);
    rig.audio.clearCalls();
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(slider->value(), 7500);
    EXPECT_TRUE(rig.callsNamed("BASS_ChannelSetPosition").isEmpty());
}

TEST(PlaybackTimer, PausedKeepsThePositionStoppedShowsNothingRippingMovesTheBar)
{
    PlayerRig rig;
    frmMain& w = rig.start();
    const HSTREAM s = Playing(rig, 40 * QWORD(kSecond), 10 * QWORD(kSecond) + kSecond / 2); // 10.5 s
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.player().SliderPosition->value(), 2625);
    EXPECT_EQ(w.player().lblTrackPosition->text(), "00:10 / 00:40"); // halves to even
    rig.audio.stream(s)->position = 11 * QWORD(kSecond) + kSecond / 2;
    w.cmdButton(1)->click(); // pause
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.player().lblTrackPosition->text(), "00:12 / 00:40");

    // During a rip (or after a cancelled one) the progress moves, not the slider.
    QSignalSpy progress(&w.player(), &Player::ripProgress);
    w.state().rippingActive = true;
    rig.audio.stream(s)->position = 30 * QWORD(kSecond);
    w.tmrPlaybackPosition_Timer();
    ASSERT_EQ(progress.size(), 1);
    EXPECT_FLOAT_EQ(progress[0][0].toFloat(), 0.75f);
    EXPECT_EQ(w.player().SliderPosition->value(), 2875);
    w.state().rippingActive = false;
    w.state().ripStop = true;
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.player().lblTrackPosition->text(), "00:12 / 00:40");

    w.state().ripStop = false;
    w.cmdButton(2)->click(); // stop
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.player().SliderPosition->value(), 0);
    EXPECT_EQ(w.player().lblTrackPosition->text(), "");
}

// The door boxes replace their greyed state, and the scene's lock label
// follows the drive whoever locks it (a rip locks it for each track), once.
TEST(PlaybackTimer, DoorBoxesAndTheScenesLockLabelFollowTheDrive)
{
    PlayerRig rig;
    rig.audio.drives[0].info.canlock = 0;
    frmMain& w = rig.start();
    auto told = [&rig] { // what the scene was told of the lock since the last look
        QStringList values;
        for (const auto& [name, value] : std::exchange(rig.frontEnd->variables, {}))
            if (name == "_root.lock")
                values << value;
        return values;
    };
    EXPECT_EQ(w.drives().chkRWFlags[13]->checkState(), Qt::PartiallyChecked);
    told();
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.drives().chkRWFlags[13]->checkState(), Qt::Unchecked);
    EXPECT_EQ(told(), QStringList()) << "the scene starts unlocked";
    rig.audio.drives[0].doorOpen = true;
    rig.audio.drives[0].doorLocked = true;
    w.tmrPlaybackPosition_Timer();
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.drives().chkRWFlags[13]->checkState(), Qt::Checked);
    EXPECT_EQ(w.drives().chkRWFlags[14]->checkState(), Qt::Checked);
    EXPECT_EQ(told(), QStringList({"1"}));
    rig.audio.drives[0].doorLocked = false;
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(told(), QStringList({"0"}));
    // The user's lock is announced at once; a door that cannot lock is set right by the next tick.
    w.DispatchCommand("IDC_FS_lock", "");
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(told(), QStringList({"1", "0"}));
}

TEST(PlaybackTimer, AnEmptyListIsReloadedOnlyWhileTheDoorIsClosed)
{
    PlayerRig rig;
    rig.audio.drives[0].ready = false;
    frmMain& w = rig.start();
    ASSERT_EQ(w.tracks().lsTracks->topLevelItemCount(), 0);
    rig.audio.drives[0].doorOpen = true;
    w.tmrPlaybackPosition_Timer();
    EXPECT_TRUE(rig.callsNamed("BASS_CD_IsReady").isEmpty()) << "no reload while the door is open";
    rig.audio.drives[0].doorOpen = false;
    rig.audio.drives[0].ready = true;
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.tracks().lsTracks->topLevelItemCount(), 3);
    rig.audio.clearCalls();
    w.tmrPlaybackPosition_Timer();
    EXPECT_TRUE(rig.callsNamed("BASS_CD_IsReady").isEmpty()) << "a listed disc is not reloaded";
}

TEST(PlaybackTimer, RunsFromLoadUntilAnErrorInATickStopsItForGoodLoggedOnce)
{
    struct ThrowingAudio : FakeAudioLibrary {
        bool fail = false;
        bool BASS_CD_DoorIsOpen(DWORD drive) override
        {
            if (fail)
                throw std::runtime_error("drive went away");
            return FakeAudioLibrary::BASS_CD_DoorIsOpen(drive);
        }
    } audio;
    audio.drives.push_back(FakeDrive{});
    ScriptedDialogs dialogs;
    frmMain w(audio, dialogs, std::make_unique<RecordingFrontEnd>(), QStringLiteral(QUILLMERE_BIN_DIR));
    ASSERT_EQ(w.Form_Load(), frmMain::LoadResult::Running);
    EXPECT_EQ(w.player().tmrPlaybackPosition->interval(), 50);
    EXPECT_TRUE(w.player().tmrPlaybackPosition->isActive());
    audio.fail = true;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.player().tmrPlaybackPosition->isActive(); }, 5000));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("drive went away"), std::string::npos) << err;
    EXPECT_EQ(err.find("drive went away"), err.rfind("drive went away")) << err;
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}
