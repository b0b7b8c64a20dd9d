// The whole player on a real sound server: the main window plays the demo disc
// through PulseAudio while the test records it and moves the balance slider
// (levels are the engine's own sound check). Needs scripts/test.sh's private
// PulseAudio (the null sink "qm" marks it); skipped without it.
#include "../platform/audio/AudioTestUtil.h"
#include "WindowRig.h"
#include "platform/audio/CdAudioEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QSlider>
#include <gtest/gtest.h>

using namespace qm;
using namespace qm::test;

namespace {

constexpr std::size_t kRate = 44100;
constexpr std::size_t kWindow = kRate / 10;

std::size_t FirstSound(const std::int16_t* pcm, std::size_t from, std::size_t frames)
{
    while (from < frames && pcm[2 * from] == 0 && pcm[2 * from + 1] == 0)
        ++from;
    return from;
}

struct PlayerOnPulse : ::testing::Test, WindowRig {
    std::unique_ptr<MonitorRecording> monitor;
    std::unique_ptr<CdAudioEngine> engine;

    void SetUp() override
    {
        if (!HasTestSink())
            GTEST_SKIP() << "no PulseAudio server with the qm null sink";
        // Recording first: the program's output opens on the recorded sink.
        monitor = std::make_unique<MonitorRecording>();
        ASSERT_TRUE(monitor->start()) << "parec recorded nothing";
        const QDir bin(QStringLiteral(QUILLMERE_BIN_DIR));
        engine = std::make_unique<CdAudioEngine>(QStringList{}, bin.filePath(QStringLiteral("demo/Demo.cue")),
                                                 CdAudioEngine::DriveScan::ImagesOnly,
                                                 EngineConfig{.output = monitor->output()});
        make(engine.get());
        ASSERT_EQ(window->Form_Load(), frmMain::LoadResult::Running);
        ASSERT_TRUE(dialogs.boxes.isEmpty()) << "the sound server was not reached";
    }
    void TearDown() override
    {
        if (window)
            window->close();
        window.reset();
        engine.reset();
        monitor.reset();
    }
    // Records while the window's events run, until `done`; false after `ms`.
    template <class Done>
    bool listenUntil(Done done, int ms)
    {
        return monitor->pumpUntil([&] { return QCoreApplication::processEvents(), done(); }, ms);
    }
};

} // namespace

TEST_F(PlayerOnPulse, DemoDiscIsHeardAndTheBalanceSliderMovesIt)
{
    window->player().SliderVolume->setSliderPosition(-100); // full volume, as a user's drag sets it
    window->player().SliderBalance->setSliderPosition(0);
    const std::size_t beforePlay = monitor->frames();
    playRow(1);
    ASSERT_NE(window->state().currentStream, 0u);

    // The monitor may miss the stream's first 50 ms, so the start is searched for.
    ASSERT_TRUE(listenUntil(
        [&] {
            const std::vector<std::int16_t> heard = monitor->samples();
            return heard.size() / 2 > FirstSound(heard.data(), beforePlay, heard.size() / 2) + kWindow;
        },
        15000))
        << "nothing was heard";

    // Balance fully left: once the server's buffer has played out, the right
    // channel is silent, not just quieter.
    window->player().SliderBalance->setSliderPosition(-100);
    EXPECT_EQ(window->player().lblBalance->text(), "-100");
    const std::size_t mark = monitor->frames();
    auto tail = [&](int channel) {
        const std::vector<std::int16_t> heard = monitor->samples();
        const std::size_t frames = heard.size() / 2, n = std::min(kRate / 2, frames - mark);
        return Rms(heard.data() + 2 * (frames - n), n, channel);
    };
    listenUntil([&] { return monitor->frames() > mark + kRate * 2 && tail(1) < tail(0) / 100; }, 10000);
    const double left = tail(0), right = tail(1);
    window->player().cmdButton_Click(2);
    EXPECT_GT(left, 300);
    EXPECT_LT(right, left / 100);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}
