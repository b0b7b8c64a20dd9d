#include "AudioTestUtil.h"
#include "platform/audio/output/NullOutput.h"
#include "platform/audio/output/OutputThread.h"

#include <atomic>
#include <mutex>
#include <gtest/gtest.h>

using qm::audio::NullOutput;
using qm::audio::OutputThread;
using qm::audio::SyncEvent;
using qm::DWORD;
using qm::HSYNC;
using qm::SYNCPROC;

namespace {

using qm::test::WaitUntil;

// Plays ones, and raises the events it is given with its first block.
struct Ones : OutputThread::Source {
    std::vector<SyncEvent> first;
    std::size_t mix(std::int16_t* out, std::size_t maxFrames, std::uint64_t, std::vector<SyncEvent>& events) override
    {
        std::fill(out, out + maxFrames * 2, std::int16_t(1));
        events.insert(events.end(), first.begin(), first.end());
        first.clear();
        return maxFrames;
    }
};

// Procedures run on the output thread once what raised them is heard, one
// cancelled never runs, and a lost device ends the thread once.
TEST(OutputThreadTest, ProceduresRunWhenHeardAndALostDeviceEndsTheThread)
{
    NullOutput out(50.0); // what it was given is heard once a write returns
    Ones ones;
    std::mutex mutex;
    std::vector<std::pair<DWORD, std::uint64_t>> ran; // channel, frames heard then
    const SYNCPROC proc = [&](HSYNC, DWORD channel, DWORD, DWORD) {
        std::lock_guard lock(mutex);
        ran.emplace_back(channel, out.framesWritten());
    };
    const std::uint64_t second = 44100;
    ones.first = {{2, 0, proc, 0, 0, 2 * second}, {1, 0, proc, 0, 0, 0}, {3, 0, proc, 0, 0, 30 * second}};
    std::atomic<int> lost{0};
    OutputThread thread(out, ones, [&] { ++lost; });
    // Once the first has run, all three wait.
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(mutex);
        return !ran.empty();
    }));
    thread.cancel(3);
    ASSERT_TRUE(WaitUntil([&] { return out.framesWritten() > 31 * second; }));
    out.breakDevice();
    ASSERT_TRUE(WaitUntil([&] { return thread.lost(); }));
    thread.stop();
    thread.stop();
    EXPECT_EQ(lost, 1);
    std::lock_guard lock(mutex);
    ASSERT_EQ(ran.size(), 2u);
    EXPECT_EQ(ran[0].first, 1u);
    EXPECT_EQ(ran[1].first, 2u);
    EXPECT_GE(ran[1].second, 2 * second);
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
