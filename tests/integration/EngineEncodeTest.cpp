// External encoders fed from the engine's channels, WMA files written and read
// back through the engine, and file streams on bad input.
#include "../platform/audio/AudioTestUtil.h"
#include "EngineFixture.h"

#include <QFile>
#include <csignal>

#include <cstring>

using namespace qm;
using namespace qm::test;

namespace {

class EngineEncode : public EngineTest {
protected:
    CdAudioEngine& engineWith(const Pcm& pcm)
    {
        return openImage(write(DiscLayout{"", "", {ImageTrack{pcm}}}));
    }
    static Pcm readAll(const QString& file)
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = f.readAll();
        return Pcm(bytes.begin(), bytes.end());
    }
};

TEST_F(EngineEncode, TheEncoderGetsTheHeaderThenEveryDeliveredBlock)
{
    const Pcm pcm = PatternPcm(2352 * 40, 3);
    CdAudioEngine& lib = engineWith(pcm);
    const HSTREAM h = lib.BASS_CD_StreamCreate(0, 0, BASS_STREAM_DECODE);
    const QString out = path("out.wav");
    // tee copies its input into the file, which shows what the encoder was sent.
    ASSERT_NE(lib.BASS_Encode_Start(h, ("tee \"" + out + "\"").toUtf8().constData(), 0, nullptr, nullptr), 0u)
        << lib.BASS_ErrorGetCode();
    EXPECT_EQ(lib.BASS_Encode_Start(h, "tee /dev/null", 0, nullptr, nullptr), 0u);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    ASSERT_EQ(drain(lib, h, 5000), pcm);
    ASSERT_TRUE(lib.BASS_Encode_Stop(h));

    QM_ENCODE_STATUS status;
    ASSERT_TRUE(lib.QM_Encode_GetStatus(h, &status));
    EXPECT_TRUE(status.started);
    EXPECT_TRUE(status.finished);
    EXPECT_EQ(status.exitCode, 0);
    const Pcm file = readAll(out);
    ASSERT_EQ(file.size(), 44 + pcm.size());
    EXPECT_EQ(0, std::memcmp(file.data(), "RIFF", 4));
    EXPECT_EQ(file[40] | file[41] << 8 | file[42] << 16, int(pcm.size())); // the data size
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + 44));
}

// An encoder runs until its input ends (at the stream's end, or when ended)
// and then ends on its own; a killed one ends at once.
TEST_F(EngineEncode, EncodersEndWithTheirInputOrAtOnceWhenKilled)
{
    CdAudioEngine& lib = engineWith(PatternPcm(2352 * 10, 5));
    auto finished = [&](HSTREAM h) {
        QM_ENCODE_STATUS s{};
        EXPECT_TRUE(WaitUntil([&] { return lib.QM_Encode_GetStatus(h, &s) && s.finished; }));
        return s;
    };
    enum How { StreamEnds, InputEnded, Killed };
    for (How how : {StreamEnds, InputEnded, Killed}) {
        SCOPED_TRACE(how);
        const HSTREAM h = lib.BASS_CD_StreamCreate(0, 0, BASS_CD_DECODE_FLAGS);
        ASSERT_NE(lib.BASS_Encode_Start(h, "tee /dev/null", 0, nullptr, nullptr), 0u);
        char block[4096];
        lib.BASS_ChannelGetData(h, block, sizeof block);
        QM_ENCODE_STATUS s{};
        ASSERT_TRUE(lib.QM_Encode_GetStatus(h, &s));
        EXPECT_FALSE(s.finished) << "ended before its input did";
        if (how == StreamEnds)
            drain(lib, h, sizeof block);
        EXPECT_TRUE(how == StreamEnds || (how == Killed ? lib.QM_Encode_Kill(h) : lib.QM_Encode_EndInput(h)));
        s = finished(h);
        EXPECT_EQ(s.exitCode, how == Killed ? -1 : 0);
        EXPECT_EQ(s.signal, how == Killed ? SIGKILL : 0);
        EXPECT_TRUE(lib.BASS_Encode_Stop(h));
        lib.BASS_StreamFree(h);
    }
}

TEST_F(EngineEncode, EncodersThatCannotRunOrFailAreReported)
{
    CdAudioEngine& lib = engineWith(PatternPcm(2352 * 200, 5));
    const HSTREAM h = lib.BASS_CD_StreamCreate(0, 0, BASS_STREAM_DECODE);
    struct Case {
        const char* line;
        int code;
    };
    for (const Case& c : {Case{"quillmere-no-such-encoder.exe -", BASS_ERROR_FILEOPEN},
                          Case{"\"lame -", BASS_ERROR_ILLPARAM}, Case{"\"\" x", BASS_ERROR_ILLPARAM},
                          Case{"", BASS_ERROR_ILLPARAM}}) {
        EXPECT_EQ(lib.BASS_Encode_Start(h, c.line, 0, nullptr, nullptr), 0u) << c.line;
        EXPECT_EQ(lib.BASS_ErrorGetCode(), c.code) << c.line;
    }
    EXPECT_EQ(lib.BASS_Encode_Start(0, "tee /dev/null", 0, nullptr, nullptr), 0u);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_HANDLE);

    // An encoder that quits at once: writing on must not end us, and its
    // exit status shows.
    ASSERT_NE(lib.BASS_Encode_Start(h, "false", 0, nullptr, nullptr), 0u);
    EXPECT_EQ(drain(lib, h, 4096).size(), 2352u * 200);
    ASSERT_TRUE(lib.BASS_Encode_Stop(h));
    QM_ENCODE_STATUS status;
    ASSERT_TRUE(lib.QM_Encode_GetStatus(h, &status));
    EXPECT_TRUE(status.started);
    EXPECT_EQ(status.exitCode, 1);
    EXPECT_FALSE(lib.QM_Encode_GetStatus(h, nullptr));
}

TEST_F(EngineEncode, WmaWrittenThroughTheEngineReadsBackAsAFileStream)
{
    CdAudioEngine& lib = open({});
    const DWORD* rates = lib.BASS_WMA_EncodeGetRates(44100, 0);
    ASSERT_NE(rates, nullptr);
    EXPECT_EQ(rates[4], 128000u);
    const Pcm pcm = TonePcm(3.0, 440, 660);
    const QString file = path("t.wma");
    const HWMENCODE w = lib.BASS_WMA_EncodeOpenFile(44100, BASS_WMA_ENCODE_TAGS, 128000, file.toUtf8().constData());
    ASSERT_NE(w, 0u) << lib.BASS_ErrorGetCode();
    EXPECT_TRUE(lib.BASS_WMA_EncodeSetTag(w, "Title", "Tone"));
    EXPECT_TRUE(lib.BASS_WMA_EncodeSetTag(w, "", ""));
    ASSERT_TRUE(lib.BASS_WMA_EncodeWrite(w, pcm.data(), DWORD(pcm.size())));
    lib.BASS_WMA_EncodeClose(w);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_OK);
    lib.BASS_WMA_EncodeClose(w);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(lib.BASS_WMA_EncodeWrite(w, pcm.data(), 4));

    const HSTREAM h = lib.BASS_WMA_StreamCreateFile(false, file.toUtf8().constData(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u) << lib.BASS_ErrorGetCode();
    const Pcm back = drain(lib, h, 32768);
    EXPECT_NEAR(double(back.size()) / 176400.0, 3.0, 0.1);
    EXPECT_FALSE(lib.BASS_StreamPlay(h, true, 0)); // a decoding channel
    EXPECT_TRUE(lib.BASS_StreamFree(h));
    EXPECT_EQ(lib.BASS_StreamCreateFile(false, path("missing.wma").toUtf8().constData(), 0, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(lib.BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
}

} // namespace
