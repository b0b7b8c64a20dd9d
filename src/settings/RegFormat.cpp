#include "RegFormat.h"

#include <QStringList>

namespace qm {

namespace {

bool same(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString folded(const QString& name)
{
    return name.toCaseFolded();
}

// After an erase every later position has moved down by one.
template <typename Item, typename Name>
void reindex(const std::vector<Item>& items, QHash<QString, std::size_t>& index, Name name)
{
    index.clear();
    for (std::size_t i = 0; i < items.size(); ++i)
        index.insert(folded(name(items[i])), i);
}

QByteArray quote(const QByteArray& raw)
{
    QByteArray out = "\"";
    for (char c : raw) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// A value shown as "text": type REG_SZ, one terminating zero, valid UTF-8, on one line.
bool plainString(const RegValue& v)
{
    if (v.type != 1 || v.data.isEmpty() || v.data.back() != '\0')
        return false;
    const QByteArray body = v.data.left(v.data.size() - 1);
    if (body.contains('\0') || body.contains('\n') || body.contains('\r'))
        return false;
    return QString::fromUtf8(body).toUtf8() == body;
}

QByteArray formatValue(const RegValue& v)
{
    QByteArray line = v.name.isEmpty() ? QByteArray("@") : quote(v.name.toUtf8());
    line += '=';
    if (plainString(v))
        return line + quote(v.data.left(v.data.size() - 1));
    line += "hex(" + QByteArray::number(v.type, 16) + "):";
    QByteArrayList bytes;
    for (char c : v.data)
        bytes << QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
    return line + bytes.join(',');
}

// Recursion is bounded by kMaxKeyDepth.
void formatKey(const QByteArray& path, const RegKeyNode& key, QByteArray& out)
{
    if (!key.values().empty() || key.subkeys().empty()) {
        out += "\n[" + path + "]\n";
        for (const RegValue& v : key.values())
            out += formatValue(v) + '\n';
    }
    for (const RegKeyNode& sub : key.subkeys())
        formatKey(path + '\\' + sub.name().toUtf8(), sub, out);
}

// Reads a quoted text starting at s[i] == '"'; i ends past the closing quote.
std::optional<QByteArray> unquote(const QByteArray& s, qsizetype& i)
{
    QByteArray out;
    for (++i; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            ++i;
            return out;
        }
        if (c == '\\') {
            if (++i >= s.size())
                return std::nullopt;
            c = s[i];
        }
        out += c;
    }
    return std::nullopt; // no closing quote: a truncated line
}

std::optional<RegValue> parseValue(const QByteArray& line, QString* why)
{
    RegValue v;
    qsizetype i = 0;
    if (line.startsWith('@')) {
        i = 1;
    } else {
        auto name = unquote(line, i);
        if (!name || name->isEmpty())
            return *why = QStringLiteral("a value name is not closed"), std::nullopt;
        v.name = QString::fromUtf8(*name);
    }
    if (i >= line.size() || line[i] != '=')
        return *why = QStringLiteral("a value has no '='"), std::nullopt;
    const QByteArray rest = line.mid(i + 1);
    if (rest.startsWith('"')) {
        qsizetype j = 0;
        auto text = unquote(rest, j);
        if (!text || j != rest.size())
            return *why = QStringLiteral("a string value is not closed"), std::nullopt;
        v.type = 1;
        v.data = *text + '\0';
        return v;
    }
    if (rest.startsWith("dword:")) {
        bool ok = false;
        const uint n = rest.mid(6).toUInt(&ok, 16);
        if (!ok || rest.size() != 14)
            return *why = QStringLiteral("a dword value is malformed"), std::nullopt;
        v.type = 4;
        for (int b = 0; b < 4; ++b)
            v.data += static_cast<char>((n >> (8 * b)) & 0xFF);
        return v;
    }
    qsizetype colon = rest.indexOf(':');
    if (rest.startsWith("hex:")) {
        v.type = 3;
    } else if (rest.startsWith("hex(") && colon > 5 && rest[colon - 1] == ')') {
        bool ok = false;
        v.type = rest.mid(4, colon - 5).toUInt(&ok, 16);
        if (!ok)
            return *why = QStringLiteral("a value type is malformed"), std::nullopt;
    } else {
        return *why = QStringLiteral("a value is neither text nor hex"), std::nullopt;
    }
    const QByteArray hex = rest.mid(colon + 1).trimmed();
    if (!hex.isEmpty()) {
        for (const QByteArray& b : hex.split(',')) {
            bool ok = false;
            const uint n = b.trimmed().toUInt(&ok, 16);
            if (!ok || n > 0xFF || b.trimmed().size() != 2)
                return *why = QStringLiteral("a hex byte is malformed"), std::nullopt;
            v.data += static_cast<char>(n);
        }
    }
    return v;
}

} // namespace

RegKeyNode* RegKeyNode::child(const QString& n)
{
    const auto at = m_childAt.constFind(folded(n));
    return at == m_childAt.cend() ? nullptr : &m_subkeys[*at];
}

const RegKeyNode* RegKeyNode::child(const QString& n) const
{
    return const_cast<RegKeyNode*>(this)->child(n);
}

RegKeyNode& RegKeyNode::addChild(const QString& n, bool* made)
{
    const QString key = folded(n);
    const auto at = m_childAt.constFind(key);
    if (made)
        *made = at == m_childAt.cend();
    if (at != m_childAt.cend())
        return m_subkeys[*at];
    m_childAt.insert(key, m_subkeys.size());
    return m_subkeys.emplace_back(n);
}

bool RegKeyNode::removeChild(const QString& n)
{
    const auto at = m_childAt.constFind(folded(n));
    if (at == m_childAt.cend())
        return false;
    m_subkeys.erase(m_subkeys.begin() + static_cast<std::ptrdiff_t>(*at));
    reindex(m_subkeys, m_childAt, [](const RegKeyNode& k) { return k.name(); });
    return true;
}

const RegValue* RegKeyNode::value(const QString& n) const
{
    const auto at = m_valueAt.constFind(folded(n));
    return at == m_valueAt.cend() ? nullptr : &m_values[*at];
}

void RegKeyNode::setValue(RegValue v)
{
    const QString key = folded(v.name);
    const auto at = m_valueAt.constFind(key);
    if (at != m_valueAt.cend()) {
        RegValue& old = m_values[*at];
        old.type = v.type;
        old.data = std::move(v.data);
        return;
    }
    m_valueAt.insert(key, m_values.size());
    m_values.push_back(std::move(v));
}

bool RegKeyNode::removeValue(const QString& n)
{
    const auto at = m_valueAt.constFind(folded(n));
    if (at == m_valueAt.cend())
        return false;
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(*at));
    reindex(m_values, m_valueAt, [](const RegValue& v) { return v.name; });
    return true;
}

QString RootName(std::uint32_t root)
{
    switch (root) {
    case 0x80000000: return QStringLiteral("HKEY_CLASSES_ROOT");
    case 0x80000001: return QStringLiteral("HKEY_CURRENT_USER");
    case 0x80000002: return QStringLiteral("HKEY_LOCAL_MACHINE");
    case 0x80000003: return QStringLiteral("HKEY_USERS");
    case 0x80000005: return QStringLiteral("HKEY_CURRENT_CONFIG");
    default: return {};
    }
}

QByteArray FormatRegistry(const QString& rootName, const RegKeyNode& root)
{
    QByteArray out = "REGEDIT4\n";
    formatKey(rootName.toUtf8(), root, out);
    return out;
}

std::optional<RegKeyNode> ParseRegistry(const QByteArray& text, const QString& rootName, QString* why)
{
    QString scratch;
    if (!why)
        why = &scratch;
    RegKeyNode root;
    if (text.isEmpty())
        return root; // a store not yet written
    const QList<QByteArray> lines = text.split('\n');
    qsizetype n = 0;
    while (n < lines.size() && lines[n].trimmed().isEmpty())
        ++n;
    if (n == lines.size() || lines[n].trimmed() != "REGEDIT4")
        return *why = QStringLiteral("it does not start with REGEDIT4"), std::nullopt;
    RegKeyNode* current = nullptr;
    for (++n; n < lines.size(); ++n) {
        QByteArray line = lines[n];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            if (!line.endsWith(']'))
                return *why = QStringLiteral("line %1: a key is not closed").arg(n + 1), std::nullopt;
            QStringList parts = QString::fromUtf8(line.mid(1, line.size() - 2)).split(QLatin1Char('\\'));
            if (!same(parts.takeFirst(), rootName))
                return *why = QStringLiteral("line %1: a key of another root").arg(n + 1), std::nullopt;
            if (parts.size() > kMaxKeyDepth)
                return *why = QStringLiteral("line %1: a key nested deeper than %2 levels").arg(n + 1).arg(kMaxKeyDepth),
                       std::nullopt;
            current = &root;
            for (const QString& part : parts) {
                if (part.isEmpty())
                    return *why = QStringLiteral("line %1: an empty key name").arg(n + 1), std::nullopt;
                current = &current->addChild(part);
            }
            continue;
        }
        if (!current)
            return *why = QStringLiteral("line %1: a value outside any key").arg(n + 1), std::nullopt;
        QString lineWhy;
        auto value = parseValue(line, &lineWhy);
        if (!value)
            return *why = QStringLiteral("line %1: %2").arg(n + 1).arg(lineWhy), std::nullopt;
        current->setValue(std::move(*value)); // a repeated name: the later one holds
    }
    return root;
}

} // namespace qm
