#pragma once
// Reads the disc's CD-Text block: zero-terminated texts such as "TITLE0=Album"
// or "PERFORMER3=Singer", ended by an empty text. Index 0 is the whole disc,
// 1..n the tracks. Only TITLE and PERFORMER are read, in any letter case.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <optional>

namespace qm {

struct CdTextError {
    int number = 0;
    QString description;
};

struct CdTextTables {
    QStringList title;     // entries 0..n
    QStringList performer; // entries 0..n
    // The first malformed text met. Malformed texts are skipped; the others
    // still count, so one bad entry does not hide the rest of the disc.
    std::optional<CdTextError> error;
};

// The engine gives no size with the block, so reading stops at the empty
// text or after this many bytes, whichever comes first.
inline constexpr std::size_t kMaxCdTextBytes = 256 * 1024;
// Longest value kept for one entry.
inline constexpr int kMaxCdTextValue = 1024;

CdTextTables ParseCdText(const char* block, int trackCount);

} // namespace qm
