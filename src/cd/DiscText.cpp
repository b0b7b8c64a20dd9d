#include "DiscText.h"

#include <QLocale>
#include <QStringDecoder>
#include <cstring>

namespace qm {

namespace {
QString TwoDigits(std::int32_t value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}
} // namespace

QString Seconds2HMS(std::int32_t lngSeconds)
{
    // No caller has a negative time; show one as zero rather than as "-5".
    const std::int32_t s = lngSeconds < 0 ? 0 : lngSeconds;
    const std::int32_t h = s / 3600;
    std::int32_t r = s - 3600 * h;
    const std::int32_t m = r / 60;
    r -= 60 * m;
    if (h > 0)
        return TwoDigits(h) + QLatin1Char(':') + TwoDigits(m) + QLatin1Char(':') + TwoDigits(r);
    return TwoDigits(m) + QLatin1Char(':') + TwoDigits(r);
}

std::int32_t TrackSeconds(std::int32_t bytes)
{
    constexpr auto kBytesPerSecond = static_cast<std::int32_t>(kCdBytesPerSecond);
    std::int32_t whole = bytes / kBytesPerSecond;
    const std::int32_t rest = bytes % kBytesPerSecond;
    if (2 * rest > kBytesPerSecond || (2 * rest == kBytesPerSecond && whole % 2 != 0))
        ++whole;
    return whole;
}

QString DecodeLibraryText(const char* bytes, std::size_t length)
{
    if (!bytes || length == 0)
        return QString();
    const QByteArrayView view(bytes, static_cast<qsizetype>(length));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    // Drive firmware and old images may carry Latin-1 bytes.
    if (utf8.hasError())
        text = QString::fromLatin1(view);
    return text;
}

QString ReadCString(const char* address, std::size_t maxBytes)
{
    if (!address)
        return QString();
    return DecodeLibraryText(address, strnlen(address, maxBytes));
}

QString FormatKbps(DWORD value)
{
    if (value == 0)
        return QStringLiteral(" Kbps");
    QLocale locale;
    // Some locales (C among them) omit the separator by default; the pattern
    // always groups.
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(static_cast<qulonglong>(value)) + QStringLiteral(" Kbps");
}

QString DriveEntryText(const char* name, const char* description, DWORD drive)
{
    QString shortName = ReadCString(name);
    if (shortName.isEmpty())
        shortName = QStringLiteral("Drive %1").arg(drive);
    return shortName + QStringLiteral(": ") + ReadCString(description);
}

} // namespace qm
