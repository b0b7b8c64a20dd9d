#pragma once
// A root key's contents and their REGEDIT4-style text form:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\Brellvox Quillmere\Settings]
//   "Extract Path"="/home/ann/Music/Ripped Audio"
//   @="the unnamed value"
//   "No data"=hex(1):
//
// Strings are quoted with \\ and \" escaped; any value that is not a plain
// zero-terminated UTF-8 string is written as hex(type):bytes. Key and value
// names compare case-insensitively and keep the case they were created with.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace qm {

struct RegValue {
    QString name; // as created; empty = the unnamed value
    std::uint32_t type = 1;
    QByteArray data;
};

struct RegKeyNode {
    QString name; // as created
    std::vector<RegValue> values;
    std::vector<RegKeyNode> subkeys;

    RegKeyNode* child(const QString& name);
    const RegKeyNode* child(const QString& name) const;
    RegValue* value(const QString& name);
};

// Root names as they head each section, e.g. "HKEY_LOCAL_MACHINE"; empty for
// a handle that is not a root.
QString RootName(std::uint32_t root);

// The text of a root; sections appear in depth-first order.
QByteArray FormatRegistry(const QString& rootName, const RegKeyNode& root);
// Parses the text of a root; nullopt (with why) when it cannot be read.
std::optional<RegKeyNode> ParseRegistry(const QByteArray& text, const QString& rootName, QString* why);

} // namespace qm
