#pragma once
// One running copy per user: an exclusive flock on a lock file named after the
// instance name. The kernel drops the lock when the process ends, however it
// ends.

#include <QString>

namespace qm {

class SingleInstance {
public:
    // folder: where the lock file goes; empty means LockFolder().
    explicit SingleInstance(QString name, QString folder = {}) : m_name(std::move(name)), m_folder(std::move(folder)) {}
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another process holds the lock. When this answers false the
    // lock is ours, or no lock could be taken at all (said on stderr), which
    // never stops the program: nobody else can keep us from starting.
    bool AnotherInstanceRunning();
    void Release();

    bool held() const { return m_fd >= 0; }
    const QString& lockPath() const { return m_path; }

    // /tmp/quillmere-<uid>, whatever XDG_RUNTIME_DIR or TMPDIR say, so that
    // every start by one user meets the same lock. QUILLMERE_LOCK_DIR
    // replaces it (tests, sandboxes).
    static QString LockFolder();
    // Makes the folder with mode 700, or checks the one that is there: a real
    // folder (no link), the user's own, that nobody else may write to. Empty
    // when it may hold the lock; else why not.
    static QString PrepareFolder(const QString& folder);

private:
    QString m_name;
    QString m_folder;
    QString m_path;
    int m_fd = -1;
};

} // namespace qm
