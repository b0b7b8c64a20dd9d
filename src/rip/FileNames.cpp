#include "FileNames.h"

#include <QRegularExpression>
#include <QSet>

namespace qm {

namespace {

const QStringList kPlaceholders{"n", "nn", "title", "artist", "album", "year"};
// A rip writes "<name>.NNNNNN.part" before the rename: the name leaves room for it.
constexpr int kTemporarySuffixBytes = 12;

const QRegularExpression& Placeholder()
{
    static const QRegularExpression re(QStringLiteral("\\{([^{}]*)\\}"));
    return re;
}

// Cut to maxBytes of UTF-8 without splitting a character (or a surrogate pair).
QString CutToBytes(const QString& text, int maxBytes)
{
    if (text.toUtf8().size() <= maxBytes)
        return text;
    QString cut;
    int bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const int size = int(text.mid(i, length).toUtf8().size());
        if (bytes + size > maxBytes)
            break;
        cut += text.mid(i, length);
        bytes += size;
        i += length - 1;
    }
    return cut;
}

QString Trimmed(QString text)
{
    qsizetype start = 0;
    while (start < text.size() && (text[start] == QLatin1Char('.') || text[start].isSpace()))
        ++start;
    qsizetype end = text.size();
    while (end > start && (text[end - 1] == QLatin1Char('.') || text[end - 1].isSpace()))
        --end;
    return text.mid(start, end - start);
}

QString Fill(const QString& component, const NameFields& f)
{
    QString out;
    qsizetype at = 0;
    for (const QRegularExpressionMatch& m : Placeholder().globalMatch(component)) {
        out += component.mid(at, m.capturedStart() - at);
        const QString name = m.captured(1);
        // Empty once made safe ("...", "/"), as well as empty.
        const QString title = SafeNamePart(f.title).isEmpty()
                                  ? QStringLiteral("Track %1").arg(f.number, 2, 10, QLatin1Char('0'))
                                  : f.title;
        const QString value = name == QLatin1String("n")       ? QString::number(f.number)
                              : name == QLatin1String("nn")    ? QStringLiteral("%1").arg(f.number, 2, 10, QLatin1Char('0'))
                              : name == QLatin1String("title") ? title
                              : name == QLatin1String("artist") ? f.artist
                              : name == QLatin1String("album")  ? f.album
                                                                : f.year;
        out += SafeNamePart(value);
        at = m.capturedEnd();
    }
    return out + component.mid(at);
}

} // namespace

QStringList NameTemplatePresets()
{
    return {QString::fromLatin1(kDefaultNameTemplate), QStringLiteral("{nn} - {title}"),
            QStringLiteral("{artist}/{album}/{nn} - {title}")};
}

QString NameTemplateProblem(const QString& nameTemplate)
{
    if (nameTemplate.trimmed().isEmpty())
        return QStringLiteral("it is empty");
    if (nameTemplate.startsWith(QLatin1Char('/')))
        return QStringLiteral("it must name files inside the output folder, not from the root");
    for (const QString& part : nameTemplate.split(QLatin1Char('/'))) {
        if (part.trimmed() == QLatin1String(".."))
            return QStringLiteral("\"..\" would leave the output folder");
    }
    QStringList unknown;
    for (const QRegularExpressionMatch& m : Placeholder().globalMatch(nameTemplate)) {
        if (!kPlaceholders.contains(m.captured(1)))
            unknown << m.captured(0);
    }
    if (!unknown.isEmpty())
        return QStringLiteral("there is no placeholder %1 (there are {n}, {nn}, {title}, {artist}, {album} and {year})")
            .arg(unknown.join(QStringLiteral(", ")));
    QString rest = nameTemplate;
    rest.remove(Placeholder());
    if (rest.contains(QLatin1Char('{')) || rest.contains(QLatin1Char('}')))
        return QStringLiteral("a brace is not closed");
    return {};
}

QString SafeNamePart(const QString& text, int maxBytes)
{
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('/') || c.unicode() == 0 || c.category() == QChar::Other_Control)
            safe += QLatin1Char('_');
        else if (c == QLatin1Char('"'))
            safe += QLatin1Char('\'');
        else
            safe += c;
    }
    // Trimmed again after the cut, which may end where a word did.
    return Trimmed(CutToBytes(Trimmed(safe), maxBytes));
}

std::map<int, QString> TrackFileNames(const QString& nameTemplate, const std::map<int, NameFields>& tracks,
                                      const QString& extension)
{
    const int extensionBytes = int(extension.toUtf8().size());
    std::map<int, QString> names;
    QHash<QString, int> uses;
    for (const auto& [number, fields] : tracks) {
        QStringList folders;
        const QStringList parts = nameTemplate.split(QLatin1Char('/'));
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            const QString folder = SafeNamePart(Fill(parts[i], fields));
            if (!folder.isEmpty()) // an empty field makes no folder of its own
                folders << folder;
        }
        QString file = SafeNamePart(Fill(parts.last(), fields), 255 - extensionBytes - kTemporarySuffixBytes);
        if (file.isEmpty())
            file = QStringLiteral("Track %1").arg(number, 2, 10, QLatin1Char('0'));
        folders << file;
        names[number] = folders.join(QLatin1Char('/'));
        ++uses[names[number].toCaseFolded()];
    }
    // A numbered name may itself be another track's ("A (2)"): numbers are
    // added until every name is the track's own.
    QSet<QString> taken;
    for (const auto& [number, name] : names) {
        if (uses.value(name.toCaseFolded()) == 1)
            taken.insert(name.toCaseFolded());
    }
    for (auto& [number, name] : names) {
        if (uses.value(name.toCaseFolded()) > 1) {
            const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
            QString numbered;
            for (int again = 1; numbered.isEmpty() || taken.contains(numbered.toCaseFolded()); ++again) {
                const QString suffix = again == 1 ? QStringLiteral(" (%1)").arg(number)
                                                  : QStringLiteral(" (%1, %2)").arg(number).arg(again);
                const QString file = CutToBytes(name.mid(slash + 1), 255 - extensionBytes - kTemporarySuffixBytes -
                                                                        int(suffix.toUtf8().size()));
                numbered = name.left(slash + 1) + file + suffix;
            }
            taken.insert(numbered.toCaseFolded());
            name = numbered;
        }
        name += extension;
    }
    return names;
}

QString PlaylistEntry(int seconds, const QString& artist, const QString& title, const QString& relativePath)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    static const QRegularExpression breaks(QStringLiteral("[\\r\\n\\x{2028}\\x{2029}]"));
    const QString path = relativePath.startsWith(QLatin1Char('#')) || scheme.match(relativePath).hasMatch()
                             ? QStringLiteral("./") + relativePath
                             : relativePath;
    const QString text = QStringLiteral("%1 - %2").arg(artist, title).replace(breaks, QStringLiteral(" "));
    return QStringLiteral("#EXTINF:%1,%2\n%3\n").arg(seconds).arg(text, path);
}

} // namespace qm
