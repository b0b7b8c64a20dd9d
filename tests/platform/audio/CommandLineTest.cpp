#include "platform/audio/encode/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// The resource folder first, then PATH in order; ".exe" is dropped only when
// the full name is missing; what is not an executable file is skipped.
TEST(FindProgramTest, ResourceFolderThenPathAndExeSuffixDroppedOnlyWhenMissing)
{
    QTemporaryDir dir;
    auto p = [&](const QString& rel) { return dir.filePath(rel).toStdString(); };
    auto make = [&](const QString& rel, bool executable = true) {
        QDir().mkpath(QFileInfo(dir.filePath(rel)).path());
        QFile f(dir.filePath(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.setPermissions(executable ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner);
    };
    const std::string path = p("bin1") + ":" + p("bin2");
    make("bin1/enc", false);
    make("bin2/enc");
    make("bin2/lame");
    QDir().mkpath(dir.filePath("bin1/dir"));
    EXPECT_EQ(FindProgram("enc", p("res"), path), p("bin2/enc"));
    EXPECT_EQ(FindProgram("dir", p("res"), path), "");
    EXPECT_EQ(FindProgram("lame.exe", p("res"), path), p("bin2/lame"));
    EXPECT_EQ(FindProgram("LAME.EXE", p("res"), path), "");
    make("bin1/lame.exe");
    EXPECT_EQ(FindProgram("lame.exe", p("res"), path), p("bin1/lame.exe"));
    make("res/enc");
    EXPECT_EQ(FindProgram("enc", p("res"), path), p("res/enc"));
    EXPECT_EQ(FindProgram(p("bin2/enc"), "", ""), p("bin2/enc"));
    EXPECT_EQ(FindProgram(p("bin1/enc"), "", path), "");
}
