#pragma once
// The registry kept as one REGEDIT4-style text file per root key in a folder
// ($XDG_CONFIG_HOME/quillmere/registry, or QUILLMERE_REGISTRY_DIR). A file is
// parsed once and kept until it changes on disk: its inode, size and mtime,
// and a change counter that every writer bumps in the lock file, tell when to
// read it again, so several processes still see each other's writes. Writes
// are atomic (temporary file, fsync, rename) and serialised between processes
// by the lock file. A file that cannot be read is never overwritten: writes
// to it fail, and the problem is told once on stderr.

#include "RegFormat.h"
#include "RegistryBackend.h"

#include <QSet>
#include <QStringList>
#include <map>
#include <optional>
#include <sys/stat.h>

namespace qm {

class RegistryFileStore : public RegistryBackend {
public:
    explicit RegistryFileStore(QString folder);

    // The store the program uses. The first call fixes its folder, so main
    // makes it before start-up changes the current folder.
    static RegistryFileStore& Default();
    // QUILLMERE_REGISTRY_DIR (a relative one against the current folder), or
    // the user's configuration folder.
    static QString DefaultFolder();

    long RegOpenKeyEx(HKEY root, const QString& path, std::uint32_t access, HKEY* key) override;
    long RegCreateKeyEx(HKEY root, const QString& path, HKEY* key) override;
    long RegQueryValueEx(HKEY key, const QString* name, std::uint32_t* type, QByteArray* data,
                         std::uint32_t* size) override;
    long RegSetValueEx(HKEY key, const QString* name, std::uint32_t type, const QByteArray& data) override;
    long RegSetValues(HKEY key, const std::vector<RegValue>& values) override;
    long RegDeleteValue(HKEY key, const QString* name) override;
    long RegDeleteKey(HKEY key, const QString& subKey) override;
    long RegCloseKey(HKEY key) override;
    QString LastFailure() const override { return m_failure; }

    int openHandles() const { return static_cast<int>(m_handles.size()); }
    const QString& folder() const { return m_folder; }
    QString fileFor(HKEY root) const;
    // The message of every file found unreadable so far, each once.
    const QStringList& problems() const { return m_problems; }

private:
    struct Handle {
        HKEY root;
        QStringList path;
        bool writable;
    };
    struct Loaded {
        long status = ERROR_SUCCESS;
        RegKeyNode tree;
        QString message; // why it cannot be read
    };
    // What a kept parse was made from; any difference means read again.
    struct Stamp {
        quint64 changes = 0;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        qint64 mtimeNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Kept {
        std::optional<Stamp> stamp;
        Loaded loaded;
    };

    // Resolve a root or an open handle plus a relative path.
    bool resolve(HKEY base, const QString& path, HKEY* root, QStringList* parts) const;
    const Loaded& load(HKEY root);
    Loaded read(HKEY root, int fd, Stamp* stamp);
    Loaded unreadable(HKEY root, long status, const QString& why);
    long canWrite(HKEY root);
    long save(HKEY root, RegKeyNode tree, int lockFd);
    void removeStaleTemporaries() const;
    quint64 changeCount() const;
    static Stamp stampOf(const struct stat& info, quint64 changes);
    static const RegKeyNode* find(const RegKeyNode& tree, const QStringList& path);
    static RegKeyNode* find(RegKeyNode& tree, const QStringList& path);
    HKEY newHandle(HKEY root, QStringList path, bool writable);
    long refuse(long status, const QString& why);

    // Runs change on the current tree under the store's lock and saves the
    // result when change answers ERROR_SUCCESS and marks it dirty.
    template <typename Change>
    long modify(HKEY root, Change change);
    // The same for the key behind an open, writable handle.
    template <typename Change>
    long modifyKey(HKEY key, Change change);

    QString m_folder;
    std::map<HKEY, Handle> m_handles;
    HKEY m_next = 1;
    std::map<HKEY, Kept> m_kept;
    QSet<QString> m_told;
    QStringList m_problems;
    QString m_failure;
};

} // namespace qm
