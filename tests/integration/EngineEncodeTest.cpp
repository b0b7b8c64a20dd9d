// External encoders fed from the engine's decoding channels.
#include "EngineFixture.h"

#include <QFile>
#include <cstring>

using namespace qm;
using namespace qm::test;

namespace {

TEST_F(EngineTest, TheEncoderGetsTheHeaderThenEveryDeliveredBlockAndItsFailuresAreReported)
{
    const Pcm pcm = PatternPcm(2352 * 40, 3);
    CdAudioEngine& lib = openImage(write(DiscLayout{"", "", {ImageTrack{pcm}}}));
    const HSTREAM h = lib.BASS_CD_StreamCreate(0, 0, BASS_STREAM_DECODE);
    for (const auto& [line, code] : {std::pair{"quillmere-no-such-encoder.exe -", BASS_ERROR_FILEOPEN},
                                     std::pair{"\"lame -", BASS_ERROR_ILLPARAM}}) {
        EXPECT_EQ(lib.BASS_Encode_Start(h, line, 0, nullptr, nullptr), 0u) << line;
        EXPECT_EQ(lib.BASS_ErrorGetCode(), code) << line;
    }
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
    EXPECT_TRUE(status.finished);
    EXPECT_EQ(status.exitCode, 0);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray file = f.readAll();
    ASSERT_EQ(file.size(), 44 + qsizetype(pcm.size()));
    EXPECT_TRUE(file.startsWith("RIFF"));
    EXPECT_EQ(std::memcmp(pcm.data(), file.constData() + 44, pcm.size()), 0);

    // One that quits at once: writing on must not end us, and its status shows.
    const HSTREAM again = lib.BASS_CD_StreamCreate(0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(lib.BASS_Encode_Start(again, "false", 0, nullptr, nullptr), 0u);
    EXPECT_EQ(drain(lib, again, 4096), pcm);
    ASSERT_TRUE(lib.BASS_Encode_Stop(again));
    ASSERT_TRUE(lib.QM_Encode_GetStatus(again, &status));
    EXPECT_EQ(status.exitCode, 1);
}

} // namespace
