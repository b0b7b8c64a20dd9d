#pragma once
// The program's arguments: no command starts the window; "drives", "tracks"
// and "rip" run in the terminal on the window's own start-up and controls.
// Parsing is pure so that every rule can be tested without a disc.
//
// Hand-written, not QCommandLineParser, which cannot keep this grammar and
// its messages: the window must let Qt's own single-dash options and their
// values pass (-platform offscreen), where it reports the option unknown and
// takes the value for an argument; it reports faults in its own order and
// words ("Unknown option 'x'.", the dashes and "=value" gone), not the first
// wrong argument as given; and it reads "--" as the end of the options and
// "-image" as "--image", which the terminal commands refuse as unknown.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace qm::cli {

enum class Command { Window, Help, Version, Drives, Tracks, Rip };

// Exit statuses of the terminal commands.
enum ExitStatus { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitAnotherInstance = 3 };

// Track numbers as the track list numbers its rows (1-based); empty with
// `all` set means every row.
struct TrackSelection {
    bool all = true;
    QList<int> numbers; // ascending, no repeats
};

struct Arguments {
    Command command = Command::Window;
    QStringList images;          // --image, as given
    std::optional<QString> drive; // --drive: an index or a drive's name
    TrackSelection tracks;
    std::optional<int> format;   // output format index
    std::optional<bool> vbr;     // --vbr true, --cbr false
    std::optional<int> bitrate;  // kbps
    std::optional<int> level;    // FLAC compression, 0-8
    std::optional<QString> out;
    bool save = false;
    bool lookUp = true; // --no-lookup: titles only from the disc and what is remembered
    bool json = false;  // tracks as JSON
    std::optional<QString> nameTemplate; // --name
    bool playlist = false;               // --playlist
    bool verify = true;                  // --no-verify: AccurateRip is not asked
    bool testAndCopy = false;            // --test-and-copy
};

struct ParseResult {
    Arguments args;
    QString error; // one line; empty when the arguments are fine
};

// `arguments` without the program's name.
ParseResult ParseArguments(const QStringList& arguments);
// The process's own argv. An argument whose bytes are not UTF-8 is refused:
// Qt would turn them into U+FFFD, and a file name changed that way names
// another file (a rip into a new folder, an image "not found").
ParseResult ParseArguments(int argc, const char* const* argv);

// "all", or numbers and ranges separated by commas: "1,3-5".
std::optional<TrackSelection> ParseTrackList(const QString& text, QString* error);

// Output format index for its command-line name, -1 when unknown.
int FormatFromName(const QString& name);
QString FormatName(int format);

QString UsageText();

} // namespace qm::cli
