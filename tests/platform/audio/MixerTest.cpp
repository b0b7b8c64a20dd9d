// Taking queued blocks back and mixing them again: what is replaced must
// join what stays without a skip or a repeat, carry the change from the point
// of replacement on, and raise each event once.
#include "AudioTestUtil.h"
#include "platform/audio/Channel.h"
#include "platform/audio/PlayingStream.h"
#include "platform/audio/output/Mixer.h"
#include "platform/audio/output/SyncDispatcher.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace qm;
using namespace qm::audio;

namespace {

// Frame i holds (i % 16000, -(i % 16000)): any skip or repeat shows, and two
// streams add up without clipping.
class RampChannel : public Channel {
public:
    explicit RampChannel(QWORD frames) : Channel(BASS_STREAM_DECODE), m_frames(frames) {}
    DWORD ctype() const override { return kCtypeStreamCd; }
    DWORD read(void* buffer, DWORD length, int&) override
    {
        std::lock_guard lock(m_mutex);
        const QWORD n = std::min<QWORD>(length / 4, m_frames - m_at);
        auto* out = static_cast<std::int16_t*>(buffer);
        for (QWORD i = 0; i < n; ++i) {
            out[2 * i] = Sample(m_at + i);
            out[2 * i + 1] = std::int16_t(-Sample(m_at + i));
        }
        m_at += n;
        return DWORD(n * 4);
    }
    QWORD position() const override
    {
        std::lock_guard lock(m_mutex);
        return m_at * 4;
    }
    bool setPosition(QWORD pos, int&) override
    {
        std::lock_guard lock(m_mutex);
        m_at = pos / 4;
        return true;
    }
    QWORD length() const override { return m_frames * 4; }
    DWORD state() const override { return BASS_ACTIVE_PLAYING; }
    void stop() override {}
    static std::int16_t Sample(QWORD frame) { return std::int16_t(frame % 16000); }

private:
    const QWORD m_frames;
    mutable std::mutex m_mutex;
    QWORD m_at = 0;
};

using qm::test::WaitUntil;

constexpr std::size_t kQueue = 2 * 44100;

class MixerTest : public ::testing::Test {
protected:
    std::shared_ptr<PlayingStream> start(QWORD frames, DWORD handle)
    {
        auto s = std::make_shared<PlayingStream>(std::make_shared<RampChannel>(frames), 0);
        s->setHandle(handle);
        int error = 0;
        EXPECT_TRUE(s->play(false, error));
        mixer.add(s);
        return s;
    }
    // Mixes `frames` once every playing stream has them read.
    std::vector<std::int16_t> mix(std::size_t frames, std::size_t queued)
    {
        EXPECT_TRUE(WaitUntil([&] {
            for (const auto& s : mixer.streams())
                if (!s->ready(frames))
                    return false;
            return true;
        }));
        std::vector<std::int16_t> out(frames * 2);
        out.resize(mixer.mix(out.data(), frames, queued) * 2);
        return out;
    }
    // Left samples of `out` against the ramp from `first`, scaled by `gain`.
    static ::testing::AssertionResult Continues(const std::vector<std::int16_t>& out, QWORD first, double gain)
    {
        for (std::size_t i = 0; i < out.size() / 2; ++i) {
            const double want = std::round(RampChannel::Sample(first + i) * gain);
            if (std::abs(out[2 * i] - want) > 1)
                return ::testing::AssertionFailure() << "frame " << i << ": " << out[2 * i] << " instead of " << want;
        }
        return ::testing::AssertionSuccess();
    }

    SyncDispatcher syncs;
    Mixer mixer{syncs, kQueue + PlayingStream::kStepFrames};
};

TEST_F(MixerTest, TakingBackAndMixingAgainCarriesAChangeWithoutSkipOrRepeat)
{
    auto s = start(10 * 44100, 1);
    ASSERT_TRUE(Continues(mix(44100, 0), 0, 1.0));
    ASSERT_TRUE(Continues(mix(44100, 44100), 44100, 1.0));
    int error = 0;
    ASSERT_TRUE(s->setAttributes(50, -101, error));
    // Whole steps only, and never more than asked for.
    const auto back = mixer.rewind(60000);
    ASSERT_TRUE(back.has_value());
    EXPECT_LE(*back, 60000u);
    EXPECT_GT(*back, 60000u - PlayingStream::kStepFrames);
    const QWORD from = 2 * 44100 - *back;
    const auto again = mix(*back, kQueue - *back);
    ASSERT_EQ(again.size(), *back * 2);
    EXPECT_TRUE(Continues(again, from, 0.5));
    EXPECT_TRUE(Continues(mix(4096, kQueue), 2 * 44100, 0.5));

    // Nothing changed: the same sound again, to the sample.
    const auto before = mix(8192, kQueue);
    ASSERT_EQ(mixer.rewind(8192), std::optional<std::size_t>(8192));
    EXPECT_EQ(mix(8192, kQueue - 8192), before);
}

TEST_F(MixerTest, ASeekReplacesTheQueuedPartFromTheNewPlace)
{
    // Its reader may catch up with part of the new place before the queue
    // can be replaced; that part is queued behind the old one meanwhile.
    for (const std::size_t behind : {std::size_t(0), 2 * PlayingStream::kStepFrames}) {
        SCOPED_TRACE(behind);
        auto s = start(10 * 44100, 1);
        ASSERT_EQ(mix(44100, 0).size(), 44100u * 2);
        int error = 0;
        ASSERT_TRUE(s->setPosition(5 * 44100 * 4, error));
        if (behind > 0) {
            ASSERT_TRUE(Continues(mix(behind, 44100), 5 * 44100, 1.0));
        }
        // Not before the new place is read: the replacement would have a hole.
        std::optional<std::size_t> back;
        ASSERT_TRUE(WaitUntil([&] { return (back = mixer.rewind(44100 + behind)).has_value(); }));
        ASSERT_GT(*back, behind);
        EXPECT_TRUE(Continues(mix(*back, 44100 + behind - *back), 5 * 44100, 1.0));
        mixer.remove(s.get());
        mixer.forget();
        EXPECT_EQ(mixer.rewind(44100), std::optional<std::size_t>(0)) << "taken back after a flush";
    }
}

TEST_F(MixerTest, EventsTakenBackAreRaisedOnceWhenMixedAgain)
{
    std::atomic<int> slides{0}, ends{0};
    auto s = start(30000, 7);
    int error = 0;
    SYNCPROC onSlide = [&](HSYNC, DWORD, DWORD, DWORD) { ++slides; };
    SYNCPROC onEnd = [&](HSYNC, DWORD, DWORD, DWORD) { ++ends; };
    ASSERT_NE(s->setSync(BASS_SYNC_SLIDE, onSlide, 0, error), 0u);
    ASSERT_NE(s->setSync(BASS_SYNC_END, onEnd, 0, error), 0u);
    ASSERT_TRUE(s->slide(0, -101, 100, error));
    // Heard two seconds from now: nothing runs before the blocks are taken back.
    ASSERT_EQ(mix(40000, kQueue).size(), 8u * 4096 * 2); // to the end of the step it ends in
    EXPECT_FALSE(s->mixing());
    EXPECT_EQ(s->state(), DWORD(BASS_ACTIVE_PLAYING)); // until its end is announced
    const auto back = mixer.rewind(40000);
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(s->mixing()); // its tail is mixed again
    mix(*back, kQueue - *back);
    EXPECT_TRUE(WaitUntil([&] { return slides == 1 && ends == 1; }));
    // An event posted now runs after any repeat already queued.
    std::atomic<bool> fenced{false};
    syncs.post({.channel = 99, .proc = [&](HSYNC, DWORD, DWORD, DWORD) { fenced = true; }});
    ASSERT_TRUE(WaitUntil([&] { return fenced.load(); }));
    EXPECT_EQ(slides, 1);
    EXPECT_EQ(ends, 1);
}

TEST_F(MixerTest, AStreamQueuedBehindAnEndedOneKeepsItsPlace)
{
    auto first = start(10000, 1);
    auto heard = mix(12288, 0); // it runs out in the third step
    ASSERT_FALSE(first->mixing());
    auto second = start(44100, 2); // started after that: it follows on behind the tail
    for (int i = 0; i < 4; ++i) {
        const auto block = mix(8192, heard.size() / 2);
        heard.insert(heard.end(), block.begin(), block.end());
    }
    // Back into the first one's last step: the second waits its turn again.
    const std::size_t back = 4 * 8192 + 4096;
    ASSERT_EQ(mixer.rewind(back), std::optional<std::size_t>(back));
    std::vector<std::int16_t> again(heard.begin(), heard.end() - std::ptrdiff_t(back * 2));
    const auto block = mix(back, again.size() / 2);
    again.insert(again.end(), block.begin(), block.end());
    EXPECT_EQ(again, heard);
}

TEST_F(MixerTest, AStreamStartedBesideAnotherIsHeardFromWhereTheQueueIsReplaced)
{
    auto first = start(10 * 44100, 1);
    mix(44100, 0);
    auto second = std::make_shared<PlayingStream>(std::make_shared<RampChannel>(44100), 0);
    second->setHandle(2);
    int error = 0;
    second->joinNow(true);
    ASSERT_TRUE(second->play(false, error));
    mixer.add(second);
    mix(8192, 44100); // before the replacement was asked for: queued behind
    const auto back = mixer.rewind(20000);
    ASSERT_TRUE(back.has_value());
    const auto again = mix(*back, 44100 + 8192 - *back);
    // Both from the first replaced frame on: the second at its start.
    const QWORD from = 44100 + 8192 - *back;
    for (std::size_t i = 0; i < again.size() / 2; ++i)
        ASSERT_EQ(again[2 * i], RampChannel::Sample(from + i) + RampChannel::Sample(i)) << "frame " << i;
}

} // namespace
