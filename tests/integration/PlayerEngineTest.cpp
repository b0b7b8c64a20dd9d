// The player on the real engine: a generated cue/bin image played through the
// fast silent output, the window's real timer and the engine's own threads.
#include "DiscImageWriter.h"
#include "WindowRig.h"
#include "platform/audio/CdAudioEngine.h"

#include <QLabel>
#include <QRegularExpression>

using namespace qm;
using namespace qm::test;

namespace {

struct PlayerOnEngine : ::testing::Test, WindowRig {
    std::unique_ptr<CdAudioEngine> engine;

    void SetUp() override
    {
        DiscLayout layout;
        for (double seconds : {8.0, 3.0, 3.0})
            layout.tracks.push_back(ImageTrack{TonePcm(seconds, 440, 660)});
        const WrittenImage image = WriteDiscImage(dir.path(), QStringLiteral("disc"), layout);
        engine = std::make_unique<CdAudioEngine>(QStringList{image.cue}, QString(),
                                                 CdAudioEngine::DriveScan::ImagesOnly,
                                                 EngineConfig{.output = {.kind = "null:fast"}});
        make(engine.get());
        ASSERT_EQ(window->Form_Load(), frmMain::LoadResult::Running);
        ASSERT_EQ(window->tracks().lsTracks->topLevelItemCount(), 3);
    }
    void TearDown() override
    {
        if (window)
            window->close();
        window.reset();
        engine.reset();
    }

    void doubleClick(int row)
    {
        select(row);
        window->tracks().lsTracks_DblClick();
    }
    // Seconds shown by the position label, -1 while it is empty.
    int shownSeconds() const
    {
        static const QRegularExpression re(QStringLiteral("^(\\d\\d):(\\d\\d) / \\d\\d:\\d\\d$"));
        const auto m = re.match(window->player().lblTrackPosition->text());
        return m.hasMatch() ? m.captured(1).toInt() * 60 + m.captured(2).toInt() : -1;
    }
};

} // namespace

TEST_F(PlayerOnEngine, DoubleClickPlaysTheLabelAdvancesAndTheEndMovesOnAndWraps)
{
    doubleClick(1);
    ASSERT_NE(window->state().currentStream, 0u);
    // The label counts up through the first track.
    int first = -1, last = -1;
    auto countedUp = [&] {
        if (const int s = shownSeconds(); s >= 0 && selectedRow() == 1) {
            first = first < 0 ? s : first;
            last = std::max(last, s);
        }
        return (first >= 0 && last > first) || selectedRow() != 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(countedUp(), 10000);
    EXPECT_GE(first, 0);
    EXPECT_GT(last, first);

    // Its end starts row 2, then row 3, then wraps to row 1.
    QTRY_COMPARE_WITH_TIMEOUT(selectedRow(), 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(selectedRow(), 3, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(selectedRow(), 1, 10000);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(PlayerOnEngine, OpeningTheImageDoorMidTrackGivesOneMessageAndStops)
{
    doubleClick(1);
    QTRY_VERIFY_WITH_TIMEOUT(shownSeconds() >= 1, 5000);
    engine->BASS_CD_Door(static_cast<DWORD>(window->state().currentDrive), BASS_CD_DOOR_OPEN);
    QTRY_COMPARE_WITH_TIMEOUT(dialogs.boxes.size(), 1, 10000);
    // Whatever the stopped stream still had on its way has arrived by now.
    QTRY_COMPARE_WITH_TIMEOUT(engine->BASS_ChannelIsActive(window->state().currentStream), BASS_ACTIVE_STOPPED, 5000);
    deliver();
    EXPECT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].title, "Error");
    EXPECT_EQ(window->player().SliderPosition->value(), 0);
    EXPECT_EQ(window->player().lblTrackPosition->text(), "");
}
