#include "RipNames.h"

namespace qm {

QString TrackFileName(const QString& folder, int number, const QString& extension)
{
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path + QStringLiteral("TRACK") + QString::number(number) + extension;
}

QString LeadingBitrate(const QString& entry)
{
    const QString text = entry.trimmed();
    qsizetype n = 0;
    while (n < text.size() && text[n].isDigit())
        ++n;
    bool ok = false;
    const qlonglong value = text.left(n).toLongLong(&ok);
    return QString::number(ok ? value : 0);
}

} // namespace qm
