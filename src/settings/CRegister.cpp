#include "CRegister.h"

#include "RegistryFileStore.h"

namespace qm {

namespace {
// "*" stands for the unnamed value: no name is passed.
const QString* valueName(const QString& key)
{
    return key == QLatin1String("*") ? nullptr : &key;
}
} // namespace

CRegister::CRegister() : m_backend(RegistryFileStore::Default()) {}

QString CRegister::REGTrimSection(const QString& path)
{
    QString s = path;
    if (s.startsWith(QLatin1Char('\\')))
        s.remove(0, 1);
    if (s.endsWith(QLatin1Char('\\')))
        s.chop(1);
    return s;
}

QString CRegister::REGGetSetting(HKEY root, const QString& section, const QString& key,
                                 const QString& defaultValue)
{
    QString result = defaultValue;
    HKEY handle = 0;
    long status = m_backend.RegOpenKeyEx(root, REGTrimSection(section), KEY_ALL_ACCESS, &handle);
    if (status == ERROR_ACCESS_DENIED)
        status = m_backend.RegOpenKeyEx(root, REGTrimSection(section), KEY_READ, &handle);
    if (status != ERROR_SUCCESS)
        return result;
    const QString* name = valueName(key);
    std::uint32_t size = 0;
    if (m_backend.RegQueryValueEx(handle, name, nullptr, nullptr, &size) == ERROR_SUCCESS && size > 0) {
        QByteArray data;
        if (m_backend.RegQueryValueEx(handle, name, nullptr, &data, &size) == ERROR_SUCCESS &&
            data.size() == qsizetype(size))
            result = QString::fromUtf8(data.left(data.size() - 1)); // the stored zero is dropped
    }
    m_backend.RegCloseKey(handle);
    return result;
}

bool CRegister::REGSaveSetting(HKEY root, const QString& section, const QString& key, const QString& value)
{
    HKEY handle = 0;
    if (m_backend.RegCreateKeyEx(root, REGTrimSection(section), &handle) != ERROR_SUCCESS)
        return false;
    const bool saved =
        m_backend.RegSetValueEx(handle, valueName(key), REG_SZ, value.toUtf8() + '\0') == ERROR_SUCCESS;
    m_backend.RegCloseKey(handle);
    return saved;
}

bool CRegister::REGSaveSettings(HKEY root, const QString& section,
                                const QList<std::pair<QString, QString>>& values, QString* why)
{
    auto failed = [&](long status) {
        if (why) {
            *why = m_backend.LastFailure();
            if (why->isEmpty())
                *why = QStringLiteral("the settings store answered error %1").arg(status);
        }
        return false;
    };
    HKEY handle = 0;
    if (const long status = m_backend.RegCreateKeyEx(root, REGTrimSection(section), &handle); status != ERROR_SUCCESS)
        return failed(status);
    std::vector<RegValue> batch;
    batch.reserve(static_cast<std::size_t>(values.size()));
    for (const auto& [key, value] : values) {
        const QString* name = valueName(key);
        batch.push_back(RegValue{name ? *name : QString(), REG_SZ, value.toUtf8() + '\0'});
    }
    const long status = m_backend.RegSetValues(handle, batch);
    m_backend.RegCloseKey(handle);
    return status == ERROR_SUCCESS || failed(status);
}

bool CRegister::REGDeleteSetting(HKEY root, const QString& section, const QString& key)
{
    HKEY handle = 0;
    bool deleted = false;
    if (!key.isEmpty()) {
        if (m_backend.RegOpenKeyEx(root, REGTrimSection(section), KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
            return false;
        deleted = m_backend.RegDeleteValue(handle, valueName(key)) == ERROR_SUCCESS;
    } else {
        if (m_backend.RegOpenKeyEx(root, QString(), KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
            return false;
        deleted = m_backend.RegDeleteKey(handle, section) == ERROR_SUCCESS;
    }
    m_backend.RegCloseKey(handle);
    return deleted;
}

} // namespace qm
