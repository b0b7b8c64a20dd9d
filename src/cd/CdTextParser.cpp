#include "CdTextParser.h"

#include "DiscText.h"

#include <QByteArrayView>
#include <cstring>

namespace qm {

namespace {

const CdTextError kNoEquals{5, QStringLiteral("Invalid procedure call or argument")};
const CdTextError kNotANumber{13, QStringLiteral("Type mismatch")};
const CdTextError kOutOfRange{9, QStringLiteral("Subscript out of range")};

bool StartsWithName(QByteArrayView text, QByteArrayView name)
{
    return text.size() >= name.size() && text.first(name.size()).compare(name, Qt::CaseInsensitive) == 0;
}

// One "NAMEi=value" text into its table; the error when it is malformed.
std::optional<CdTextError> ReadEntry(QByteArrayView text, qsizetype nameLength, QStringList& table)
{
    const qsizetype equals = text.indexOf('=');
    if (equals < 0)
        return kNoEquals;
    const QByteArrayView digits = text.sliced(nameLength, std::max<qsizetype>(0, equals - nameLength));
    bool isNumber = false;
    const qlonglong index = digits.trimmed().toLongLong(&isNumber);
    if (!isNumber)
        return kNotANumber;
    if (index < 0 || index >= table.size())
        return kOutOfRange;
    const QByteArrayView value = text.sliced(equals + 1);
    table[static_cast<qsizetype>(index)] =
        DecodeLibraryText(value.data(), static_cast<std::size_t>(value.size())).left(kMaxCdTextValue);
    return std::nullopt;
}

} // namespace

CdTextTables ParseCdText(const char* block, int trackCount)
{
    CdTextTables tables;
    const qsizetype entries = trackCount < 0 ? 1 : static_cast<qsizetype>(trackCount) + 1;
    tables.title = QStringList(entries, QString());
    tables.performer = QStringList(entries, QString());
    if (!block)
        return tables;

    std::size_t offset = 0;
    while (offset < kMaxCdTextBytes) {
        const char* at = block + offset;
        const std::size_t length = strnlen(at, kMaxCdTextBytes - offset);
        if (length == 0)
            break;
        if (offset + length >= kMaxCdTextBytes)
            break; // no terminator within the bound: nothing after it is trustworthy
        const QByteArrayView text(at, static_cast<qsizetype>(length));
        std::optional<CdTextError> error;
        if (StartsWithName(text, "TITLE"))
            error = ReadEntry(text, 5, tables.title);
        else if (StartsWithName(text, "PERFORMER"))
            error = ReadEntry(text, 9, tables.performer);
        if (error && !tables.error)
            tables.error = error;
        offset += length + 1;
    }
    return tables;
}

} // namespace qm
