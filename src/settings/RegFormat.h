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
#include <QHash>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace qm {

struct RegValue {
    QString name; // as created; empty = the unnamed value
    std::uint32_t type = 1;
    QByteArray data;
};

// Deeper keys are refused when read or created: the tree is walked
// recursively, and a file nested without end must not overflow the stack.
constexpr int kMaxKeyDepth = 64;

// Values and subkeys in the order they were created, each also indexed by its
// case-folded name, so that reading a file and looking a name up stay linear
// however many values a key holds.
class RegKeyNode {
public:
    RegKeyNode() = default;
    explicit RegKeyNode(QString name) : m_name(std::move(name)) {}

    const QString& name() const { return m_name; } // as created
    const std::vector<RegValue>& values() const { return m_values; }
    const std::vector<RegKeyNode>& subkeys() const { return m_subkeys; }

    RegKeyNode* child(const QString& name);
    const RegKeyNode* child(const QString& name) const;
    // The child of that name, made when there is none; *made tells which.
    RegKeyNode& addChild(const QString& name, bool* made = nullptr);
    bool removeChild(const QString& name);

    const RegValue* value(const QString& name) const;
    // Replaces the value of that name (its case as first created), or adds it.
    void setValue(RegValue value);
    bool removeValue(const QString& name);

private:
    QString m_name;
    std::vector<RegValue> m_values;
    std::vector<RegKeyNode> m_subkeys;
    QHash<QString, std::size_t> m_valueAt;
    QHash<QString, std::size_t> m_childAt;
};

// Root names as they head each section, e.g. "HKEY_LOCAL_MACHINE"; empty for
// a handle that is not a root.
QString RootName(std::uint32_t root);

// The text of a root; sections appear in depth-first order.
QByteArray FormatRegistry(const QString& rootName, const RegKeyNode& root);
// Parses the text of a root; nullopt (with why) when it cannot be read.
std::optional<RegKeyNode> ParseRegistry(const QByteArray& text, const QString& rootName, QString* why);

} // namespace qm
