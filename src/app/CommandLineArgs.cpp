#include "CommandLineArgs.h"

#include <QFile>

#include <algorithm>
#include <iterator>
#include <set>

namespace qm::cli {

namespace {

// In the order of the output formats (RipPlan's OutputFormat).
const char* const kFormatNames[] = {"portable", "wav", "wma", "mp3", "ogg", "flac", "opus"};
constexpr int kFormatNameCount = static_cast<int>(std::size(kFormatNames));

struct Option {
    const char* name;
    bool takesValue;
    // Commands it applies to, as a bit set of Command values.
    unsigned commands;
};

constexpr unsigned bit(Command c) { return 1U << static_cast<unsigned>(c); }

const Option kOptions[] = {
    {"--image", true, bit(Command::Window) | bit(Command::Drives) | bit(Command::Tracks) | bit(Command::Rip)},
    {"--drive", true, bit(Command::Tracks) | bit(Command::Rip)},
    {"--tracks", true, bit(Command::Rip)},
    {"--format", true, bit(Command::Rip)},
    {"--vbr", false, bit(Command::Rip)},
    {"--cbr", false, bit(Command::Rip)},
    {"--bitrate", true, bit(Command::Rip)},
    {"--level", true, bit(Command::Rip)},
    {"--out", true, bit(Command::Rip)},
    {"--save", false, bit(Command::Rip)},
    {"--no-lookup", false, bit(Command::Tracks) | bit(Command::Rip)},
    {"--json", false, bit(Command::Tracks)},
    {"--name", true, bit(Command::Rip)},
    {"--playlist", false, bit(Command::Rip)},
    {"--no-verify", false, bit(Command::Rip)},
    {"--test-and-copy", false, bit(Command::Rip)},
};

const Option* FindOption(const QString& name)
{
    for (const Option& o : kOptions) {
        if (name == QLatin1String(o.name))
            return &o;
    }
    return nullptr;
}

const struct {
    const char* word;
    Command command;
} kCommands[] = {{"drives", Command::Drives}, {"tracks", Command::Tracks}, {"rip", Command::Rip}};

std::optional<Command> CommandWord(const QString& word)
{
    for (const auto& c : kCommands) {
        if (word == QLatin1String(c.word))
            return c.command;
    }
    return std::nullopt;
}

QString CommandName(Command command)
{
    for (const auto& c : kCommands) {
        if (c.command == command)
            return QString::fromLatin1(c.word);
    }
    return QStringLiteral("the window");
}

std::optional<int> PositiveNumber(const QString& text)
{
    // Digits only: toInt would also take "+3" and " 3".
    if (text.isEmpty() || text.size() > 6 ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    const int value = text.toInt();
    return value > 0 ? std::optional<int>(value) : std::nullopt;
}

} // namespace

int FormatFromName(const QString& name)
{
    for (int i = 0; i < kFormatNameCount; ++i) {
        if (name == QLatin1String(kFormatNames[i]))
            return i;
    }
    return -1;
}

QString FormatName(int format)
{
    return format >= 0 && format < kFormatNameCount ? QString::fromLatin1(kFormatNames[format]) : QString();
}

std::optional<TrackSelection> ParseTrackList(const QString& text, QString* error)
{
    auto fail = [&](const QString& why) {
        *error = QStringLiteral("--tracks \"%1\": %2").arg(text, why);
        return std::nullopt;
    };
    if (text == QLatin1String("all"))
        return TrackSelection{};
    if (text.isEmpty())
        return fail(QStringLiteral("no track given; use numbers like 1,3-5 or all"));
    if (text.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0)
        return fail(QStringLiteral("write all in lower case"));
    std::set<int> numbers;
    for (const QString& part : text.split(QLatin1Char(','))) {
        if (part.isEmpty())
            return fail(QStringLiteral("an empty entry between commas"));
        const qsizetype dash = part.indexOf(QLatin1Char('-'));
        const QString firstText = dash < 0 ? part : part.left(dash);
        const QString lastText = dash < 0 ? part : part.mid(dash + 1);
        const auto first = PositiveNumber(firstText);
        const auto last = PositiveNumber(lastText);
        if (!first || !last) {
            const bool zero = firstText == QLatin1String("0") || lastText == QLatin1String("0");
            return fail(zero ? QStringLiteral("tracks are numbered from 1")
                             : QStringLiteral("\"%1\" is not a track number or a range like 3-5").arg(part));
        }
        if (*first > *last)
            return fail(QStringLiteral("the range %1 runs backwards; write %2-%3").arg(part).arg(*last).arg(*first));
        if (*last - *first > 999)
            return fail(QStringLiteral("the range %1 is longer than any disc").arg(part));
        for (int n = *first; n <= *last; ++n)
            numbers.insert(n);
    }
    TrackSelection selection;
    selection.all = false;
    selection.numbers = QList<int>(numbers.begin(), numbers.end());
    return selection;
}

ParseResult ParseArguments(int argc, const char* const* argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        const QString text = QFile::decodeName(raw);
        if (QFile::encodeName(text) != raw) {
            ParseResult result;
            result.error = QStringLiteral("%1: not valid UTF-8; file and folder names must be UTF-8").arg(text);
            return result;
        }
        arguments << text;
    }
    return ParseArguments(arguments);
}

ParseResult ParseArguments(const QStringList& arguments)
{
    ParseResult result;
    Arguments& a = result.args;
    auto fail = [&](const QString& why) {
        result.error = why;
        return result;
    };

    // Help and version win wherever they stand.
    for (const QString& arg : arguments) {
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            a.command = Command::Help;
            return result;
        }
        if (arg == QLatin1String("--version")) {
            a.command = Command::Version;
            return result;
        }
    }

    qsizetype i = 0;
    if (!arguments.isEmpty() && !arguments.first().startsWith(QLatin1Char('-'))) {
        const auto command = CommandWord(arguments.first());
        if (!command)
            return fail(QStringLiteral("unknown command \"%1\"").arg(arguments.first()));
        a.command = *command;
        i = 1;
    }

    bool sawDrive = false;
    for (; i < arguments.size(); ++i) {
        QString name = arguments[i];
        // The window leaves single-dash options (and their values) to Qt.
        if (a.command == Command::Window && name.size() > 1 && name.startsWith(QLatin1Char('-')) &&
            !name.startsWith(QLatin1String("--"))) {
            if (i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1Char('-')))
                ++i;
            continue;
        }
        std::optional<QString> value;
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        }
        const Option* option = FindOption(name);
        if (!option) {
            if (!name.startsWith(QLatin1Char('-')))
                return fail(QStringLiteral("unexpected argument \"%1\"").arg(name));
            return fail(QStringLiteral("unknown option \"%1\"").arg(name));
        }
        if (!(option->commands & bit(a.command)))
            return fail(QStringLiteral("%1 does not apply to %2").arg(name, CommandName(a.command)));
        if (option->takesValue && !value) {
            if (i + 1 >= arguments.size())
                return fail(QStringLiteral("%1 needs a value").arg(name));
            value = arguments[++i];
        } else if (!option->takesValue && value) {
            return fail(QStringLiteral("%1 takes no value").arg(name));
        }

        if (name == QLatin1String("--image")) {
            if (value->isEmpty())
                return fail(QStringLiteral("--image needs a file name"));
            a.images << *value;
        } else if (name == QLatin1String("--drive")) {
            if (sawDrive)
                return fail(QStringLiteral("--drive is given twice"));
            if (value->isEmpty())
                return fail(QStringLiteral("--drive needs a drive number or name"));
            sawDrive = true;
            a.drive = *value;
        } else if (name == QLatin1String("--tracks")) {
            QString why;
            const auto tracks = ParseTrackList(*value, &why);
            if (!tracks)
                return fail(why);
            a.tracks = *tracks;
        } else if (name == QLatin1String("--format")) {
            const int format = FormatFromName(*value);
            if (format < 0) {
                const int lower = FormatFromName(value->toLower());
                return fail(lower >= 0 ? QStringLiteral("--format \"%1\": formats are lower case; use %2")
                                             .arg(*value, FormatName(lower))
                                       : QStringLiteral("--format \"%1\": use portable, wav, wma, mp3, ogg, flac or opus")
                                             .arg(*value));
            }
            a.format = format;
        } else if (name == QLatin1String("--vbr") || name == QLatin1String("--cbr")) {
            const bool vbr = name == QLatin1String("--vbr");
            if (a.vbr && *a.vbr != vbr)
                return fail(QStringLiteral("--vbr and --cbr exclude each other"));
            a.vbr = vbr;
        } else if (name == QLatin1String("--bitrate")) {
            const auto kbps = PositiveNumber(*value);
            if (!kbps)
                return fail(QStringLiteral("--bitrate \"%1\": give kilobits per second, like 192").arg(*value));
            a.bitrate = *kbps;
        } else if (name == QLatin1String("--level")) {
            bool number = false;
            const int level = value->toInt(&number);
            if (!number || level < 0 || level > 8)
                return fail(QStringLiteral("--level \"%1\": give a FLAC compression level from 0 to 8").arg(*value));
            a.level = level;
        } else if (name == QLatin1String("--out")) {
            if (value->isEmpty())
                return fail(QStringLiteral("--out needs a folder"));
            a.out = *value;
        } else if (name == QLatin1String("--save")) {
            a.save = true;
        } else if (name == QLatin1String("--no-lookup")) {
            a.lookUp = false;
        } else if (name == QLatin1String("--json")) {
            a.json = true;
        } else if (name == QLatin1String("--name")) {
            a.nameTemplate = *value;
        } else if (name == QLatin1String("--playlist")) {
            a.playlist = true;
        } else if (name == QLatin1String("--no-verify")) {
            a.verify = false;
        } else if (name == QLatin1String("--test-and-copy")) {
            a.testAndCopy = true;
        }
    }
    if (a.command != Command::Window && a.images.size() > 1)
        return fail(QStringLiteral("--image is given twice"));
    if (a.drive && !a.images.isEmpty())
        return fail(QStringLiteral("--drive and --image exclude each other"));
    return result;
}

QString UsageText()
{
    return QStringLiteral(
        "Usage:\n"
        "  quillmere [--image FILE.cue]...   start the window\n"
        "  quillmere drives [--image FILE.cue]\n"
        "  quillmere tracks [--drive N | --image FILE.cue] [--json] [--no-lookup]\n"
        "  quillmere rip [--drive N | --image FILE.cue] [--tracks 1,3-5|all]\n"
        "                [--format portable|wav|wma|mp3|ogg|flac|opus] [--vbr | --cbr]\n"
        "                [--bitrate KBPS] [--level 0-8]\n"
        "                [--out DIR] [--name TEMPLATE] [--playlist] [--save] [--no-lookup]\n"
        "                [--no-verify] [--test-and-copy]\n"
        "  quillmere --help | --version\n"
        "\n"
        "drives  lists every drive: its number, name, capabilities, speed, cache and door.\n"
        "tracks  lists the disc's artist, album, IDs and tracks with their titles, looked up\n"
        "        on MusicBrainz unless --no-lookup is given or the window's option is off;\n"
        "        --json prints them as JSON.\n"
        "rip     rips the tracks given (all by default) with the stored settings; the options\n"
        "        change them for this run only, or for good with --save. Drives are numbered as\n"
        "        \"quillmere drives\" lists them; N may also be a drive's name (/dev/sr0).\n"
        "        --name names the files from {n}, {nn}, {title}, {artist}, {album} and {year}, a /\n"
        "        making folders (\"{artist}/{album}/{nn} - {title}\"; TRACK{n} by default);\n"
        "        --playlist also writes <album>.m3u8 beside them. Each track is matched against\n"
        "        the AccurateRip database unless --no-verify is given or the window's option is\n"
        "        off; --test-and-copy reads each track of a CD drive twice and compares the reads.\n"
        "        <album>.log beside the files records the rip, its checksums and what was found.\n"
        "\n"
        "Exit status: 0 every track ripped, 1 a track failed or the rip was interrupted,\n"
        "2 wrong arguments, 3 another Quillmere is running.\n");
}

} // namespace qm::cli
