// Needs the PulseAudio daemon with the null sink "qm" that scripts/test.sh
// starts (PULSE_SERVER points at it); skipped without one. How what it plays
// sounds is the engine's tests' concern (EnginePlaybackTest).
#include "../platform/audio/AudioTestUtil.h"
#include "platform/audio/output/OutputThread.h"
#include "platform/audio/output/PulseOutput.h"

#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>

using qm::audio::OutputThread;
using qm::audio::PulseOutput;

namespace {

// Hands the sound over in the blocks asked for; `done` once all of it was.
OutputThread::MixProc PlayOnce(std::vector<std::int16_t> sound, std::atomic<bool>& done)
{
    return [sound = std::move(sound), at = std::size_t(0), &done](std::int16_t* buf, std::size_t frames) mutable {
        if (at >= sound.size()) {
            done = true;
            return false;
        }
        const std::size_t n = std::min(frames * 2, sound.size() - at);
        std::copy(sound.begin() + long(at), sound.begin() + long(at + n), buf);
        std::fill(buf + n, buf + frames * 2, std::int16_t(0));
        at += n;
        return true;
    };
}

// The state pactl gives a sink: RUNNING, IDLE or SUSPENDED.
QString SinkState(const QString& name)
{
    for (const QByteArray& line : qm::test::RunTool("pactl", {"list", "short", "sinks"}, 10000).split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() >= 5 && fields[1] == name.toLatin1())
            return QString::fromLatin1(fields[4].trimmed());
    }
    return {};
}

// Seconds, from pactl's "Latency: N usec, configured M usec"; -1 when not found.
double ConfiguredLatency(const QString& name)
{
    const QString all = QString::fromLocal8Bit(qm::test::RunTool("pactl", {"list", "sinks"}, 10000));
    const qsizetype at = all.indexOf(QStringLiteral("Name: ") + name + '\n');
    const auto match = QRegularExpression(QStringLiteral("configured (\\d+) usec")).match(all, at);
    return at >= 0 && match.hasMatch() ? match.captured(1).toDouble() / 1e6 : -1;
}

// The server is not made to hurry for us: its sink holds a second while we
// play (at the least it could hold it woke two thousand times a second), and
// once all was heard the stream is corked, so the sink can rest.
TEST(RealTimePulse, TheSinkHoldsASecondWhilePlayingAndRestsOnceAllIsHeard)
{
    if (!qm::test::HasTestSink())
        GTEST_SKIP() << "no PulseAudio server with the qm null sink";
    qm::test::PrivateSink sink(QStringLiteral("qm_rest")); // no recorder: that would set the sink's latency
    ASSERT_TRUE(sink.made());
    std::string error;
    auto out = PulseOutput::Open({}, sink.output().pulseSink, &error);
    ASSERT_TRUE(out) << error;
    EXPECT_NE(SinkState(sink.name()), QStringLiteral("RUNNING")) << "opened corked";
    std::atomic<bool> done{false};
    OutputThread thread(*out, PlayOnce(qm::test::SineStereo(440, 2, 0.5), done), nullptr);
    EXPECT_TRUE(qm::test::WaitUntil([&] { return SinkState(sink.name()) == QStringLiteral("RUNNING"); }));
    EXPECT_GE(ConfiguredLatency(sink.name()), 0.5);
    ASSERT_TRUE(qm::test::WaitUntil([&] { return done.load(); })) << "the sound was never all taken";
    // Written whole; the last of it is heard some two seconds later.
    EXPECT_EQ(SinkState(sink.name()), QStringLiteral("RUNNING")) << "corked before the end was heard";
    EXPECT_TRUE(qm::test::WaitUntil([&] { return SinkState(sink.name()) != QStringLiteral("RUNNING"); }, 10000))
        << "the stream kept the sink running";
    thread.stop();
    EXPECT_FALSE(thread.lost());
}

} // namespace
