// The whole player on a real sound server: the main window plays the demo disc
// through PulseAudio while the test records what it plays and moves the
// sliders. Needs scripts/test.sh's private PulseAudio (the null sink "qm"
// marks it); skipped without it.
#include "../platform/audio/AudioTestUtil.h"
#include "WindowRig.h"
#include "platform/audio/CdAudioEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSlider>
#include <gtest/gtest.h>
#include <cmath>

using namespace qm;
using namespace qm::test;

namespace {

constexpr std::size_t kRate = 44100;
constexpr std::size_t kWindow = kRate / 10;

// Recorded frame i holds source frame i - offset, times a gain per channel.
struct Recording {
    const std::int16_t* rec;
    std::size_t frames;
    const std::int16_t* src;
    std::size_t srcFrames;

    // Least-squares gain of recorded frames [from, to) on one channel.
    double gain(std::ptrdiff_t offset, std::size_t from, std::size_t to, int channel) const
    {
        double rs = 0, ss = 0;
        for (std::size_t i = from; i < to; ++i) {
            const std::ptrdiff_t j = std::ptrdiff_t(i) - offset;
            if (j >= 0 && std::size_t(j) < srcFrames) {
                rs += rec[2 * i + channel] * double(src[2 * j + channel]);
                ss += double(src[2 * j + channel]) * src[2 * j + channel];
            }
        }
        return ss > 0 ? rs / ss : 0.0;
    }
    // How closely the left channel follows the source over [from, to); 1 at best.
    double correlation(std::ptrdiff_t offset, std::size_t from, std::size_t to) const
    {
        double rs = 0, rr = 0, ss = 0;
        for (std::size_t i = from; i < to && i < frames; ++i) {
            const std::ptrdiff_t j = std::ptrdiff_t(i) - offset;
            if (j < 0 || std::size_t(j) >= srcFrames)
                continue;
            const double r = rec[2 * i], s = src[2 * j];
            rs += r * s, rr += r * r, ss += s * s;
        }
        return rr > 0 && ss > 0 ? rs / std::sqrt(rr * ss) : 0.0;
    }
};

std::size_t FirstSound(const std::int16_t* pcm, std::size_t from, std::size_t frames)
{
    while (from < frames && pcm[2 * from] == 0 && pcm[2 * from + 1] == 0)
        ++from;
    return from;
}

struct PlayerOnPulse : ::testing::Test, WindowRig {
    std::unique_ptr<MonitorRecording> monitor;
    std::unique_ptr<CdAudioEngine> engine;
    QByteArray disc; // the demo disc's bin; track 1 starts at its first byte

    void SetUp() override
    {
        if (!HasTestSink())
            GTEST_SKIP() << "no PulseAudio server with the qm null sink";
        // Recording first: the program's output opens on the recorded sink.
        monitor = std::make_unique<MonitorRecording>();
        ASSERT_TRUE(monitor->start()) << "parec recorded nothing";
        const QDir bin(QStringLiteral(QUILLMERE_BIN_DIR));
        QFile image(bin.filePath(QStringLiteral("demo/Demo.bin")));
        ASSERT_TRUE(image.open(QIODevice::ReadOnly)) << "the build writes the demo disc";
        disc = image.read(qint64(20 * kRate * 4));
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

TEST_F(PlayerOnPulse, DemoDiscIsHeardAtTheSliderVolumeAndTheBalanceMovesIt)
{
    window->player().SliderVolume->setSliderPosition(-100); // full volume, as a user's drag sets it
    window->player().SliderBalance->setSliderPosition(0);
    const std::size_t beforePlay = monitor->frames();
    playRow(1);
    ASSERT_NE(window->state().currentStream, 0u);

    // The null sink passes the samples through untouched at full volume. The
    // monitor may miss the stream's first 50 ms, so the start is searched for.
    std::size_t first = 0;
    ASSERT_TRUE(listenUntil(
        [&] {
            const std::vector<std::int16_t> heard = monitor->samples();
            first = FirstSound(heard.data(), beforePlay, heard.size() / 2);
            return heard.size() / 2 > first + kWindow;
        },
        15000))
        << "nothing was heard";
    {
        const std::vector<std::int16_t> heard = monitor->samples();
        const Recording r{heard.data(), heard.size() / 2, reinterpret_cast<const std::int16_t*>(disc.constData()),
                          std::size_t(disc.size()) / 4};
        const auto guess = std::ptrdiff_t(first) - std::ptrdiff_t(FirstSound(r.src, 0, r.srcFrames));
        std::ptrdiff_t offset = guess;
        for (std::ptrdiff_t d = guess - std::ptrdiff_t(kRate / 20) - 64; d <= guess + 64; ++d)
            if (r.correlation(d, first, first + kWindow) > r.correlation(offset, first, first + kWindow))
                offset = d;
        ASSERT_GT(r.correlation(offset, first, first + kWindow), 0.99) << "what was heard is not the demo disc";
        EXPECT_NEAR(r.gain(offset, first, first + kWindow, 0), 1.0, 0.07);
        EXPECT_NEAR(r.gain(offset, first, first + kWindow, 1), 1.0, 0.07);
    }

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
