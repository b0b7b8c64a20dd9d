#pragma once
// The registry kept as one REGEDIT4-style text file per root key in a folder
// ($XDG_CONFIG_HOME/quillmere/registry, or QUILLMERE_REGISTRY_DIR). Nothing is
// cached: every call reads the file, so several processes see each other's
// writes. Writes are atomic (temporary file, fsync, rename) and serialised
// between processes by a lock file. A file that cannot be parsed is never
// overwritten: writes to it fail, and the problem is told once on stderr.

#include "RegFormat.h"
#include "RegistryBackend.h"

#include <QStringList>
#include <map>

namespace qm {

class RegistryFileStore : public RegistryBackend {
public:
    explicit RegistryFileStore(QString folder);

    // The store the program uses.
    static RegistryFileStore& Default();
    static QString DefaultFolder();

    long RegOpenKeyEx(HKEY root, const QString& path, std::uint32_t access, HKEY* key) override;
    long RegCreateKeyEx(HKEY root, const QString& path, HKEY* key) override;
    long RegQueryValueEx(HKEY key, const QString* name, std::uint32_t* type, QByteArray* data,
                         std::uint32_t* size) override;
    long RegSetValueEx(HKEY key, const QString* name, std::uint32_t type, const QByteArray& data) override;
    long RegDeleteValue(HKEY key, const QString* name) override;
    long RegDeleteKey(HKEY key, const QString& subKey) override;
    long RegCloseKey(HKEY key) override;

    int openHandles() const { return static_cast<int>(m_handles.size()); }
    const QString& folder() const { return m_folder; }
    QString fileFor(HKEY root) const;

private:
    struct Handle {
        HKEY root;
        QStringList path;
        bool writable;
    };
    struct Loaded {
        long status = ERROR_SUCCESS;
        RegKeyNode tree;
    };

    // Resolve a root or an open handle plus a relative path.
    bool resolve(HKEY base, const QString& path, HKEY* root, QStringList* parts) const;
    Loaded load(HKEY root) const;
    bool canWrite(HKEY root) const;
    long save(HKEY root, const RegKeyNode& tree) const;
    static RegKeyNode* find(RegKeyNode& tree, const QStringList& path);
    HKEY newHandle(HKEY root, QStringList path, bool writable);

    // Runs change on a freshly loaded tree under the store's lock and saves
    // the result when change answers ERROR_SUCCESS and marks it dirty.
    template <typename Change>
    long modify(HKEY root, Change change);
    // The same for the key behind an open, writable handle.
    template <typename Change>
    long modifyKey(HKEY key, Change change);

    QString m_folder;
    std::map<HKEY, Handle> m_handles;
    HKEY m_next = 1;
};

} // namespace qm
