#include "platform/audio/encode/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using qm::audio::FindProgram;
using qm::audio::SplitCommandLine;

struct SplitCase {
    const char* line;
    std::vector<std::string> args; // empty: the line is refused
};

class SplitCommandLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, SplitsLikeTheEncoderLinesNeed)
{
    std::vector<std::string> args{"untouched"};
    bool ok = SplitCommandLine(GetParam().line, &args);
    if (GetParam().args.empty()) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(args, std::vector<std::string>{"untouched"});
    } else {
        ASSERT_TRUE(ok);
        EXPECT_EQ(args, GetParam().args);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitCommandLineTest,
    ::testing::Values(
        SplitCase{"lame.exe -b 128 - \"/home/a b/Ripped Audio/TRACK3.mp3\"",
                  {"lame.exe", "-b", "128", "-", "/home/a b/Ripped Audio/TRACK3.mp3"}},
        SplitCase{"oggenc.exe -b 192 -  -o \"/x/TRACK1.ogg\"", {"oggenc.exe", "-b", "192", "-", "-o", "/x/TRACK1.ogg"}},
        SplitCase{"  lame\t-h  ", {"lame", "-h"}},
        SplitCase{"a\"b c\"d \"\" e", {"ab cd", "", "e"}},
        SplitCase{"prog 'single quotes' stay", {"prog", "'single", "quotes'", "stay"}},
        SplitCase{"prog $HOME ; rm -rf x | y", {"prog", "$HOME", ";", "rm", "-rf", "x", "|", "y"}},
        SplitCase{"lame \"unbalanced", {}},
        SplitCase{"", {}},
        SplitCase{"    ", {}},
        SplitCase{"\"\" -b 128", {}}),
    // Cases are named by position: the default names print pointer bytes,
    // which differ between the run that lists tests and the one that runs them.
    [](const ::testing::TestParamInfo<SplitCase>& info) { return "case" + std::to_string(info.index); });

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
