#include "OutputFile.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {

namespace {

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

} // namespace

OutputFile::OutputFile(QString finalPath) : m_final(std::move(finalPath)) {}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::fail(int error)
{
    return fail(QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
}

// The final name, then what went wrong with it.
bool OutputFile::fail(const QString& what)
{
    if (m_error.isEmpty())
        m_error = m_final + what;
    return false;
}

bool OutputFile::create()
{
    const QByteArray final = Native(m_final);
    struct stat st {};
    if (::lstat(final.constData(), &st) == 0) {
        // One rule for every format: only a file we may write is replaced.
        if (S_ISLNK(st.st_mode))
            return fail(QStringLiteral(" is a symbolic link; it was not replaced"));
        if (!S_ISREG(st.st_mode))
            return fail(QStringLiteral(" is not a file; it was not replaced"));
        if ((st.st_mode & 0222) == 0 || ::access(final.constData(), W_OK) != 0)
            return fail(QStringLiteral(" is read-only; it was not replaced"));
        m_replacing = true;
    } else if (errno != ENOENT) {
        return fail(errno);
    }
    // Beside the final name, so the rename that completes it stays on one
    // file system; a name already taken, by a leftover or by a link someone
    // planted, is never opened.
    for (int attempt = 0; m_fd < 0; ++attempt) {
        m_temp = attempt == 0 ? m_final + QStringLiteral(".part")
                              : QStringLiteral("%1.%2.part")
                                    .arg(m_final)
                                    .arg(QRandomGenerator::global()->generate() % 1000000, 6, 10, QLatin1Char('0'));
        m_fd = ::open(Native(m_temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd < 0 && (errno != EEXIST || attempt == 20)) {
            const int error = errno;
            m_temp.clear();
            return fail(error);
        }
    }
    if (::fstat(m_fd, &st) != 0)
        return fail(errno);
    m_dev = st.st_dev;
    m_ino = st.st_ino;
    return true;
}

bool OutputFile::writeAll(const char* data, std::size_t size, std::uint64_t* at)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, data, size, static_cast<off_t>(*at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : ENOSPC);
        data += n;
        size -= std::size_t(n);
        *at += std::uint64_t(n);
    }
    return true;
}

bool OutputFile::writePending()
{
    if (m_pending.empty())
        return true;
    const bool written = writeAll(m_pending.data(), m_pending.size(), &m_end);
    m_pending.clear();
    if (!written)
        return false;
    // Start the disk writing what is written as the track goes, so the sync
    // that completes the file finds little left to wait for. Only a hint: a
    // write error still shows at that sync.
    if (m_end - m_writeBehind >= kWriteBehindStep) {
        ::sync_file_range(m_fd, static_cast<off_t>(m_writeBehind), static_cast<off_t>(m_end - m_writeBehind),
                          SYNC_FILE_RANGE_WRITE);
        m_writeBehind = m_end;
    }
    return true;
}

bool OutputFile::append(const void* data, std::size_t size)
{
    if (m_fd < 0)
        return fail(EBADF);
    if (m_pending.capacity() < kBatch)
        m_pending.reserve(kBatch);
    const auto* bytes = static_cast<const char*>(data);
    m_pending.insert(m_pending.end(), bytes, bytes + size);
    return m_pending.size() < kBatch || writePending();
}

bool OutputFile::writeAt(std::uint64_t offset, const void* data, std::size_t size)
{
    if (m_fd < 0)
        return fail(EBADF);
    if (!writePending())
        return false;
    std::uint64_t at = offset;
    if (!writeAll(static_cast<const char*>(data), size, &at))
        return false;
    m_end = std::max(m_end, at);
    return true;
}

qint64 OutputFile::size()
{
    struct stat st {};
    if (m_fd < 0 || !writePending() || ::fstat(m_fd, &st) != 0)
        return -1;
    return st.st_size;
}

bool OutputFile::commit()
{
    if (m_fd < 0)
        return fail(EBADF);
    // A file that replaces an earlier one reaches the disk before the rename,
    // so a crash leaves the old file or the new one, never an empty one. A
    // new name risks nothing of the user's, and is left to the kernel's
    // write-back like any other program's output.
    if (!writePending() || (m_replacing && ::fsync(m_fd) != 0))
        return m_error.isEmpty() ? fail(errno) : false;
    // An encoder wrote it by name: that name must still be the file we made.
    struct stat st {};
    if (::lstat(Native(m_temp).constData(), &st) != 0 || st.st_dev != m_dev || st.st_ino != m_ino)
        return fail(QStringLiteral(": its temporary file %1 was replaced while it was written").arg(m_temp));
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return fail(errno);
    if (::rename(Native(m_temp).constData(), Native(m_final).constData()) != 0)
        return fail(errno);
    m_temp.clear();
    return true;
}

void OutputFile::discard()
{
    m_pending.clear();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_temp.isEmpty())
        return;
    // Only the file we made: never one that took its name.
    struct stat st {};
    if (::lstat(Native(m_temp).constData(), &st) == 0 && st.st_dev == m_dev && st.st_ino == m_ino)
        ::unlink(Native(m_temp).constData());
    m_temp.clear();
}

} // namespace qm
