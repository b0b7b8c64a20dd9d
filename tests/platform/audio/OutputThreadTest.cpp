#include "AudioTestUtil.h"
#include "platform/audio/output/NullOutput.h"
#include "platform/audio/output/OutputThread.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using qm::audio::NullOutput;
using qm::audio::OutputThread;

namespace {

using qm::test::WaitUntil;

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
    for (const auto& [kind, opens] : {std::pair{"null:fast", true}, std::pair{"speakers", false}}) {
        std::string error;
        auto out = qm::audio::OpenSoundOutput({.kind = kind}, &error);
        EXPECT_EQ(dynamic_cast<NullOutput*>(out.get()) != nullptr, opens) << kind;
        EXPECT_EQ(error.empty(), opens) << kind;
    }
}

} // namespace
