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
    const std::pair<const char*, Command> cases[] = {
        {"", Command::Window},
        {"-platform offscreen --image a.cue --image b.cue", Command::Window}, // single dash: left to Qt
        {"drives", Command::Drives},
        {"tracks --drive 1", Command::Tracks},
        {"rip --bogus --help", Command::Help}, // help wins
        {"--version", Command::Version},
    };
    for (const auto& [line, command] : cases) {
        const ParseResult r = Parse(QString::fromLatin1(line));
        EXPECT_TRUE(r.error.isEmpty()) << line << ": " << r.error.toStdString();
        EXPECT_EQ(r.args.command, command) << line;
    }
    EXPECT_EQ(Parse(QStringLiteral("-platform offscreen --image a.cue --image b.cue")).args.images,
              QStringList({QStringLiteral("a.cue"), QStringLiteral("b.cue")}));
    const ParseResult rip = Parse(QStringLiteral("rip --format=mp3 --vbr --bitrate=192 --tracks 2,3 --out o --save"));
    ASSERT_TRUE(rip.error.isEmpty()) << rip.error.toStdString();
    EXPECT_EQ(rip.args.format, 3);
    EXPECT_EQ(rip.args.vbr, true);
    EXPECT_EQ(rip.args.bitrate, 192);
    EXPECT_EQ(rip.args.tracks.numbers, QList<int>({2, 3}));
    EXPECT_EQ(rip.args.out, QStringLiteral("o"));
    EXPECT_TRUE(rip.args.save);
}

TEST(CommandLineArgs, UsageErrorsSayWhatIsWrongOnOneLine)
{
    const std::pair<const char*, const char*> cases[] = {
        {"--bogus", "unknown option \"--bogus\""},
        {"burn", "unknown command \"burn\""},
        {"rip extra", "unexpected argument \"extra\""},
        {"tracks --format wav", "--format does not apply to tracks"},
        {"--tracks 1", "--tracks does not apply to the window"},
        {"rip --format WAV", "lower case; use wav"},
        {"rip --format flac", "use portable, wav, wma, mp3 or ogg"},
        {"rip --format", "--format needs a value"},
        {"rip --save=yes", "--save takes no value"},
        {"rip --vbr --cbr", "exclude each other"},
        {"rip --bitrate 0", "--bitrate \"0\""},
        {"rip --drive 0 --image a.cue", "--drive and --image exclude each other"},
        {"rip --image a.cue --image b.cue", "--image is given twice"},
        {"rip --drive 0 --drive 1", "--drive is given twice"},
    };
    for (const auto& [line, says] : cases) {
        const ParseResult r = Parse(QString::fromLatin1(line));
        EXPECT_TRUE(r.error.contains(QLatin1String(says))) << line << " gave: " << r.error.toStdString();
        EXPECT_FALSE(r.error.contains(QLatin1Char('\n'))) << line;
    }
}

TEST(CommandLineArgs, TrackLists)
{
    const std::pair<const char*, QList<int>> good[] = {{"3", {3}}, {"5,1,3-4,1", {1, 3, 4, 5}}, {"2-4,3-5", {2, 3, 4, 5}}};
    for (const auto& [text, numbers] : good) {
        QString why;
        const auto s = ParseTrackList(QString::fromLatin1(text), &why);
        ASSERT_TRUE(s) << text << ": " << why.toStdString();
        EXPECT_FALSE(s->all);
        EXPECT_EQ(s->numbers, numbers) << text;
    }
    QString why;
    EXPECT_TRUE(ParseTrackList(QStringLiteral("all"), &why)->all);

    const std::pair<const char*, const char*> bad[] = {
        {"", "no track given"},         {"5-3", "runs backwards; write 3-5"}, {"2-0", "numbered from 1"},
        {"1-", "not a track number"},   {"1,,2", "empty entry"},              {"+2", "not a track number"},
        {"12345678", "not a track number"}, {"1-2000", "longer than any disc"}, {"ALL", "lower case"},
    };
    for (const auto& [text, says] : bad) {
        QString error;
        EXPECT_FALSE(ParseTrackList(QString::fromLatin1(text), &error)) << text;
        EXPECT_TRUE(error.contains(QLatin1String(says))) << text << " gave: " << error.toStdString();
    }
}

TEST(CommandLineProgress, LinesAndClocks)
{
    EXPECT_EQ(ProgressLine(2, 0.456, 12.34, 5.4), QStringLiteral("Track 02:  45%   12.3x  0:05 left"));
    EXPECT_EQ(ProgressLine(12, 0, 0, -1), QStringLiteral("Track 12:   0%     --x  --:-- left"));
    EXPECT_EQ(FinishedLine(3, 1.0, 40, QStringLiteral("done")), QStringLiteral("Track 03: 100%   40.0x  done"));
    EXPECT_EQ(Clock(59.6), QStringLiteral("1:00"));
    EXPECT_EQ(Clock(3725), QStringLiteral("1:02:05"));
}

namespace {
// Two temporary files standing in for stdout and stderr.
struct Streams {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ~Streams()
    {
        std::fclose(out);
        std::fclose(err);
    }
    static QByteArray ReadBack(std::FILE* f)
    {
        std::fflush(f);
        std::rewind(f);
        QByteArray all;
        char buffer[256];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            all.append(buffer, static_cast<qsizetype>(n));
        return all;
    }
};
} // namespace

TEST(ConsoleLines, PlainOutputHasOnlyWholeLinesAndAnInPlaceLineIsClosedBeforeAMessage)
{
    Streams plain, terminal;
    {
        ConsoleLines lines(plain.out, plain.err, false);
        lines.Update(QStringLiteral("never shown"));
        lines.Message(QStringLiteral("Error\r\nline two\x1b[31m"));
        lines.Result(QStringLiteral("3 Tracks have been Ripped to /x\r\n1 Tracks could not be Ripped."));
        ConsoleLines inPlace(terminal.out, terminal.err, true);
        inPlace.Update(QStringLiteral("Track 01:  10%"));
        inPlace.Update(QStringLiteral("Track 01: 5%"));
        inPlace.Message(QStringLiteral("read error"));
        inPlace.Update(QStringLiteral("Track 02: 1%"));
        inPlace.Line(QStringLiteral("Track 02: done"));
    }
    EXPECT_EQ(Streams::ReadBack(plain.err), QByteArray("quillmere: Error line two [31m\n"));
    EXPECT_EQ(Streams::ReadBack(plain.out), QByteArray("3 Tracks have been Ripped to /x\n1 Tracks could not be Ripped.\n"));
    EXPECT_EQ(Streams::ReadBack(terminal.err),
              QByteArray("\rTrack 01:  10%\rTrack 01: 5%  \nquillmere: read error\n\rTrack 02: 1%\rTrack 02: done\n"));
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
    EXPECT_EQ(Streams::ReadBack(s.err), QByteArray("quillmere: Oops: bad\n"));
    EXPECT_EQ(Streams::ReadBack(s.out), QByteArray());
}
