#pragma once
// Reads, writes and deletes text values under any root key. Registry failures
// never raise: a read falls back to the caller's default, a write or delete
// answers false (the many-values save can also say why). No handle outlives
// a call.

#include "RegistryBackend.h"

#include <QList>
#include <QString>
#include <utility>

namespace qm {

class CRegister {
public:
    CRegister(); // on the program's store
    explicit CRegister(RegistryBackend& backend) : m_backend(backend) {}

    // key "" deletes the section itself (refused while it has subkeys);
    // key "*" is the section's unnamed value.
    bool REGDeleteSetting(HKEY root, const QString& section, const QString& key);
    QString REGGetSetting(HKEY root, const QString& section, const QString& key, const QString& defaultValue);
    bool REGSaveSetting(HKEY root, const QString& section, const QString& key, const QString& value);
    // Several values of one section in one change: all are written or none.
    // On failure *why (when given) says why, in words for the user.
    bool REGSaveSettings(HKEY root, const QString& section, const QList<std::pair<QString, QString>>& values,
                         QString* why = nullptr);

private:
    static QString REGTrimSection(const QString& path);
    RegistryBackend& m_backend;
};

} // namespace qm
