#include "../platform/audio/AudioTestUtil.h"
#include "platform/audio/encode/EncoderProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

using qm::audio::EncoderProcess;

namespace {

struct Line { const char* code; const char* pattern; const char* ext; };

// The rip job's command lines, with %1 the bitrate and %2 the output file.
const Line kLines[] = {
    {"MP3C", "lame.exe -b %1 - \"%2\"", "mp3"},
    {"MP3V", "lame.exe --abr %1 - \"%2\"", "mp3"},
    {"OGGC", "oggenc.exe --managed -b %1 -  -o \"%2\"", "ogg"},
    {"OGGV", "oggenc.exe -b %1 -  -o \"%2\"", "ogg"},
};

// Feeds `fed` seconds of a tone announced as `announced` seconds long.
EncoderProcess::Status Encode(const QString& line, double announced, double fed)
{
    int error = 0;
    auto p = EncoderProcess::Start(line.toStdString(), "", &error);
    EXPECT_TRUE(p) << error;
    if (!p)
        return {};
    auto header = qm::audio::WavHeader(std::uint32_t(announced * 44100) * 4);
    EXPECT_TRUE(p->write(header.data(), header.size()));
    auto pcm = qm::test::SineStereo(440, fed);
    auto* bytes = reinterpret_cast<const char*>(pcm.data());
    std::size_t total = pcm.size() * 2;
    for (std::size_t at = 0; at < total; at += 262144)
        EXPECT_TRUE(p->write(bytes + at, std::min<std::size_t>(262144, total - at)));
    p->finish();
    return p->status();
}

// Whole, and stopped early: closing the pipe part-way still gives a valid,
// shorter file.
TEST(EncoderPipeTest, RealEncodersWriteFilesOfTheDurationTheyWereFed)
{
    QTemporaryDir dir;
    for (const auto& l : kLines) {
        for (const auto& [rate, announced, fed] : {std::tuple{"128", 3.0, 3.0}, std::tuple{"96", 6.0, 1.0}}) {
            SCOPED_TRACE(testing::Message() << l.code << " fed " << fed << " of " << announced);
            QString file = dir.filePath(QString("Ripped Audio %1 %2.%3").arg(l.code, rate, l.ext));
            auto status = Encode(QString(l.pattern).arg(rate, file), announced, fed);
            EXPECT_TRUE(status.started && status.finished);
            EXPECT_EQ(status.exitCode, 0);
            EXPECT_NEAR(qm::test::DecodedSeconds(file), fed, 0.1);
        }
    }
}

TEST(EncoderPipeTest, AnEncoderRefusingItsArgumentsIsReportedAsItsExit)
{
    QTemporaryDir dir;
    int error = 0;
    auto p = EncoderProcess::Start("lame.exe --no-such-option - \"" + dir.filePath("x.mp3").toStdString() + "\"",
                                   "", &error);
    ASSERT_TRUE(p);
    std::vector<char> block(262144);
    for (int i = 0; i < 40 && p->write(block.data(), block.size()); ++i) {
    }
    p->finish();
    auto status = p->status();
    EXPECT_TRUE(status.started);
    EXPECT_NE(status.exitCode, 0);
    EXPECT_FALSE(QFile::exists(dir.filePath("x.mp3")));
}

} // namespace
