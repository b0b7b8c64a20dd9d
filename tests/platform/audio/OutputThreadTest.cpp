#include "AudioTestUtil.h"
#include "platform/audio/output/NullOutput.h"
#include "platform/audio/output/OutputThread.h"

#include <atomic>
#include <gtest/gtest.h>

using qm::audio::NullOutput;
using qm::audio::OutputThread;

namespace {

using qm::test::WaitUntil;

TEST(OutputThreadTest, ALostDeviceIsReportedOnceAndEndsTheThread)
{
    NullOutput out(50.0);
    std::atomic<int> lost{0};
    OutputThread thread(out, [](std::int16_t* buf, std::size_t frames) {
        std::fill(buf, buf + frames * 2, std::int16_t(1));
        return true;
    }, [&] { ++lost; });
    ASSERT_TRUE(WaitUntil([&] { return out.framesWritten() > 0; }));
    out.breakDevice();
    ASSERT_TRUE(WaitUntil([&] { return thread.lost(); }));
    thread.stop();
    thread.stop();
    EXPECT_EQ(lost, 1);
}

} // namespace

namespace {

// The silent output is heard as a sound card would be: at its pace, and
// after a pause (nothing written) from where the pause ended, not rushing
// through the time the pause took.
TEST(NullOutputTest, APauseDoesNotMakeTheNextWritesRush)
{
    using Clock = NullOutput::Clock;
    Clock::time_point now{};
    std::vector<Clock::time_point> due;
    NullOutput out(1.0, {[&] { return now; }, [&](Clock::time_point t) { due.push_back(t); now = std::max(now, t); }});
    const std::vector<std::int16_t> block(4410 * 2); // 100 ms
    const auto ms = [](int n) { return Clock::time_point{} + std::chrono::milliseconds(n); };
    ASSERT_TRUE(out.write(block.data(), 4410));
    ASSERT_TRUE(out.write(block.data(), 4410));
    now += std::chrono::milliseconds(5); // a mixing turn's delay keeps the pace
    ASSERT_TRUE(out.write(block.data(), 4410));
    now += std::chrono::seconds(5); // paused
    ASSERT_TRUE(out.write(block.data(), 4410));
    EXPECT_EQ(due, (std::vector<Clock::time_point>{ms(100), ms(200), ms(300), ms(5300 + 100)}));
}

} // namespace
