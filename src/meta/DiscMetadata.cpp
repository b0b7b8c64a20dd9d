#include "DiscMetadata.h"

#include <QStringList>

namespace qm::meta {

QString CleanText(const QString& text)
{
    QString clean;
    clean.reserve(qMin(text.size(), kMaxTextLength));
    bool space = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        // Half of a surrogate pair has no UTF-8: the file's name and the
        // log's line for it would differ.
        QString unit(text[i]);
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            unit += text[++i];
        else if (text[i].isSurrogate())
            unit = QChar(QChar::ReplacementCharacter);
        const QChar c = unit[0];
        // Line and paragraph separators would break the row, and bidi
        // embeddings and overrides reorder what follows them (a file name
        // could show a false extension); they count as control characters.
        const char16_t u = c.unicode();
        const bool control = c.category() == QChar::Other_Control || u == 0x2028 || u == 0x2029 ||
                             (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
        if (control || c.isSpace()) {
            space = !clean.isEmpty();
            continue;
        }
        if (space)
            clean += QLatin1Char(' ');
        space = false;
        clean += unit;
        if (clean.size() >= kMaxTextLength)
            break;
    }
    if (clean.size() > kMaxTextLength)
        clean.truncate(kMaxTextLength);
    // Never leave half of a surrogate pair at the cut.
    if (!clean.isEmpty() && clean.back().isHighSurrogate())
        clean.chop(1);
    return clean;
}

QString ChoiceText(const Release& release)
{
    QStringList details;
    if (!release.year.isEmpty())
        details << release.year;
    if (!release.country.isEmpty())
        details << release.country;
    if (release.mediumCount > 1)
        details << QStringLiteral("disc %1 of %2").arg(release.mediumPosition).arg(release.mediumCount);
    if (!release.disambiguation.isEmpty())
        details << release.disambiguation;
    QString text = release.title.isEmpty() ? QStringLiteral("(untitled)") : release.title;
    if (!release.artist.isEmpty())
        text += QStringLiteral(" - ") + release.artist;
    if (!details.isEmpty())
        text += QStringLiteral(" (") + details.join(QStringLiteral(", ")) + QLatin1Char(')');
    return text;
}

} // namespace qm::meta
