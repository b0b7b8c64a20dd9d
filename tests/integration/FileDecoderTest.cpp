#include "../platform/audio/AudioTestUtil.h"
#include "platform/audio/AudioLibrary.h"
#include "platform/audio/media/FileDecoder.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

using qm::audio::FileDecoder;

namespace {

std::vector<std::uint8_t> ReadAll(FileDecoder& d, std::size_t block)
{
    std::vector<std::uint8_t> out, buf(block);
    for (;;) {
        long n = d.read(buf.data(), buf.size());
        if (n <= 0)
            return out;
        out.insert(out.end(), buf.begin(), buf.begin() + n);
    }
}

class FileDecoderTest : public ::testing::Test {
protected:
    QString generate(const QString& name, const QString& source)
    {
        const QString file = dir.filePath(name);
        qm::test::RunTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", source, file});
        EXPECT_TRUE(QFile::exists(file)) << file.toStdString();
        return file;
    }
    QTemporaryDir dir;
};

TEST_F(FileDecoderTest, ResamplesAnyFileToCdPcm)
{
    struct Case { const char* name; const char* source; double seconds; double tolerance; } cases[] = {
        {"mono48k.wav", "sine=frequency=1000:sample_rate=48000:duration=2", 2.0, 0.01},
        {"cd.mp3", "sine=frequency=1000:sample_rate=44100:duration=2", 2.0, 0.06},
        {"cd.wma", "sine=frequency=1000:sample_rate=44100:duration=2", 2.0, 0.1},
    };
    for (const auto& c : cases) {
        QString file = generate(c.name, c.source);
        int error = 0;
        auto d = FileDecoder::Open(file.toStdString(), &error);
        ASSERT_TRUE(d) << c.name << " " << error;
        auto pcm = ReadAll(*d, 20000);
        ASSERT_EQ(pcm.size() % 4, 0u);
        std::size_t frames = pcm.size() / 4;
        EXPECT_NEAR(frames / 44100.0, c.seconds, c.tolerance) << c.name;
        EXPECT_NEAR(d->lengthBytes() / 176400.0, c.seconds, c.tolerance) << c.name;
        auto* s = reinterpret_cast<const std::int16_t*>(pcm.data());
        EXPECT_NEAR(qm::test::ToneFrequency(s + 4410 * 2, frames - 8820), 1000, 10) << c.name;
        EXPECT_NEAR(qm::test::Rms(s + 4410 * 2, frames - 8820, 1), qm::test::Rms(s + 4410 * 2, frames - 8820, 0), 1)
            << "both channels carry the mono source";
        EXPECT_EQ(d->read(pcm.data(), 4), 0) << "stays at its end";
    }
}

TEST_F(FileDecoderTest, SeeksExactlyForwardAndBack)
{
    QString file = generate("s.wav", "sine=frequency=440:sample_rate=32000:duration=3");
    int error = 0;
    auto whole = FileDecoder::Open(file.toStdString(), &error);
    ASSERT_TRUE(whole);
    auto all = ReadAll(*whole, 65536);
    auto d = FileDecoder::Open(file.toStdString(), &error);
    for (std::uint64_t at : {std::uint64_t(176400), std::uint64_t(4), std::uint64_t(300002), std::uint64_t(0)}) {
        ASSERT_TRUE(d->seek(at)) << at;
        std::uint64_t frameAt = at - at % 4;
        EXPECT_EQ(d->position(), frameAt);
        std::vector<std::uint8_t> got(4000);
        ASSERT_EQ(d->read(got.data(), got.size()), 4000);
        EXPECT_EQ(std::memcmp(got.data(), all.data() + frameAt, got.size()), 0) << at;
    }
    EXPECT_FALSE(d->seek(all.size() + 4000));
}

TEST_F(FileDecoderTest, RefusesWhatIsNotAnAudioFile)
{
    QFile(dir.filePath("empty.mp3")).open(QIODevice::WriteOnly);
    QFile text(dir.filePath("notes.wma"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write(QByteArray("Not samples.\n").repeated(500)) > 0);
    text.close();
    for (const auto& [name, code] : {std::pair{"missing.mp3", qm::BASS_ERROR_FILEOPEN}, std::pair{"empty.mp3", qm::BASS_ERROR_FORMAT},
                                     std::pair{"notes.wma", qm::BASS_ERROR_FORMAT}}) {
        int error = 0;
        EXPECT_FALSE(FileDecoder::Open(dir.filePath(name).toStdString(), &error)) << name;
        EXPECT_EQ(error, code) << name;
    }
}

} // namespace
