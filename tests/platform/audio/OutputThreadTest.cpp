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
