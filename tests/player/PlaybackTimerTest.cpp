#include "WindowRig.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <stdexcept>

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
} // namespace

TEST(PlaybackTimer, RunsEveryFiftyMillisecondsFromLoadUntilShutdown)
{
    PlayerRig rig;
    frmMain& w = rig.make();
    EXPECT_EQ(w.player().tmrPlaybackPosition->interval(), 50);
    EXPECT_FALSE(w.player().tmrPlaybackPosition->isActive());
    ASSERT_EQ(w.Form_Load(), frmMain::LoadResult::Running);
    EXPECT_TRUE(w.player().tmrPlaybackPosition->isActive());
    w.close();
    EXPECT_FALSE(w.player().tmrPlaybackPosition->isActive());
}

TEST(PlaybackTimer, VolumeSliderSetsTheStreamAndShowsTenthsHalvesToEven)
{
    struct Row { int value; int volume; const char* label; };
    const Row rows[] = {{-55, 55, "Volume : 6"}, {-45, 45, "Volume : 4"}, {-100, 100, "Volume : 10"},
                        {-5, 5, "Volume : 0"}, {-15, 15, "Volume : 2"}, {0, 0, "Volume : 0"}};
    PlayerRig rig;
    frmMain& w = rig.start();
    // Without a stream the moves still reach the (failing) call and the labels.
    w.player().SliderVolume->setSliderPosition(-20);
    w.player().SliderBalance->setSliderPosition(-40);
    EXPECT_EQ(rig.calls(), QStringList({"BASS_ChannelSetAttributes(0,-1,20,-101)",
                                        "BASS_ChannelSetAttributes(0,-1,-1,-40)"}));
    EXPECT_EQ(w.player().lblVolume->text(), "Volume : 2");
    EXPECT_EQ(w.player().lblBalance->text(), "-40");
    EXPECT_TRUE(rig.dialogs.boxes.isEmpty());

    const HSTREAM s = Playing(rig, 10 * kSecond, 0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        w.player().SliderVolume->setSliderPosition(row.value); // as a user's move does
        EXPECT_EQ(rig.audio.stream(s)->volume, row.volume);
        EXPECT_EQ(w.player().lblVolume->text(), row.label);
    }
    // A change by the program updates the label only.
    rig.audio.clearCalls();
    w.player().SliderVolume->setValue(-35);
    EXPECT_EQ(w.player().lblVolume->text(), "Volume : 4");
    EXPECT_TRUE(rig.calls().isEmpty());
}

TEST(PlaybackTimer, PositionClickSeeksToTheSlidersShareOfTheLengthHalvesToEven)
{
    struct Row { QWORD length; int value; QWORD seek; };
    const Row rows[] = {
        {40 * QWORD(kSecond), 2500, 10 * QWORD(kSecond)}, // a quarter
        {10002, 2500, 2500},                              // 2500.5 -> 2500
        {10002, 7500, 7502},                              // 7501.5 -> 7502
        {10002, 10000, 10002},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        PlayerRig rig;
        frmMain& w = rig.start();
        const HSTREAM s = Playing(rig, row.length, 0);
        w.player().SliderPosition_MouseDown();
        w.player().SliderPosition->setSliderPosition(row.value);
        EXPECT_TRUE(rig.callsNamed("BASS_ChannelSetPosition").isEmpty()) << "no seek while held";
        w.player().SliderPosition_MouseUp();
        w.player().SliderPosition_Click();
        EXPECT_EQ(rig.callsNamed("BASS_ChannelSetPosition"),
                  QStringList({QStringLiteral("BASS_ChannelSetPosition(%1,%2)").arg(s).arg(row.seek)}));
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
    const QPoint spot(5, w.player().SliderPosition->height() / 2);
    QTest::mousePress(w.player().SliderPosition, Qt::LeftButton, {}, spot);
    EXPECT_TRUE(w.player().positionDrag);
    w.player().SliderPosition->setSliderPosition(2500); // dragged to a quarter
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.player().SliderPosition->value(), 2500);
    EXPECT_TRUE(rig.callsNamed("BASS_ChannelSetPosition").isEmpty());
    QTest::mouseRelease(w.player().SliderPosition, Qt::LeftButton, {}, spot);
    EXPECT_FALSE(w.player().positionDrag);
    EXPECT_EQ(rig.callsNamed("BASS_ChannelSetPosition"),
              QStringList({QStringLiteral("BASS_ChannelSetPosition(%1,%2)").arg(s).arg(10 * kSecond)}));
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.player().SliderPosition->value(), 2500);
    EXPECT_EQ(w.player().lblTrackPosition->text(), "00:10 / 00:40");

    // Keys seek at once; the timer's own moves never do.
    rig.audio.clearCalls();
    QTest::keyClick(w.player().SliderPosition, Qt::Key_PageUp);
    EXPECT_EQ(rig.callsNamed("BASS_ChannelSetPosition"),
              QStringList({QStringLiteral("BASS_ChannelSetPosition(%1,%2)").arg(s).arg(14 * kSecond)}));
    rig.audio.stream(s)->position = 30 * QWORD(kSecond);
    rig.audio.clearCalls();
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.player().SliderPosition->value(), 7500);
    EXPECT_TRUE(rig.callsNamed("BASS_ChannelSetPosition").isEmpty());
}

TEST(PlaybackTimer, PausedKeepsThePositionStoppedShowsNothing)
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
    EXPECT_EQ(w.player().SliderPosition->value(), 2875);
    w.cmdButton(2)->click(); // stop
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.player().SliderPosition->value(), 0);
    EXPECT_EQ(w.player().lblTrackPosition->text(), "");
}

TEST(PlaybackTimer, DuringARipTheProgressBarMovesInsteadOfTheSlider)
{
    PlayerRig rig;
    frmMain& w = rig.start();
    Playing(rig, 40 * QWORD(kSecond), 10 * QWORD(kSecond));
    w.tmrPlaybackPosition_Timer();
    QSignalSpy progress(&w.player(), &Player::ripProgress);
    w.state().rippingActive = true;
    rig.audio.stream(w.state().currentStream)->position = 30 * QWORD(kSecond);
    w.tmrPlaybackPosition_Timer();
    ASSERT_EQ(progress.size(), 1);
    EXPECT_FLOAT_EQ(progress[0][0].toFloat(), 0.75f);
    EXPECT_EQ(w.player().SliderPosition->value(), 2500);
    EXPECT_EQ(w.player().lblTrackPosition->text(), "00:10 / 00:40");

    // A cancelled rip's flag keeps the label too.
    w.state().rippingActive = false;
    w.state().ripStop = true;
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.player().SliderPosition->value(), 7500);
    EXPECT_EQ(w.player().lblTrackPosition->text(), "00:10 / 00:40");
}

TEST(PlaybackTimer, DoorBoxesFollowTheDriveAndReplaceTheGreyedState)
{
    PlayerRig rig;
    rig.audio.drives[0].info.canlock = 0;
    frmMain& w = rig.start();
    EXPECT_EQ(w.drives().chkRWFlags[13]->checkState(), Qt::PartiallyChecked);
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.drives().chkRWFlags[13]->checkState(), Qt::Unchecked);
    EXPECT_EQ(w.drives().chkRWFlags[14]->checkState(), Qt::Unchecked);
    rig.audio.drives[0].doorOpen = true;
    rig.audio.drives[0].doorLocked = true;
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.drives().chkRWFlags[13]->checkState(), Qt::Checked);
    EXPECT_EQ(w.drives().chkRWFlags[14]->checkState(), Qt::Checked);
}

TEST(PlaybackTimer, TheScenesDoorLabelFollowsTheDriveWhoeverLocksIt)
{
    for (const bool canLock : {true, false}) {
        SCOPED_TRACE(canLock);
        PlayerRig rig;
        rig.audio.drives[0].info.canlock = canLock;
        frmMain& w = rig.start();
        auto& scene = static_cast<RecordingFrontEnd&>(w.frontEnd());
        auto told = [&scene] {
            QStringList values;
            for (const auto& [name, value] : scene.variables)
                if (name == "_root.lock")
                    values << value;
            scene.variables.clear();
            return values;
        };
        told();
        w.tmrPlaybackPosition_Timer();
        EXPECT_EQ(told(), QStringList()) << "the scene starts unlocked";

        // Locked by someone else (a rip locks the door for each track): the
        // next tick says so, once.
        rig.audio.drives[0].doorLocked = true;
        w.tmrPlaybackPosition_Timer();
        w.tmrPlaybackPosition_Timer();
        EXPECT_EQ(told(), QStringList({"1"}));
        rig.audio.drives[0].doorLocked = false;
        w.tmrPlaybackPosition_Timer();
        EXPECT_EQ(told(), QStringList({"0"}));

        // The user's lock is announced before the door is touched; a door
        // that cannot lock is set right by the next tick.
        w.DispatchCommand("IDC_FS_lock", "");
        w.tmrPlaybackPosition_Timer();
        w.tmrPlaybackPosition_Timer();
        EXPECT_EQ(told(), canLock ? QStringList({"1"}) : QStringList({"1", "0"}));
    }
}

TEST(PlaybackTimer, AnEmptyListIsReloadedWhileTheDoorIsClosedAndErrorsShowOnce)
{
    PlayerRig rig;
    rig.audio.drives[0].ready = false;
    frmMain& w = rig.start();
    ASSERT_EQ(w.tracks().lsTracks->topLevelItemCount(), 0);
    rig.audio.drives[0].doorOpen = true;
    w.tmrPlaybackPosition_Timer();
    EXPECT_TRUE(rig.callsNamed("BASS_CD_IsReady").isEmpty()) << "no reload while the door is open";

    // A disc with an unreadable track: it lists what it can, and says so once.
    rig.audio.drives[0].doorOpen = false;
    rig.audio.drives[0].ready = true;
    rig.audio.drives[0].trackLengths = {-1};
    for (int i = 0; i < 3; ++i)
        w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(rig.callsNamed("BASS_CD_IsReady").size(), 3);
    EXPECT_EQ(rig.dialogs.boxes.size(), 1);

    rig.audio.drives[0].trackLengths = {10 * kSecond, 10 * kSecond};
    w.tmrPlaybackPosition_Timer();
    EXPECT_EQ(w.tracks().lsTracks->topLevelItemCount(), 2);
    rig.audio.clearCalls();
    w.tmrPlaybackPosition_Timer();
    EXPECT_TRUE(rig.callsNamed("BASS_CD_IsReady").isEmpty()) << "a listed disc is not reloaded";
}

namespace {
class ThrowingAudio : public FakeAudioLibrary {
public:
    bool BASS_CD_DoorIsOpen(DWORD drive) override
    {
        if (fail)
            throw std::runtime_error("drive went away");
        return FakeAudioLibrary::BASS_CD_DoorIsOpen(drive);
    }
    bool fail = false;
};
} // namespace

TEST(PlaybackTimer, AnErrorInATickStopsTheTimerForGoodAndIsLoggedOnce)
{
    ThrowingAudio audio;
    audio.drives.push_back(FakeDrive{});
    ScriptedDialogs dialogs;
    frmMain w(audio, dialogs, std::make_unique<RecordingFrontEnd>(), QStringLiteral(QUILLMERE_BIN_DIR));
    ASSERT_EQ(w.Form_Load(), frmMain::LoadResult::Running);
    audio.fail = true;
    testing::internal::CaptureStderr();
    QTRY_VERIFY_WITH_TIMEOUT(!w.player().tmrPlaybackPosition->isActive(), 5000);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(w.player().tmrPlaybackPosition->isActive());
    EXPECT_NE(err.find("drive went away"), std::string::npos) << err;
    EXPECT_EQ(err.find("drive went away"), err.rfind("drive went away")) << err;
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}
