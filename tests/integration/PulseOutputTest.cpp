// Needs the PulseAudio daemon with the null sink "qm" that scripts/test.sh
// starts (PULSE_SERVER points at it); skipped without one.
#include "../platform/audio/AudioTestUtil.h"
#include "platform/audio/output/OutputThread.h"
#include "platform/audio/output/PulseOutput.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

using qm::audio::OutputThread;
using qm::audio::PulseOutput;

namespace {

TEST(PulseOutputTest, PlaysATonePrecisely)
{
    if (!qm::test::HasTestSink())
        GTEST_SKIP() << "no PulseAudio server with the qm null sink";
    qm::test::MonitorRecording rec;
    ASSERT_TRUE(rec.start());

    std::string error;
    auto out = PulseOutput::Open(&error);
    ASSERT_TRUE(out) << error;
    auto tone = qm::test::SineStereo(440, 1.5, 0.5);
    std::size_t at = 0;
    std::atomic<bool> done{false};
    OutputThread thread(*out, [&](std::int16_t* buf, std::size_t frames) {
        if (at >= tone.size()) {
            done = true;
            return false;
        }
        std::size_t n = std::min(frames * 2, tone.size() - at);
        std::copy(tone.begin() + long(at), tone.begin() + long(at + n), buf);
        std::fill(buf + n, buf + frames * 2, std::int16_t(0));
        at += n;
        return true;
    }, nullptr);
    ASSERT_TRUE(rec.pumpUntil([&] { return done.load(); }, 30000));
    // The sink stalls up to ~2 s when idle; leave room for that and the tail.
    rec.pump(2500);
    thread.stop();
    const auto s = rec.samples();
    const auto heard = qm::test::FindHeard(s);
    ASSERT_GT(heard.frames(), 0u) << "nothing was heard in " << rec.frames() << " frames";
    EXPECT_NEAR(heard.frames() / 44100.0, 1.5, 0.1);
    EXPECT_NEAR(qm::test::ToneFrequency(s.data() + 2 * heard.first, heard.frames()), 440, 5);
    for (int channel : {0, 1})
        EXPECT_NEAR(qm::test::Rms(s.data() + 2 * heard.first, heard.frames(), channel), 0.5 * 32767 / std::sqrt(2.0),
                    600);
}

TEST(PulseOutputTest, NoReachableServerIsAClearFailure)
{
    const char* old = std::getenv("PULSE_SERVER");
    std::string saved = old ? old : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/quillmere/native", 1);
    std::string error;
    EXPECT_FALSE(PulseOutput::Open(&error));
    EXPECT_FALSE(error.empty());
    if (old)
        setenv("PULSE_SERVER", saved.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}

} // namespace
