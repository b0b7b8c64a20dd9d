#include "app/CommandLineArgs.h"
#include "app/RipProgress.h"
#include "platform/ui/ConsoleDialogs.h"
#include "platform/ui/ConsoleLines.h"

#include <gtest/gtest.h>

using namespace qm;
using namespace qm::cli;

namespace {

ParseResult Parse(const QString& line)
{
    return ParseArguments(line.isEmpty() ? QStringList() : line.split(QLatin1Char(' ')));
}

} // namespace

TEST(CommandLineArgs, CommandsAndTheirOptions)
{
    struct Case {
        const char* line;
        Command command;
    } cases[] = {
        {"", Command::Window},
        {"--image a.cue --image b.cue", Command::Window},
        {"-platform offscreen --image a.cue", Command::Window}, // left to Qt
        {"drives", Command::Drives},
        {"tracks --drive 1", Command::Tracks},
        {"rip --tracks 2,3 --format wav --out /tmp/x --save", Command::Rip},
        {"rip --format=mp3 --vbr --bitrate=192", Command::Rip},
        {"rip --bogus --help", Command::Help}, // help wins
        {"--version", Command::Version},
    };
    for (const Case& c : cases) {
        const ParseResult r = Parse(QString::fromLatin1(c.line));
        EXPECT_TRUE(r.error.isEmpty()) << c.line << ": " << r.error.toStdString();
        EXPECT_EQ(r.args.command, c.command) << c.line;
    }
    const ParseResult rip = Parse(QStringLiteral("rip --format=mp3 --vbr --bitrate=192 --out o --save"));
    EXPECT_EQ(rip.args.format, 3);
    EXPECT_EQ(rip.args.vbr, true);
    EXPECT_EQ(rip.args.bitrate, 192);
    EXPECT_EQ(rip.args.out, QStringLiteral("o"));
    EXPECT_TRUE(rip.args.save);
    EXPECT_TRUE(rip.args.tracks.all);
    EXPECT_EQ(Parse(QStringLiteral("--image a.cue --image b.cue")).args.images,
              QStringList({QStringLiteral("a.cue"), QStringLiteral("b.cue")}));
}

TEST(CommandLineArgs, UsageErrorsSayWhatIsWrong)
{
    struct Case {
        const char* line;
        const char* says;
    } cases[] = {
        {"--bogus", "unknown option \"--bogus\""},
        {"rip --bogus", "unknown option"},
        {"burn", "unknown command \"burn\""},
        {"rip extra", "unexpected argument \"extra\""},
        {"tracks --format wav", "--format does not apply to tracks"},
        {"drives --drive 0", "--drive does not apply to drives"},
        {"--tracks 1", "--tracks does not apply to the window"},
        {"rip --format WAV", "lower case; use wav"},
        {"rip --format flac", "use portable, wav, wma, mp3 or ogg"},
        {"rip --format", "--format needs a value"},
        {"rip --save=yes", "--save takes no value"},
        {"rip --vbr --cbr", "exclude each other"},
        {"rip --bitrate 0", "--bitrate \"0\""},
        {"rip --bitrate fast", "--bitrate \"fast\""},
        {"rip --drive 0 --image a.cue", "--drive and --image exclude each other"},
        {"rip --image a.cue --image b.cue", "--image is given twice"},
        {"rip --drive 0 --drive 1", "--drive is given twice"},
        {"rip --tracks 5-3", "runs backwards; write 3-5"},
    };
    for (const Case& c : cases) {
        const ParseResult r = Parse(QString::fromLatin1(c.line));
        EXPECT_TRUE(r.error.contains(QLatin1String(c.says))) << c.line << " gave: " << r.error.toStdString();
        EXPECT_FALSE(r.error.contains(QLatin1Char('\n'))) << c.line;
    }
}

TEST(CommandLineArgs, TrackLists)
{
    struct Good {
        const char* text;
        QList<int> numbers;
    } good[] = {
        {"3", {3}},
        {"1,3-5", {1, 3, 4, 5}},
        {"5,1,3-3,1", {1, 3, 5}}, // sorted, no repeats
        {"2-4,3-6", {2, 3, 4, 5, 6}},
    };
    for (const Good& g : good) {
        QString why;
        const auto s = ParseTrackList(QString::fromLatin1(g.text), &why);
        ASSERT_TRUE(s) << g.text << ": " << why.toStdString();
        EXPECT_FALSE(s->all);
        EXPECT_EQ(s->numbers, g.numbers) << g.text;
    }
    QString why;
    const auto all = ParseTrackList(QStringLiteral("all"), &why);
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->all);

    struct Bad {
        const char* text;
        const char* says;
    } bad[] = {
        {"", "no track given"},
        {"5-3", "runs backwards"},
        {"0", "numbered from 1"},
        {"2-0", "numbered from 1"},
        {"-3", "not a track number"},
        {"1-", "not a track number"},
        {"1,,2", "empty entry"},
        {"two", "not a track number"},
        {"+2", "not a track number"},
        {" 2", "not a track number"},
        {"1-99999", "longer than any disc"},
        {"12345678", "not a track number"},
        {"1-2000", "longer than any disc"},
        {"ALL", "lower case"},
    };
    for (const Bad& b : bad) {
        QString error;
        EXPECT_FALSE(ParseTrackList(QString::fromLatin1(b.text), &error)) << b.text;
        EXPECT_TRUE(error.contains(QLatin1String(b.says))) << b.text << " gave: " << error.toStdString();
    }
}

TEST(CommandLineProgress, LinesAndClocks)
{
    EXPECT_EQ(ProgressLine(2, 0.456, 12.34, 5.4), QStringLiteral("Track 02:  45%   12.3x  0:05 left"));
    EXPECT_EQ(ProgressLine(12, 0, 0, -1), QStringLiteral("Track 12:   0%     --x  --:-- left"));
    EXPECT_EQ(FinishedLine(3, 1.0, 40, QStringLiteral("done")), QStringLiteral("Track 03: 100%   40.0x  done"));
    EXPECT_EQ(Clock(59.6), QStringLiteral("1:00"));
    EXPECT_EQ(Clock(3725), QStringLiteral("1:02:05"));
    EXPECT_EQ(Clock(std::numeric_limits<double>::infinity()), QStringLiteral("--:--"));
}

namespace {
QByteArray ReadBack(std::FILE* f)
{
    std::fflush(f);
    std::rewind(f);
    QByteArray all;
    char buffer[256];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        all.append(buffer, static_cast<qsizetype>(n));
    return all;
}

// Two temporary files standing in for stdout and stderr.
struct Streams {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ~Streams()
    {
        std::fclose(out);
        std::fclose(err);
    }
};
} // namespace

TEST(ConsoleLines, PlainOutputHasOnlyWholeLinesAndNoControlCharacters)
{
    Streams s;
    {
        ConsoleLines lines(s.out, s.err, false);
        lines.Update(QStringLiteral("never shown"));
        lines.Message(QStringLiteral("Error\r\nline two\x1b[31m"));
        lines.Line(QStringLiteral("Track 01: 100%\tdone"));
        lines.Result(QStringLiteral("3 Tracks have been Ripped to /x\r\n1 Tracks could not be Ripped."));
    }
    EXPECT_EQ(ReadBack(s.err), QByteArray("quillmere: Error line two [31m\nTrack 01: 100% done\n"));
    EXPECT_EQ(ReadBack(s.out), QByteArray("3 Tracks have been Ripped to /x\n1 Tracks could not be Ripped.\n"));
}

TEST(ConsoleLines, InPlaceLineIsRewrittenAndClosedBeforeAMessage)
{
    Streams s;
    {
        ConsoleLines lines(s.out, s.err, true);
        lines.Update(QStringLiteral("Track 01:  10%"));
        lines.Update(QStringLiteral("Track 01: 5%"));
        lines.Message(QStringLiteral("read error"));
        lines.Update(QStringLiteral("Track 02: 1%"));
        lines.Line(QStringLiteral("Track 02: done"));
    }
    EXPECT_EQ(ReadBack(s.err), QByteArray("\rTrack 01:  10%\rTrack 01: 5%  \nquillmere: read error\n"
                                  "\rTrack 02: 1%\rTrack 02: done\n"));
}

TEST(ConsoleDialogs, BoxesAreLinesOnStderrAndQuestionsGetThePresetAnswer)
{
    Streams s;
    {
        ConsoleLines lines(s.out, s.err, false);
        ConsoleDialogs dialogs(lines);
        auto ask = [&] {
            return dialogs.MessageBox(nullptr, QStringLiteral("Sure?"), QStringLiteral("Ask"), MsgIcon::Question,
                                      MsgButtons::YesNo);
        };
        EXPECT_EQ(ask(), MsgAnswer::Yes);
        dialogs.answer = MsgAnswer::No;
        EXPECT_EQ(ask(), MsgAnswer::No);
        dialogs.MessageBox(nullptr, QStringLiteral("bad"), QStringLiteral("Oops"), MsgIcon::Critical, MsgButtons::Ok);
        EXPECT_EQ(dialogs.BrowseForFolder(nullptr, QStringLiteral("pick")), QString());
    }
    EXPECT_EQ(ReadBack(s.err), QByteArray("quillmere: Oops: bad\n"));
    EXPECT_EQ(ReadBack(s.out), QByteArray());
}
