// The whole player on a real sound server: the main window plays the demo disc
// through PulseAudio while the test records what it plays and moves the
// volume and balance sliders. The recording is lined up with the disc's
// own samples, so each stretch shows the gain that was applied per channel.
// Needs scripts/test.sh's private PulseAudio (the null sink "qm" marks it);
// skipped without it.
#include "../platform/audio/AudioTestUtil.h"
#include "RecordingFrontEnd.h"
#include "ScriptedDialogs.h"
#include "WindowRig.h"
#include "platform/audio/CdAudioEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QSlider>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace qm;
using namespace qm::test;

namespace {

constexpr std::size_t kRate = 44100;
constexpr std::size_t kWindow = kRate / 10; // gains are fitted per tenth of a second

// The recording against the disc: recorded frame i holds source frame
// i - offset, times a gain per channel.
struct Recording {
    const std::int16_t* rec;
    std::size_t frames;
    const std::int16_t* src;
    std::size_t srcFrames;

    // Least-squares gain of recorded frames [from, to) on one channel; empty
    // where the source is too quiet to tell.
    std::optional<double> gain(std::ptrdiff_t offset, std::size_t from, std::size_t to, int channel) const
    {
        double rs = 0, ss = 0;
        for (std::size_t i = from; i < to; ++i) {
            const std::ptrdiff_t j = std::ptrdiff_t(i) - offset;
            if (j < 0 || std::size_t(j) >= srcFrames)
                continue;
            const double s = src[2 * j + channel];
            rs += rec[2 * i + channel] * s;
            ss += s * s;
        }
        if (ss < double(to - from) * 100.0 * 100.0)
            return std::nullopt;
        return rs / ss;
    }
    // How closely the recording follows the source over [from, to), whatever
    // the gain of each channel; 1 at best. A silent channel does not count.
    double correlation(std::ptrdiff_t offset, std::size_t from, std::size_t to) const
    {
        double sum = 0;
        int channels = 0;
        for (int c = 0; c < 2; ++c) {
            double rs = 0, rr = 0, ss = 0;
            for (std::size_t i = from; i < to && i < frames; ++i) {
                const std::ptrdiff_t j = std::ptrdiff_t(i) - offset;
                if (j < 0 || std::size_t(j) >= srcFrames)
                    continue;
                const double r = rec[2 * i + c], s = src[2 * j + c];
                rs += r * s;
                rr += r * r;
                ss += s * s;
            }
            if (rr > 0 && ss > 0) {
                sum += rs / std::sqrt(rr * ss);
                ++channels;
            }
        }
        return channels ? sum / channels : 0.0;
    }
    // The offset within `reach` of `guess` at which the recording follows the
    // source best.
    std::ptrdiff_t bestOffset(std::ptrdiff_t guess, std::ptrdiff_t reach, std::size_t from, std::size_t to) const
    {
        std::ptrdiff_t best = guess;
        double top = -1;
        for (std::ptrdiff_t d = guess - reach; d <= guess + reach; ++d) {
            if (const double c = correlation(d, from, to); c > top) {
                top = c;
                best = d;
            }
        }
        return best;
    }
};

std::size_t FirstSound(const std::int16_t* pcm, std::size_t from, std::size_t frames)
{
    for (std::size_t i = from; i < frames; ++i)
        if (pcm[2 * i] != 0 || pcm[2 * i + 1] != 0)
            return i;
    return frames;
}

// A tenth of a second of the recording with the offset in effect there.
struct Window {
    std::size_t start;
    std::ptrdiff_t offset;
    bool gap; // holds a run of silence
};

// Cuts the recording into windows from the first sound on. Where playback ran
// dry (the server's buffer on a busy machine, or the read-ahead behind the
// output) the recording holds a run of digital silence and then goes on with
// the samples that were due: after such a run the samples are looked for
// again, shifted by its length, and the windows it touches are left out.
std::vector<Window> Windows(const Recording& r, std::size_t first, std::ptrdiff_t offset)
{
    // Longer than the music's own zero crossings; a quiet moment that is as
    // long is told apart by the samples after it.
    constexpr std::size_t kRunFrames = 32;
    struct Run {
        std::size_t from, to;
    };
    std::vector<Run> runs;
    for (std::size_t i = first, from = first; i <= r.frames; ++i) {
        if (i < r.frames && r.rec[2 * i] == 0 && r.rec[2 * i + 1] == 0)
            continue;
        if (i - from >= kRunFrames)
            runs.push_back({from, i});
        from = i + 1;
    }
    std::vector<Window> windows;
    auto next = runs.begin();
    std::size_t skipped = 0;
    for (std::size_t w = first; w + kWindow <= r.frames; w += kWindow) {
        bool gap = false;
        for (; next != runs.end() && next->from < w + kWindow; ++next) {
            gap = true;
            if (next->to > w + kWindow)
                break; // goes on into the next window
            skipped += next->to - next->from;
        }
        if (!gap && skipped > 0) {
            const std::ptrdiff_t shifted = r.bestOffset(offset + std::ptrdiff_t(skipped), 16, w, w + kWindow);
            if (r.correlation(shifted, w, w + kWindow) > r.correlation(offset, w, w + kWindow))
                offset = shifted;
            skipped = 0;
        }
        windows.push_back({w, offset, gap});
    }
    return windows;
}

// One slider move: the gains (left, right) before and after it.
struct Move {
    const char* what;
    std::function<void()> make;
    std::array<double, 2> before, after;
    std::size_t mark = 0; // frames recorded when the slider moved
};

bool Near(double gain, double expected) { return std::abs(gain - expected) <= 0.02 + 0.05 * expected; }

// The windows of [from, to) as letters: 'b' where the gains are those before
// the move, 'a' after it, '?' neither; too quiet to tell or a gap: left out.
std::string Course(const Recording& r, const std::vector<Window>& windows, std::size_t from, std::size_t to,
                   const Move& move)
{
    std::string course;
    for (const Window& w : windows) {
        if (w.start < from || w.start + kWindow > to || w.gap)
            continue;
        const auto left = r.gain(w.offset, w.start, w.start + kWindow, 0);
        const auto right = r.gain(w.offset, w.start, w.start + kWindow, 1);
        if (!left || !right)
            continue;
        auto is = [&](const std::array<double, 2>& g) { return Near(*left, g[0]) && Near(*right, g[1]); };
        course += is(move.after) ? 'a' : is(move.before) ? 'b' : '?';
    }
    return course;
}

// The gains change once, for good, and the new ones last a while: the old
// ones (what was already in the server's buffer), at most one window that
// holds the change, then at least three tenths at the new gains.
bool ChangesOnce(const std::string& course)
{
    static const QRegularExpression shape(QStringLiteral("^b*\\??a{3,}$"));
    return shape.match(QString::fromStdString(course)).hasMatch();
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
        const QString cue = QDir(QStringLiteral(QUILLMERE_BIN_DIR)).filePath(QStringLiteral("demo/Demo.cue"));
        QFile bin(QDir(QStringLiteral(QUILLMERE_BIN_DIR)).filePath(QStringLiteral("demo/Demo.bin")));
        ASSERT_TRUE(bin.open(QIODevice::ReadOnly)) << "the build writes the demo disc";
        disc = bin.read(qint64(20 * kRate * 4));
        engine = std::make_unique<CdAudioEngine>(QStringList{}, cue, CdAudioEngine::DriveScan::ImagesOnly,
                                                 EngineConfig{.output = monitor->output()});
        make(engine.get());
        ASSERT_EQ(window->Form_Load(), frmMain::LoadResult::Running);
        ASSERT_GE(window->tracks().lsTracks->topLevelItemCount(), 1);
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

    // Records while the window's events run, as they would in the program,
    // until `done`; false when that took longer than `ms`.
    template <class Done>
    bool listenUntil(Done done, int ms)
    {
        return monitor->pumpUntil(
            [&] {
                QCoreApplication::processEvents();
                return done();
            },
            ms);
    }
    // What has been heard, against the disc; valid while `heard` lives.
    Recording recording(const std::vector<std::int16_t>& heard) const
    {
        return {heard.data(), heard.size() / 2, reinterpret_cast<const std::int16_t*>(disc.constData()),
                std::size_t(disc.size()) / 4};
    }
};

} // namespace

TEST_F(PlayerOnPulse, DemoDiscIsHeardAtTheSliderVolumeAndTheBalanceMovesIt)
{
    // Full volume (the top of the slider) and centred, as a user's drag sets them.
    window->player().SliderVolume->setSliderPosition(-100);
    window->player().SliderBalance->setSliderPosition(0);
    window->tracks().lsTracks->clearSelection();
    window->tracks().lsTracks->topLevelItem(0)->setSelected(true);
    const std::size_t beforePlay = monitor->frames();
    window->tracks().lsTracks_DblClick();
    ASSERT_NE(window->state().currentStream, 0u);

    // The null sink passes the samples through untouched at full volume, so
    // the first sound heard is the track's first sound.
    std::size_t first = 0;
    ASSERT_TRUE(listenUntil(
        [&] {
            const std::vector<std::int16_t> heard = monitor->samples();
            first = FirstSound(heard.data(), beforePlay, heard.size() / 2);
            return heard.size() / 2 > first + kWindow;
        },
        15000))
        << "nothing was heard";
    std::ptrdiff_t offset = 0;
    {
        const std::vector<std::int16_t> heard = monitor->samples();
        const Recording start = recording(heard);
        const std::ptrdiff_t guess = std::ptrdiff_t(first) - std::ptrdiff_t(FirstSound(start.src, 0, start.srcFrames));
        // The monitor may miss the stream's first moments: when it joins, the
        // sink renders again what it had mixed ahead, and what the monitor had
        // already passed on stays. So the first sound heard may lie up to
        // 50 ms into the track.
        constexpr std::ptrdiff_t kMissed = kRate / 20;
        offset = start.bestOffset(guess - kMissed / 2, kMissed / 2 + 64, first, first + kWindow);
        ASSERT_GT(start.correlation(offset, first, first + kWindow), 0.99) << "what was heard is not the demo disc";
    }

    // A second and a half at full volume, then each move is followed until
    // the recording shows its new gains for a while: how long the server's
    // buffer and a busy machine delay that varies.
    listenUntil([&] { return monitor->frames() > first + kRate * 3 / 2; }, 15000);
    Move moves[] = {
        {"volume 100 to 25",
         [&] {
             window->player().SliderVolume->setSliderPosition(-25);
             EXPECT_EQ(window->player().lblVolume->text(), "Volume : 2");
         },
         {1, 1},
         {0.25, 0.25}},
        {"balance centre to left",
         [&] {
             window->player().SliderBalance->setSliderPosition(-100);
             EXPECT_EQ(window->player().lblBalance->text(), "-100");
         },
         {0.25, 0.25},
         {0.25, 0}},
    };
    for (Move& move : moves) {
        move.mark = monitor->frames();
        move.make();
        listenUntil(
            [&] {
                if (monitor->frames() < move.mark + kRate * 3 / 2)
                    return false;
                if (monitor->frames() > move.mark + kRate * 5)
                    return true; // it is not coming: the checks below say what came instead
                const std::vector<std::int16_t> heard = monitor->samples();
                const Recording r = recording(heard);
                return Course(r, Windows(r, first, offset), move.mark, r.frames, move).ends_with("aaa");
            },
            20000);
    }
    window->player().cmdButton_Click(2);

    const std::vector<std::int16_t> heard = monitor->samples();
    const Recording r = recording(heard);
    const std::vector<Window> windows = Windows(r, first, offset);
    const std::string untilVolume = Course(r, windows, first, moves[0].mark, moves[0]);
    EXPECT_GE(untilVolume.size(), 5u);
    EXPECT_EQ(untilVolume.find_first_not_of('b'), std::string::npos)
        << "full volume before the slider moved: " << untilVolume;
    const std::size_t ends[] = {moves[1].mark, r.frames};
    for (std::size_t m = 0; m < std::size(moves); ++m) {
        const std::string course = Course(r, windows, moves[m].mark, ends[m], moves[m]);
        EXPECT_TRUE(ChangesOnce(course)) << moves[m].what << ": " << course;
    }
    // With the balance fully left the right channel is silent, not just
    // quieter: nothing of the track is left in it.
    const std::size_t tail = std::min<std::size_t>(kRate / 2, r.frames - moves[1].mark);
    const std::int16_t* last = r.rec + 2 * (r.frames - tail);
    EXPECT_GT(Rms(last, tail, 0), 300);
    EXPECT_LT(Rms(last, tail, 1), Rms(last, tail, 0) / 100);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}
