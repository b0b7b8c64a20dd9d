#include "platform/audio/encode/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using qm::audio::FindProgram;
using qm::audio::SplitCommandLine;

// Quotes group words and vanish; nothing else is special, and a line with
// an open quote or no program is refused, leaving the answer untouched.
TEST(SplitCommandLineTest, SplitsLikeTheEncoderLinesNeed)
{
    const struct { const char* line; std::vector<std::string> args; } cases[] = {
        {"lame.exe -b 128 - \"/home/a b/Ripped Audio/TRACK3.mp3\"",
         {"lame.exe", "-b", "128", "-", "/home/a b/Ripped Audio/TRACK3.mp3"}},
        {"  lame\t-h  ", {"lame", "-h"}},
        {"a\"b c\"d \"\" e", {"ab cd", "", "e"}},
        {"prog 'single quotes' $HOME ; x", {"prog", "'single", "quotes'", "$HOME", ";", "x"}},
        {"lame \"unbalanced", {}},
        {"    ", {}},
        {"\"\" -b 128", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"untouched"};
        const bool ok = SplitCommandLine(c.line, &args);
        EXPECT_EQ(ok, !c.args.empty()) << c.line;
        EXPECT_EQ(args, ok ? c.args : std::vector<std::string>{"untouched"}) << c.line;
    }
}

class FindProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath("res");
        QDir(dir.path()).mkpath("bin1");
        QDir(dir.path()).mkpath("bin2");
    }
    std::string make(const QString& rel, bool executable = true)
    {
        QFile f(dir.filePath(rel));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n");
        f.close();
        f.setPermissions(executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                    : QFile::ReadOwner | QFile::WriteOwner);
        return dir.filePath(rel).toStdString();
    }
    std::string p(const QString& rel) { return dir.filePath(rel).toStdString(); }
    QTemporaryDir dir;
};

TEST_F(FindProgramTest, ResourceFolderComesBeforePathAndPathInOrder)
{
    make("bin1/enc");
    make("bin2/enc");
    std::string path = p("bin1") + ":" + p("bin2");
    EXPECT_EQ(FindProgram("enc", p("res"), path), p("bin1/enc"));
    make("res/enc");
    EXPECT_EQ(FindProgram("enc", p("res"), path), p("res/enc"));
}

TEST_F(FindProgramTest, ExeSuffixIsDroppedOnlyWhenTheFullNameIsMissing)
{
    make("bin2/lame");
    std::string path = p("bin1") + ":" + p("bin2");
    EXPECT_EQ(FindProgram("lame.exe", p("res"), path), p("bin2/lame"));
    EXPECT_EQ(FindProgram("LAME.EXE", p("res"), path), "");
    make("bin2/LAME");
    EXPECT_EQ(FindProgram("LAME.EXE", p("res"), path), p("bin2/LAME"));
    make("bin1/lame.exe");
    EXPECT_EQ(FindProgram("lame.exe", p("res"), path), p("bin1/lame.exe"));
    EXPECT_EQ(FindProgram(".exe", p("res"), path), "");
}

TEST_F(FindProgramTest, SkipsWhatIsNotAnExecutableFile)
{
    make("bin1/enc", false);
    QDir(dir.path()).mkpath("bin1/dir");
    make("bin2/enc");
    std::string path = p("bin1") + ":" + p("bin2");
    EXPECT_EQ(FindProgram("enc", p("res"), path), p("bin2/enc"));
    EXPECT_EQ(FindProgram("dir", p("res"), path), "");
    EXPECT_EQ(FindProgram("missing", p("res"), path), "");
    EXPECT_EQ(FindProgram("enc", p("res"), ""), "");
    EXPECT_EQ(FindProgram(p("bin2/enc"), "", ""), p("bin2/enc"));
    EXPECT_EQ(FindProgram(p("bin1/enc"), "", path), "");
}
