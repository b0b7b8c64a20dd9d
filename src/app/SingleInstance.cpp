#include "SingleInstance.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {

SingleInstance::~SingleInstance()
{
    Release();
}

QString SingleInstance::LockFolder()
{
    const QString override = qEnvironmentVariable("QUILLMERE_LOCK_DIR");
    if (!override.isEmpty())
        return override;
    return QStringLiteral("/tmp/quillmere-%1").arg(::getuid());
}

QString SingleInstance::PrepareFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("%1 cannot be made: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st{};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return QStringLiteral("%1 is not a folder").arg(folder);
    if (st.st_uid != ::getuid())
        return QStringLiteral("%1 belongs to another user").arg(folder);
    if ((st.st_mode & 0022) != 0)
        return QStringLiteral("%1 may be written by other users").arg(folder);
    return {};
}

bool SingleInstance::AnotherInstanceRunning()
{
    if (m_fd >= 0)
        return false;
    const QString folder = m_folder.isEmpty() ? LockFolder() : m_folder;
    QString problem = PrepareFolder(folder);
    const QString path = folder + QLatin1Char('/') + m_name + QStringLiteral(".lock");
    int fd = -1;
    if (problem.isEmpty()) {
        // O_CLOEXEC: encoder child processes must not inherit (and keep) the lock.
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            problem = QStringLiteral("%1 cannot be opened: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (fd < 0) {
        std::fprintf(stderr, "quillmere: no single-instance lock (%s); running without one\n", qPrintable(problem));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_fd = fd;
        m_path = path;
        return false;
    }
    const int err = errno;
    ::close(fd);
    return err == EWOULDBLOCK;
}

void SingleInstance::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace qm
