#include "platform/audio/AudioLibrary.h"
#include "platform/audio/encode/EncoderProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstring>
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
    auto h = WavHeader(1000);
    EXPECT_EQ(std::memcmp(h.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(h.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(std::memcmp(h.data() + 36, "data", 4), 0);
    auto u32 = [&](int at) { return h[at] | h[at + 1] << 8 | h[at + 2] << 16 | std::uint32_t(h[at + 3]) << 24; };
    EXPECT_EQ(u32(4), 1036u);
    EXPECT_EQ(u32(16), 16u);
    EXPECT_EQ(h[20], 1); // PCM
    EXPECT_EQ(u32(24), 44100u);
    EXPECT_EQ(u32(28), 176400u);
    EXPECT_EQ(h[22], 2);
    EXPECT_EQ(h[32], 4);
    EXPECT_EQ(h[34], 16);
    EXPECT_EQ(u32(40), 1000u);
    auto unknown = WavHeader(0xFFFFFFFFu);
    EXPECT_EQ(unknown[4] & unknown[5] & unknown[6] & unknown[7], 0xFF);
}

TEST_F(EncoderProcessTest, KeepsTheExitStatusAndTheSignal)
{
    script("fails", "cat >/dev/null; echo 'bad option' >&2; exit 3");
    script("killed", "kill -TERM $$");
    int error = 0;
    auto failing = start("fails", &error);
    ASSERT_TRUE(failing);
    failing->finish();
    EXPECT_EQ(failing->status().exitCode, 3);
    EXPECT_EQ(failing->errorOutput(), "bad option\n");
    auto killed = start("killed", &error);
    ASSERT_TRUE(killed);
    killed->finish();
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
