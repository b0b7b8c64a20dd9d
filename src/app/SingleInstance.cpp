#include "SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qm {

SingleInstance::~SingleInstance()
{
    Release();
}

QStringList SingleInstance::LockPaths(const QString& name)
{
    QStringList paths;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isAbsolute())
        paths << runtime + QLatin1Char('/') + name + QStringLiteral(".lock");
    paths << QDir::tempPath() + QLatin1Char('/') + name + QLatin1Char('-') +
                 QString::number(::getuid()) + QStringLiteral(".lock");
    return paths;
}

bool SingleInstance::AnotherInstanceRunning()
{
    if (m_fd >= 0)
        return false;
    for (const QString& path : LockPaths(m_name)) {
        // O_CLOEXEC: encoder child processes must not inherit (and keep) the lock.
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            continue; // folder not writable, or not ours: try the next place
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            m_path = path;
            return false;
        }
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return true;
    }
    return false;
}

void SingleInstance::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace qm
