#include "AudioTestUtil.h"
#include "platform/audio/output/NullOutput.h"
#include "platform/audio/output/OutputThread.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

using qm::audio::NullOutput;
using qm::audio::OutputThread;

namespace {

using qm::test::WaitUntil;

TEST(OutputThreadTest, WritesExactlyWhatTheMixProducesInOrder)
{
    NullOutput out(50.0);
    out.startCapture(1 << 20);
    std::atomic<int> blocksLeft{5};
    std::int16_t next = 0;
    OutputThread thread(out, [&](std::int16_t* buf, std::size_t frames) {
        if (blocksLeft <= 0)
            return false;
        --blocksLeft;
        for (std::size_t i = 0; i < frames * 2; ++i)
            buf[i] = next++;
        return true;
    }, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return out.framesWritten() == 5 * out.blockFrames(); }));
    thread.stop();
    auto got = out.captured();
    ASSERT_EQ(got.size(), 5 * out.blockFrames() * 2);
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], std::int16_t(i));
}

TEST(OutputThreadTest, IdlesWithoutWritingOrSpinningAndWakesWhenAskedTo)
{
    NullOutput out(50.0);
    std::atomic<bool> playing{false};
    std::atomic<int> asked{0};
    OutputThread thread(out, [&](std::int16_t* buf, std::size_t frames) {
        ++asked;
        std::fill(buf, buf + frames * 2, std::int16_t(0));
        return playing.load();
    }, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return asked > 0; }));
    // An open output with nothing to play (the program's usual state) costs
    // next to nothing: a few looks a second, not one every few milliseconds.
    // Nothing is awaited here: the second is the span the looks are counted in.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LE(asked, 5);
    EXPECT_EQ(out.framesWritten(), 0u);
    playing = true;
    thread.wake();
    EXPECT_TRUE(WaitUntil([&] { return out.framesWritten() > 0; }));
}

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

TEST(SoundOutputTest, OpensTheOutputTheConfigurationNames)
{
    struct Case { const char* value; bool opens; } cases[] = {
        {"null", true}, {"null:fast", true}, {"speakers", false},
    };
    for (const auto& c : cases) {
        std::string error;
        auto out = qm::audio::OpenSoundOutput({.kind = c.value}, &error);
        EXPECT_EQ(bool(out), c.opens) << c.value;
        EXPECT_EQ(dynamic_cast<NullOutput*>(out.get()) != nullptr, c.opens) << c.value;
        EXPECT_EQ(error.empty(), c.opens) << c.value;
    }
}

} // namespace
