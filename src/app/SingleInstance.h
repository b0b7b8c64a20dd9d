#pragma once
// One running copy per user: an exclusive flock on a lock file named after the
// instance name. The kernel drops the lock when the process ends, however it
// ends.

#include <QString>

namespace qm {

class SingleInstance {
public:
    explicit SingleInstance(QString name) : m_name(std::move(name)) {}
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another process holds the lock. When this answers false the
    // lock is ours (or no lock file could be made at all, which never stops
    // the program).
    bool AnotherInstanceRunning();
    void Release();

    bool held() const { return m_fd >= 0; }
    const QString& lockPath() const { return m_path; }

    // Candidate lock files in order: $XDG_RUNTIME_DIR, then the temp folder
    // with the user id in the name.
    static QStringList LockPaths(const QString& name);

private:
    QString m_name;
    QString m_path;
    int m_fd = -1;
};

} // namespace qm
