#include "platform/audio/AudioLibrary.h"
#include "platform/audio/encode/EncoderProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using qm::audio::EncoderProcess;
using qm::audio::WavHeader;

namespace {

class EncoderProcessTest : public ::testing::Test {
protected:
    // A small shell script in the resource folder, run by name.
    void script(const QString& name, const QByteArray& body)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("#!/bin/sh\n" + body + "\n") > 0);
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    auto start(const std::string& line, int* error) { return EncoderProcess::Start(line, dir.path().toStdString(), error); }
    QTemporaryDir dir;
};

TEST(WavHeaderTest, DescribesCdAudio)
{
    // PCM, 2 channels, 44100 Hz, 176400 bytes a second, 4-byte frames of 16 bits, 1000 bytes of data.
    const char expected[] = "RIFF\x0c\x04\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0data\xe8\x03\0\0";
    const auto h = WavHeader(1000);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(h.data()), 44), QByteArray(expected, 44));
    auto unknown = WavHeader(0xFFFFFFFFu);
    EXPECT_EQ(unknown[4] & unknown[5] & unknown[6] & unknown[7], 0xFF);
}

TEST_F(EncoderProcessTest, KeepsTheExitStatusAndTheSignal)
{
    script("fails", "cat >/dev/null; echo 'bad option' >&2; exit 3");
    script("killed", "kill -TERM $$");
    int error = 0;
    auto failing = start("fails", &error), killed = start("killed", &error);
    ASSERT_TRUE(failing && killed);
    failing->finish();
    killed->finish();
    EXPECT_EQ(failing->status().exitCode, 3);
    EXPECT_EQ(failing->errorOutput(), "bad option\n");
    EXPECT_EQ(killed->status().signal, SIGTERM);
    EXPECT_EQ(killed->status().exitCode, -1);
}

TEST_F(EncoderProcessTest, AnEncoderFloodingItsStderrNeverBlocksUs)
{
    // Writes ~8 MB to stderr before reading anything.
    script("noisy", "head -c 8000000 /dev/zero | tr '\\0' x >&2; wc -c >/dev/null");
    int error = 0;
    auto p = start("noisy", &error);
    ASSERT_TRUE(p);
    std::vector<char> block(1 << 20, 2);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(p->write(block.data(), block.size()));
    p->finish();
    EXPECT_EQ(p->status().exitCode, 0);
    EXPECT_EQ(p->errorOutput().size(), 4096u);
}

} // namespace
