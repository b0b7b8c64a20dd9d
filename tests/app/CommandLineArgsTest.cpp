#include "app/CommandLineArgs.h"
#include "app/RipProgress.h"
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
        {"tracks --drive 1", Command::Tracks},
        {"rip --bogus --help", Command::Help}, // help wins
        {"--version", Command::Version},
    };
    for (const auto& [line, command] : cases) {
        const ParseResult r = Parse(QString::fromLatin1(line));
        EXPECT_TRUE(r.error.isEmpty()) << line << ": " << r.error.toStdString();
        EXPECT_EQ(r.args.command, command) << line;
    }
    EXPECT_EQ(Parse(QStringLiteral("-platform offscreen --image a.cue --image b.cue")).args.images, QStringList({"a.cue", "b.cue"}));
    const ParseResult rip = Parse(QStringLiteral("rip --format=mp3 --vbr --bitrate=192 --tracks 2,3 --out o --save"));
    ASSERT_TRUE(rip.error.isEmpty()) << rip.error.toStdString();
    EXPECT_TRUE(rip.args.format == 3 && rip.args.vbr && rip.args.bitrate == 192 && rip.args.save);
    EXPECT_TRUE(rip.args.tracks.numbers == QList<int>({2, 3}) && rip.args.out == "o");
}

TEST(CommandLineArgs, UsageErrorsSayWhatIsWrongOnOneLine)
{
    const std::pair<const char*, const char*> cases[] = {
        {"--bogus", "unknown option \"--bogus\""},
        {"burn", "unknown command \"burn\""},
        {"tracks --format wav", "--format does not apply to tracks"},
        {"rip --format WAV", "lower case; use wav"},
        {"rip --format aac", "use portable, wav, wma, mp3, ogg, flac or opus"},
        {"rip --level 9", "from 0 to 8"},
        {"rip --save=yes", "--save takes no value"},
        {"rip --vbr --cbr", "exclude each other"},
        {"rip --drive 0 --image a.cue", "--drive and --image exclude each other"},
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
        {"", "no track given"}, {"5-3", "runs backwards; write 3-5"}, {"2-0", "numbered from 1"},
        {"1,,2", "empty entry"}, {"+2", "not a track number"}, {"1-2000", "longer than any disc"},
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
// Everything written to a stream; closes it.
QByteArray Written(std::FILE* file)
{
    std::rewind(file);
    QByteArray all(1 << 16, '\0');
    all.resize(qsizetype(std::fread(all.data(), 1, std::size_t(all.size()), file)));
    std::fclose(file);
    return all;
}
} // namespace

TEST(ConsoleLines, PlainOutputHasOnlyWholeLinesAndAnInPlaceLineIsClosedBeforeAMessage)
{
    std::FILE *plainOut = std::tmpfile(), *plainErr = std::tmpfile(), *terminalOut = std::tmpfile(), *terminalErr = std::tmpfile();
    {
        ConsoleLines lines(plainOut, plainErr, false);
        lines.Update(QStringLiteral("never shown"));
        lines.Message(QStringLiteral("Error\r\nline two\x1b[31m"));
        lines.Result(QStringLiteral("3 Tracks have been Ripped to /x\r\n1 Tracks could not be Ripped."));
        ConsoleLines inPlace(terminalOut, terminalErr, true);
        inPlace.Update(QStringLiteral("Track 01:  10%"));
        inPlace.Update(QStringLiteral("Track 01: 5%"));
        inPlace.Message(QStringLiteral("read error"));
        inPlace.Update(QStringLiteral("Track 02: 1%"));
        inPlace.Line(QStringLiteral("Track 02: done"));
    }
    EXPECT_EQ(Written(plainErr), QByteArray("quillmere: Error line two [31m\n"));
    EXPECT_EQ(Written(plainOut), QByteArray("3 Tracks have been Ripped to /x\n1 Tracks could not be Ripped.\n"));
    std::fclose(terminalOut);
    EXPECT_EQ(Written(terminalErr),
              QByteArray("\rTrack 01:  10%\rTrack 01: 5%  \nquillmere: read error\n\rTrack 02: 1%\rTrack 02: done\n"));
}
