// Playing CD streams on the real engine: a generated image played through the
// fast silent output, syncs fired by the engine's own threads. The suites
// named RealTime* play in real time on the sound server; SoundCheck is the
// short one of them that every build runs.
#include "../platform/audio/AudioTestUtil.h"
#include "EngineFixture.h"
#include "platform/audio/output/NullOutput.h"

#include <QDir>
#include <QStandardPaths>

#include <atomic>
#include <functional>
#include <set>
#include <string_view>
#include <thread>

using namespace qm;
using namespace qm::test;

namespace {

constexpr double kHalfScaleRms = 0.5 * 32767 / 1.4142135623730951; // a sine at half scale

Pcm Constant(QWORD bytes, std::int16_t left, std::int16_t right)
{
    Pcm pcm(bytes);
    for (QWORD i = 0; i + 4 <= bytes; i += 4) {
        std::memcpy(&pcm[i], &left, 2);
        std::memcpy(&pcm[i + 2], &right, 2);
    }
    return pcm;
}

// How long the left channel is louder than `threshold`, in 10 ms windows.
double LoudSeconds(const std::vector<std::int16_t>& s, double threshold = 2000)
{
    constexpr std::size_t kWindow = 441;
    std::size_t loud = 0;
    for (std::size_t at = 0; at + kWindow <= s.size() / 2; at += kWindow)
        loud += Rms(s.data() + 2 * at, kWindow, 0) > threshold ? 1 : 0;
    return double(loud * kWindow) / 44100.0;
}

// The first and last frame whose left sample is louder than `threshold`.
struct HeardSpan {
    std::size_t first = 1, last = 0;
    std::size_t frames() const { return first <= last ? last - first + 1 : 0; }
};
HeardSpan FindHeard(const std::vector<std::int16_t>& interleaved, int threshold = 1000)
{
    HeardSpan span{interleaved.size(), 0};
    for (std::size_t i = 0; i < interleaved.size() / 2; ++i)
        if (std::abs(interleaved[2 * i]) > threshold) {
            span.first = std::min(span.first, i);
            span.last = i;
        }
    return span;
}

class EnginePlayback : public EngineTest {
protected:
    void TearDown() override { m_engine.reset(); } // its threads end before the counters go

    // An engine on one image whose first track is `pcm`, output open.
    CdAudioEngine& engineWith(const Pcm& pcm)
    {
        CdAudioEngine& lib = openImage(write(DiscLayout{"", "", {ImageTrack{pcm}}}));
        EXPECT_TRUE(lib.BASS_Init(1, 44100, 0, 0, nullptr));
        if (lib.silentOutput())
            lib.silentOutput()->startCapture(44100 * 120);
        return lib;
    }

    HSTREAM play(CdAudioEngine& lib)
    {
        const HSTREAM h = lib.BASS_CD_StreamCreate(0, 0, BASS_CD_PLAY_FLAGS);
        EXPECT_NE(h, 0u) << lib.BASS_ErrorGetCode();
        EXPECT_TRUE(lib.BASS_StreamPlay(h, true, 0));
        const auto caller = std::this_thread::get_id();
        auto proc = [this, caller](HSYNC, DWORD, DWORD, DWORD user) {
            if (std::this_thread::get_id() == caller)
                onCaller = true;
            ++(user == 1 ? ends : user == 2 ? slides : errors);
        };
        for (DWORD type : {BASS_SYNC_END, BASS_SYNC_SLIDE, BASS_SYNC_CD_ERROR})
            EXPECT_NE(lib.BASS_ChannelSetSync(h, type, 0, proc, type == BASS_SYNC_END ? 1 : type == BASS_SYNC_SLIDE ? 2 : 3), 0u);
        return h;
    }

    // Plays the first track's last tenth of a second on a stream of its own
    // to its end: events raised before it (or wrongly) have come by then.
    void fence(CdAudioEngine& lib)
    {
        HSTREAM f = 0;
        std::atomic<bool> ended{false};
        // Syncs are set on a playing stream; paused at once, its end cannot
        // slip by, unless a slow machine let it all play first: then a longer tail.
        for (QWORD tail = kCdBytesPerSecond / 10;; tail *= 2) {
            f = lib.BASS_CD_StreamCreate(0, 0, BASS_CD_PLAY_FLAGS);
            const QWORD length = lib.BASS_StreamGetLength(f);
            ASSERT_TRUE(lib.BASS_ChannelSetPosition(f, (length - std::min(length, tail)) / 4 * 4));
            ASSERT_TRUE(lib.BASS_StreamPlay(f, false, 0));
            if (lib.BASS_ChannelPause(f))
                break;
            ASSERT_LT(tail, length) << "the whole track played before it could be paused";
            EXPECT_TRUE(lib.BASS_StreamFree(f));
        }
        ASSERT_NE(lib.BASS_ChannelSetSync(f, BASS_SYNC_END, 0, [&](HSYNC, DWORD, DWORD, DWORD) { ended = true; }, 0), 0u);
        ASSERT_TRUE(lib.BASS_ChannelResume(f));
        ASSERT_TRUE(WaitUntil([&] { return ended.load(); }));
        EXPECT_TRUE(lib.BASS_StreamFree(f));
    }

    double seconds(CdAudioEngine& lib, HSTREAM h) { return double(lib.BASS_ChannelGetPosition(h)) / kCdBytesPerSecond; }

    std::atomic<int> ends{0}, slides{0}, errors{0};
    std::atomic<bool> onCaller{false};
};

// On a sink of its own whose sound is recorded; skipped without scripts/test.sh's sound server.
class OnSoundServer : public EnginePlayback {
protected:
    void SetUp() override
    {
        if (!HasTestSink())
            GTEST_SKIP() << "no PulseAudio server with the qm null sink";
        ASSERT_TRUE(rec.start());
        m_config.output = rec.output();
    }
    // A 440 Hz tone at half scale, output open.
    CdAudioEngine& tone(double seconds) { return engineWith(TonePcm(seconds, 440, 440)); }

    MonitorRecording rec;
};
class SoundCheck : public OnSoundServer {};
class RealTimeSound : public OnSoundServer {};

TEST_F(EnginePlayback, InitOpensTheConfiguredOutputOnce)
{
    CdAudioEngine& lib = open({});
    EXPECT_FALSE(lib.BASS_Init(2, 44100, 0, 0, nullptr));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    ASSERT_TRUE(lib.BASS_Init(1, 44100, 0, 0, nullptr));
    EXPECT_FALSE(lib.BASS_Init(1, 44100, 0, 0, nullptr));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_TRUE(lib.BASS_Free());
    EXPECT_FALSE(lib.BASS_Free());
    // No sound server there, or an output nobody knows: an illegal device, as the window reports it.
    for (const audio::OutputChoice& output : {audio::OutputChoice{.kind = "pulse", .pulseServer = "unix:/nonexistent/qm", .pulseSink = {}},
                                              audio::OutputChoice{.kind = "speakers"}}) {
        m_config.output = output;
        EXPECT_FALSE(open({}).BASS_Init(1, 44100, 0, 0, nullptr)) << output.kind;
        EXPECT_EQ(m_engine->BASS_ErrorGetCode(), BASS_ERROR_DEVICE) << output.kind;
    }
}

// Half volume, all the way left: heard whole, at its pitch and level, on the
// left channel only.
TEST_F(SoundCheck, AToneIsHeardWholeAtItsLevelAndBalance)
{
    CdAudioEngine& lib = tone(1.5);
    const HSTREAM h = lib.BASS_CD_StreamCreate(0, 0, BASS_CD_PLAY_FLAGS);
    ASSERT_TRUE(lib.BASS_ChannelSetAttributes(h, -1, 50, -100));
    ASSERT_TRUE(lib.BASS_StreamPlay(h, true, 0));
    ASSERT_TRUE(rec.pumpUntil([&] { return lib.BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
    // As the player does at the end of a track: the tail still playing is kept.
    EXPECT_TRUE(lib.BASS_ChannelStop(h));
    EXPECT_TRUE(lib.BASS_StreamFree(h));
    ASSERT_TRUE(rec.record(2.5)); // the tail, and a stall the sink may have when it wakes
    const auto s = rec.samples();
    const auto heard = FindHeard(s, 500);
    ASSERT_GT(heard.frames(), 0u) << "nothing was heard in " << rec.frames() << " frames";
    EXPECT_NEAR(heard.frames() / 44100.0, 1.5, 0.1);
    EXPECT_NEAR(ToneFrequency(s.data() + 2 * heard.first, heard.frames()), 440, 5);
    EXPECT_NEAR(Rms(s.data() + 2 * heard.first, heard.frames(), 0), kHalfScaleRms / 2, 400);
    EXPECT_LT(Rms(s.data() + 2 * heard.first, heard.frames(), 1), 50);
}

TEST_F(RealTimeSound, PauseAndStopAreHeardAtOnceAndThePositionFollowsTheSound)
{
    CdAudioEngine& lib = tone(6);
    const HSTREAM h = play(lib);
    ASSERT_TRUE(rec.pumpUntil([&] { return seconds(lib, h) >= 1; }));
    ASSERT_TRUE(lib.BASS_ChannelPause(h));
    const QWORD paused = lib.BASS_ChannelGetPosition(h);
    ASSERT_TRUE(rec.record(1));
    EXPECT_EQ(lib.BASS_ChannelGetPosition(h), paused);
    ASSERT_TRUE(lib.BASS_ChannelResume(h));
    std::set<QWORD> seen;
    ASSERT_TRUE(rec.pumpUntil([&] { return *seen.insert(lib.BASS_ChannelGetPosition(h)).first >= paused + kCdBytesPerSecond; }));
    // The position moves as the sound does, not in the output's blocks.
    EXPECT_GT(seen.size(), 10u);
    ASSERT_TRUE(lib.BASS_ChannelStop(h));
    const double played = seconds(lib, h);
    ASSERT_TRUE(rec.record(2));
    // Heard for exactly as long as the position says: what was queued at the
    // pause and the stop played out, and counts.
    const auto s = rec.samples();
    EXPECT_NEAR(LoudSeconds(s), played, 0.2);
    EXPECT_LT(FindHeard(s).frames() / 44100.0, played + 1.5); // paused for a second, then went on
    EXPECT_GT(FindHeard(s).frames() / 44100.0, played + 0.7);
}

// Volume, balance, a seek and a fade, one after another on one tone: each is
// heard within a quarter of a second (the output's queue) of the position it
// was made at. Recording frames map to positions from the tone's start, and
// after the seek from where its new place was first heard.
TEST_F(RealTimeSound, ChangesAreHeardWithinAQuarterOfASecond)
{
    Pcm pcm = TonePcm(5, 440, 440);
    const Pcm high = TonePcm(3, 880, 880);
    pcm.insert(pcm.end(), high.begin(), high.end());
    CdAudioEngine& lib = engineWith(pcm);
    const HSTREAM h = play(lib);
    constexpr std::size_t kWindow = 441 * 4; // 40 ms
    constexpr double kSeekTo = 5.5;
    const std::function<bool(const std::int16_t*)> quarter = [](const std::int16_t* w) {
        return Rms(w, kWindow, 0) < kHalfScaleRms * 0.4;
    };
    struct Step {
        const char* what;
        double at; // position it is made at, in seconds
        std::function<bool()> make;
        std::function<bool(const std::int16_t*)> heard; // a window shows it
        double position = 0;
    } steps[] = {
        {"volume", 0.8, [&] { return lib.BASS_ChannelSetAttributes(h, -1, 25, kKeepPan); }, quarter},
        {"balance", 1.6, [&] { return lib.BASS_ChannelSetAttributes(h, -1, -1, -100); },
         [](const std::int16_t* w) { return Rms(w, kWindow, 1) < 0.1 * Rms(w, kWindow, 0); }},
        {"seek", 2.4, [&] { return lib.BASS_ChannelSetPosition(h, QWORD(kSeekTo * kCdBytesPerSecond)); },
         [](const std::int16_t* w) { return ToneFrequency(w, kWindow) > 660; }},
        {"fade", kSeekTo + 0.8, [&] { return lib.BASS_ChannelSlideAttributes(h, -1, 0, kKeepPan, 200); },
         [](const std::int16_t* w) { return Rms(w, kWindow, 0) < kHalfScaleRms * 0.25 * 0.93; }},
    };
    for (Step& step : steps) {
        ASSERT_TRUE(rec.pumpUntil([&] { return seconds(lib, h) >= step.at; })) << step.what;
        step.position = seconds(lib, h);
        ASSERT_TRUE(step.make()) << step.what;
    }
    ASSERT_TRUE(rec.pumpUntil([&] { return slides > 0; }));
    ASSERT_TRUE(rec.record(0.5));
    const auto s = rec.samples();
    const std::size_t start = FindHeard(s, 500).first;
    double base = 0; // the position heard at `origin`
    std::size_t origin = start;
    for (const Step& step : steps) {
        // The first window that shows the change, looked for from just before it was made.
        const double from = step.position - base - 0.06;
        std::size_t at = origin + std::size_t(std::max(0.0, from) * 44100);
        while (at + kWindow <= s.size() / 2 && !step.heard(s.data() + 2 * at))
            at += 441;
        ASSERT_LE(at + kWindow, s.size() / 2) << step.what << " was never heard";
        const double heardAt = base + double(at - origin) / 44100;
        EXPECT_LT(heardAt - step.position, 0.30) << step.what;
        EXPECT_GT(heardAt - step.position, -0.06) << step.what;
        if (std::string_view(step.what) == "seek") {
            base = kSeekTo;
            origin = at;
        }
    }
    EXPECT_LT(Rms(s.data() + s.size() - 2 * kWindow, kWindow, 0), 50) << "the fade did not reach silence";
    EXPECT_EQ(ends, 0);
}

// The player starts the next track when the end of one is announced: it
// follows on behind the tail still queued, with no silence between.
TEST_F(RealTimeSound, TheNextTrackFollowsTheEndWithoutAGap)
{
    CdAudioEngine& lib = openImage(write(DiscLayout{"", "", {ImageTrack{TonePcm(1, 440, 440)}, ImageTrack{TonePcm(1, 880, 880)}}}));
    ASSERT_TRUE(lib.BASS_Init(1, 44100, 0, 0, nullptr));
    // As the player does: the event is handed to another thread, which starts the next track.
    std::atomic<bool> ended{false};
    const HSTREAM first = lib.BASS_CD_StreamCreate(0, 0, BASS_CD_PLAY_FLAGS);
    ASSERT_TRUE(lib.BASS_StreamPlay(first, true, 0));
    ASSERT_NE(lib.BASS_ChannelSetSync(first, BASS_SYNC_END, 0, [&](HSYNC, DWORD, DWORD, DWORD) { ended = true; }, 0), 0u);
    ASSERT_TRUE(rec.pumpUntil([&] { return ended.load(); }));
    const HSTREAM second = lib.BASS_CD_StreamCreate(0, 1, BASS_CD_PLAY_FLAGS);
    ASSERT_TRUE(lib.BASS_StreamPlay(second, true, 0));
    ASSERT_TRUE(rec.pumpUntil([&] { return lib.BASS_ChannelIsActive(second) == BASS_ACTIVE_STOPPED; }));
    ASSERT_TRUE(rec.record(0.6));
    const auto s = rec.samples();
    const HeardSpan heard = FindHeard(s, 500);
    ASSERT_GT(heard.frames(), 0u);
    EXPECT_NEAR(heard.frames() / 44100.0, 2.0, 0.03);
    // No window of 2.5 ms without the tone between its start and its end.
    constexpr std::size_t kWindow = 110;
    for (std::size_t at = heard.first; at + kWindow <= heard.last; at += kWindow)
        ASSERT_GT(Rms(s.data() + 2 * at, kWindow, 0), 1000) << "silence at " << double(at - heard.first) / 44100 << " s";
}

// The sound server goes away while a track plays: the stream stops, nothing
// hangs, and playing again says the output is gone, until the server is
// back and the output is opened again.
TEST_F(EnginePlayback, ASoundServerThatGoesAwayStopsTheStream)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
        GTEST_SKIP() << "pulseaudio is not installed";
    // A server of this test's own, so the one the other tests share lives on.
    const QString pa = path(QStringLiteral("pa"));
    QDir().mkpath(pa);
    const auto startServer = [&] {
        auto server = std::make_unique<ChildProcess>();
        EXPECT_TRUE(server->start("env", {"HOME=" + pa, "XDG_RUNTIME_DIR=" + pa, "pulseaudio", "-n", "--daemonize=no",
                                          "--use-pid-file=no", "--exit-idle-time=-1", "-L",
                                          "module-null-sink sink_name=gone rate=44100 channels=2", "-L",
                                          "module-native-protocol-unix auth-anonymous=1 socket=" + pa + "/native"}));
        return server;
    };
    auto server = startServer();
    m_config.output = {.kind = "pulse", .pulseServer = ("unix:" + pa + "/native").toStdString(), .pulseSink = {}};
    // Up once it takes a client.
    ASSERT_TRUE(WaitUntil([&] { return open({}).BASS_Init(1, 44100, 0, 0, nullptr); }));
    m_engine.reset();
    CdAudioEngine& lib = engineWith(Constant(30 * kCdBytesPerSecond, 3000, 3000));
    const HSTREAM h = play(lib);
    ASSERT_TRUE(WaitUntil([&] { return lib.BASS_ChannelGetPosition(h) > 0; }));
    server.reset(); // killed
    ASSERT_TRUE(WaitUntil([&] { return lib.BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
    EXPECT_FALSE(lib.BASS_StreamPlay(h, true, 0));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
    server = startServer();
    ASSERT_TRUE(WaitUntil([&] {
        return lib.BASS_Init(1, 44100, 0, 0, nullptr) || lib.BASS_ErrorGetCode() == BASS_ERROR_ALREADY;
    }));
    const HSTREAM again = play(lib);
    EXPECT_TRUE(WaitUntil([&] { return lib.BASS_ChannelGetPosition(again) > 0; }));
    EXPECT_TRUE(lib.BASS_Free());
    EXPECT_EQ(ends, 0);
}

TEST_F(EnginePlayback, TheWholeTrackIsHeardThenTheEndFiresOnceElsewhere)
{
    const Pcm pcm = PatternPcm(2 * kCdBytesPerSecond, 7);
    CdAudioEngine& lib = engineWith(pcm);
    const HSTREAM h = play(lib);
    const QWORD length = lib.BASS_StreamGetLength(h);
    EXPECT_EQ(length, 2 * kCdBytesPerSecond);
    ASSERT_TRUE(WaitUntil([&] { return ends > 0; }));
    const auto mix = lib.silentOutput()->captured();
    EXPECT_EQ(lib.BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(lib.BASS_ChannelGetPosition(h), length); // the silent output has played it all
    fence(lib);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(errors, 0);
    EXPECT_FALSE(onCaller);
    EXPECT_EQ(lib.BASS_ChannelGetPosition(h), BASS_POSITION_ERROR); // an auto-free stream went with its end
    ASSERT_GE(mix.size() * 2, pcm.size());
    EXPECT_EQ(0, std::memcmp(mix.data(), pcm.data(), pcm.size())); // unchanged at full volume
}

TEST_F(EnginePlayback, AFadeOutReachesSilenceAndFiresItsSync)
{
    CdAudioEngine& lib = engineWith(Constant(100 * kCdBytesPerSecond, 10000, 10000));
    const HSTREAM h = play(lib);
    ASSERT_TRUE(lib.BASS_ChannelSlideAttributes(h, -1, 0, -101, 1000));
    ASSERT_TRUE(WaitUntil([&] { return slides > 0; }));
    DWORD volume = 99;
    ASSERT_TRUE(lib.BASS_ChannelGetAttributes(h, nullptr, &volume, nullptr));
    EXPECT_EQ(volume, 0u);
    lib.silentOutput()->startCapture(4096);
    ASSERT_TRUE(WaitUntil([&] { return lib.silentOutput()->captured().size() == 8192; }));
    for (const auto v : lib.silentOutput()->captured())
        ASSERT_EQ(v, 0);
    EXPECT_EQ(slides, 1);
    EXPECT_EQ(ends, 0);
}

TEST_F(EnginePlayback, VolumeAndPanScaleTheMix)
{
    CdAudioEngine& lib = engineWith(Constant(100 * kCdBytesPerSecond, 8000, -8000));
    const HSTREAM h = play(lib);
    ASSERT_TRUE(lib.BASS_ChannelSetAttributes(h, -1, 50, -101));
    ASSERT_TRUE(lib.BASS_ChannelSetAttributes(h, -1, -1, -50)); // left: right at half
    EXPECT_FALSE(lib.BASS_ChannelSetAttributes(h, -1, -1, 101));
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    lib.silentOutput()->startCapture(44100);
    ASSERT_TRUE(WaitUntil([&] { return lib.silentOutput()->captured().size() == 88200; }));
    const auto mix = lib.silentOutput()->captured();
    EXPECT_EQ(mix[mix.size() - 2], 4000);
    EXPECT_EQ(mix[mix.size() - 1], -2000);
}

} // namespace
