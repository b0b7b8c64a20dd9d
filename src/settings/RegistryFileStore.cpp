#include "RegistryFileStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {

namespace {

constexpr qint64 kMaxFileSize = 64 * 1024 * 1024; // larger is not ours: leave it alone

QStringList splitPath(const QString& path)
{
    QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return parts;
}

QString lockFile(const QString& folder)
{
    return folder + QStringLiteral("/.lock");
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Holds the store's lock file for one change. The file's first eight bytes
// count the changes made under it.
class StoreLock {
public:
    explicit StoreLock(const QString& folder)
    {
        m_fd = ::open(QFile::encodeName(lockFile(folder)).constData(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC,
                      0600);
        if (m_fd < 0 || ::flock(m_fd, LOCK_EX) != 0)
            m_error = errno;
    }
    ~StoreLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return m_fd >= 0 && m_error == 0; }
    int error() const { return m_error; }
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    int m_error = 0;
};

quint64 readCount(int fd)
{
    quint64 count = 0;
    return ::pread(fd, &count, sizeof count, 0) == sizeof count ? count : 0;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

// Up to limit + 1 bytes, so that a file that grew past the limit shows it.
std::optional<QByteArray> readAll(int fd, qint64 expected, qint64 limit)
{
    QByteArray text;
    text.reserve(static_cast<qsizetype>(std::min(expected, limit) + 1));
    char buffer[65536];
    while (text.size() <= limit) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        text.append(buffer, n);
    }
    return text;
}

} // namespace

RegistryFileStore::RegistryFileStore(QString folder) : m_folder(std::move(folder)) {}

QString RegistryFileStore::DefaultFolder()
{
    const QString override = qEnvironmentVariable("QUILLMERE_REGISTRY_DIR");
    if (!override.isEmpty())
        return QDir::cleanPath(QFileInfo(override).absoluteFilePath());
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/quillmere/registry");
}

RegistryFileStore& RegistryFileStore::Default()
{
    static RegistryFileStore store(DefaultFolder());
    return store;
}

QString RegistryFileStore::fileFor(HKEY root) const
{
    return m_folder + QLatin1Char('/') + RootName(root) + QStringLiteral(".reg");
}

bool RegistryFileStore::resolve(HKEY base, const QString& path, HKEY* root, QStringList* parts) const
{
    if (!RootName(base).isEmpty()) {
        *root = base;
        *parts = splitPath(path);
        return true;
    }
    auto it = m_handles.find(base);
    if (it == m_handles.end())
        return false;
    *root = it->second.root;
    *parts = it->second.path + splitPath(path);
    return true;
}

long RegistryFileStore::refuse(long status, const QString& why)
{
    m_failure = why;
    return status;
}

RegistryFileStore::Stamp RegistryFileStore::stampOf(const struct stat& info, quint64 changes)
{
    return Stamp{changes, info.st_dev, info.st_ino, info.st_size,
                 qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

quint64 RegistryFileStore::changeCount() const
{
    const int fd = ::open(QFile::encodeName(lockFile(m_folder)).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const quint64 count = readCount(fd);
    ::close(fd);
    return count;
}

const RegistryFileStore::Loaded& RegistryFileStore::load(HKEY root)
{
    Kept& kept = m_kept[root];
    // The count first: a change that lands after it is seen on the next load.
    const quint64 changes = changeCount();
    const QByteArray path = QFile::encodeName(fileFor(root));
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        const int error = errno;
        kept = Kept{};
        if (error != ENOENT) // ENOENT: a store not yet written
            kept.loaded = unreadable(root, ERROR_ACCESS_DENIED, errorText(error));
        return kept.loaded;
    }
    if (kept.stamp == stampOf(info, changes))
        return kept.loaded;
    // Never blocks on a FIFO put in the file's place; read() refuses it below.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        kept = Kept{std::nullopt, unreadable(root, ERROR_ACCESS_DENIED, errorText(errno))};
        return kept.loaded;
    }
    Stamp stamp;
    kept.loaded = read(root, fd, &stamp);
    ::close(fd);
    stamp.changes = changes;
    kept.stamp = stamp;
    return kept.loaded;
}

RegistryFileStore::Loaded RegistryFileStore::read(HKEY root, int fd, Stamp* stamp)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return unreadable(root, ERROR_ACCESS_DENIED, errorText(errno));
    // What was read, not what the path names by now.
    *stamp = stampOf(info, 0);
    if (!S_ISREG(info.st_mode))
        return unreadable(root, ERROR_INVALID_DATA, QStringLiteral("it is not a regular file"));
    const QString tooLarge = QStringLiteral("it is larger than 64 MiB");
    if (info.st_size > kMaxFileSize)
        return unreadable(root, ERROR_INVALID_DATA, tooLarge);
    const auto text = readAll(fd, info.st_size, kMaxFileSize);
    if (!text)
        return unreadable(root, ERROR_ACCESS_DENIED, errorText(errno));
    if (text->size() > kMaxFileSize)
        return unreadable(root, ERROR_INVALID_DATA, tooLarge);
    QString why;
    auto tree = ParseRegistry(*text, RootName(root), &why);
    if (!tree)
        return unreadable(root, ERROR_INVALID_DATA, why);
    return Loaded{ERROR_SUCCESS, std::move(*tree), {}};
}

RegistryFileStore::Loaded RegistryFileStore::unreadable(HKEY root, long status, const QString& why)
{
    const QString file = fileFor(root);
    Loaded result{status, {}, QStringLiteral("settings file %1 cannot be read (%2); it is left as it is and settings "
                                             "are not saved")
                                  .arg(file, why)};
    if (!m_told.contains(file)) {
        m_told.insert(file);
        m_problems << result.message;
        std::fprintf(stderr, "quillmere: %s\n", qPrintable(result.message));
    }
    return result;
}

long RegistryFileStore::canWrite(HKEY root)
{
    const QFileInfo dir(m_folder);
    if (!dir.exists()) {
        if (QDir().mkpath(m_folder))
            return ERROR_SUCCESS;
        return refuse(ERROR_ACCESS_DENIED, QStringLiteral("the settings folder %1 cannot be created").arg(m_folder));
    }
    if (!dir.isDir())
        return refuse(ERROR_ACCESS_DENIED, QStringLiteral("%1 is not a folder").arg(m_folder));
    if (!dir.isWritable())
        return refuse(ERROR_ACCESS_DENIED, QStringLiteral("the settings folder %1 is not writable").arg(m_folder));
    const QFileInfo file(fileFor(root));
    if (file.exists() && !file.isWritable())
        return refuse(ERROR_ACCESS_DENIED, QStringLiteral("the settings file %1 is read-only").arg(file.filePath()));
    return ERROR_SUCCESS;
}

// Called under the lock: a temporary file of a process that is gone is what
// a save killed half-way left behind.
void RegistryFileStore::removeStaleTemporaries() const
{
    const QStringList names = QDir(m_folder).entryList({QStringLiteral("*.reg.tmp-*")},
                                                       QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        bool number = false;
        const qint64 pid = name.mid(name.lastIndexOf(QLatin1Char('-')) + 1).toLongLong(&number);
        if (!number || pid <= 0 || pid > INT_MAX || pid == ::getpid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlink(QFile::encodeName(m_folder + QLatin1Char('/') + name).constData());
    }
}

long RegistryFileStore::save(HKEY root, RegKeyNode tree, int lockFd)
{
    const QByteArray text = FormatRegistry(RootName(root), tree);
    if (text.size() > kMaxFileSize) // it could not be read back
        return refuse(ERROR_CANTWRITE, QStringLiteral("the settings would be larger than 64 MiB"));
    const QString target = fileFor(root);
    const QByteArray tempName = QFile::encodeName(target + QStringLiteral(".tmp-%1").arg(::getpid()));
    auto failed = [&](int error) {
        ::unlink(tempName.constData());
        return refuse(ERROR_CANTWRITE,
                      QStringLiteral("the settings file %1 cannot be written (%2)").arg(target, errorText(error)));
    };
    const int fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return failed(errno);
    struct stat info {};
    const bool written = writeAll(fd, text) && ::fsync(fd) == 0 && ::fstat(fd, &info) == 0;
    const int writeError = errno;
    ::close(fd);
    if (!written)
        return failed(writeError);
    if (::rename(tempName.constData(), QFile::encodeName(target).constData()) != 0)
        return failed(errno);
    const int dirFd = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    // Counted once the new file is in place: a reader that sees the new count
    // finds the new file.
    const quint64 changes = readCount(lockFd) + 1;
    if (::pwrite(lockFd, &changes, sizeof changes, 0) != sizeof changes)
        m_kept.erase(root); // our own next read must not trust the count
    else
        m_kept[root] = Kept{stampOf(info, changes), Loaded{ERROR_SUCCESS, std::move(tree), {}}};
    return ERROR_SUCCESS;
}

const RegKeyNode* RegistryFileStore::find(const RegKeyNode& tree, const QStringList& path)
{
    const RegKeyNode* node = &tree;
    for (const QString& part : path) {
        node = node->child(part);
        if (!node)
            return nullptr;
    }
    return node;
}

RegKeyNode* RegistryFileStore::find(RegKeyNode& tree, const QStringList& path)
{
    return const_cast<RegKeyNode*>(find(std::as_const(tree), path));
}

HKEY RegistryFileStore::newHandle(HKEY root, QStringList path, bool writable)
{
    const HKEY handle = m_next++;
    m_handles[handle] = Handle{root, std::move(path), writable};
    return handle;
}

template <typename Change>
long RegistryFileStore::modify(HKEY root, Change change)
{
    m_failure.clear();
    if (const long status = canWrite(root); status != ERROR_SUCCESS)
        return status;
    StoreLock lock(m_folder);
    if (!lock.held())
        return refuse(ERROR_ACCESS_DENIED, QStringLiteral("the settings folder %1 cannot be locked (%2)")
                                               .arg(m_folder, errorText(lock.error())));
    removeStaleTemporaries();
    const Loaded& loaded = load(root);
    if (loaded.status != ERROR_SUCCESS)
        return refuse(loaded.status, loaded.message);
    RegKeyNode tree = loaded.tree;
    bool dirty = false;
    const long status = change(tree, dirty);
    if (status != ERROR_SUCCESS || !dirty)
        return status;
    return save(root, std::move(tree), lock.fd());
}

long RegistryFileStore::RegOpenKeyEx(HKEY base, const QString& path, std::uint32_t access, HKEY* key)
{
    m_failure.clear();
    HKEY root = 0;
    QStringList parts;
    if (!key || !resolve(base, path, &root, &parts))
        return ERROR_INVALID_HANDLE;
    const bool write = (access & ~KEY_READ) != 0;
    if (write) {
        if (const long status = canWrite(root); status != ERROR_SUCCESS)
            return status;
    }
    const Loaded& loaded = load(root);
    if (loaded.status != ERROR_SUCCESS)
        return refuse(loaded.status, loaded.message);
    if (!find(loaded.tree, parts))
        return ERROR_FILE_NOT_FOUND;
    *key = newHandle(root, parts, write);
    return ERROR_SUCCESS;
}

long RegistryFileStore::RegCreateKeyEx(HKEY base, const QString& path, HKEY* key)
{
    HKEY root = 0;
    QStringList parts;
    if (!key || !resolve(base, path, &root, &parts))
        return ERROR_INVALID_HANDLE;
    const long status = modify(root, [&](RegKeyNode& tree, bool& dirty) {
        if (parts.size() > kMaxKeyDepth)
            return refuse(ERROR_INVALID_DATA, QStringLiteral("a key nested deeper than %1 levels cannot be stored")
                                                  .arg(kMaxKeyDepth));
        RegKeyNode* node = &tree;
        for (const QString& part : parts) {
            if (part.contains(QLatin1Char('\n')) || part.contains(QLatin1Char('\r')) ||
                part.contains(QLatin1Char(']')))
                return refuse(ERROR_INVALID_DATA, QStringLiteral("the key name \"%1\" cannot be stored").arg(part));
            bool made = false;
            node = &node->addChild(part, &made);
            dirty = dirty || made;
        }
        return long{ERROR_SUCCESS};
    });
    if (status == ERROR_SUCCESS)
        *key = newHandle(root, parts, true);
    return status;
}

long RegistryFileStore::RegQueryValueEx(HKEY key, const QString* name, std::uint32_t* type,
                                        QByteArray* data, std::uint32_t* size)
{
    auto it = m_handles.find(key);
    if (it == m_handles.end())
        return ERROR_INVALID_HANDLE;
    const Loaded& loaded = load(it->second.root);
    if (loaded.status != ERROR_SUCCESS)
        return refuse(loaded.status, loaded.message);
    const RegKeyNode* node = find(loaded.tree, it->second.path);
    const RegValue* value = node ? node->value(name ? *name : QString()) : nullptr;
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->type;
    if (size)
        *size = static_cast<std::uint32_t>(value->data.size());
    if (data)
        *data = value->data;
    return ERROR_SUCCESS;
}

template <typename Change>
long RegistryFileStore::modifyKey(HKEY key, Change change)
{
    auto it = m_handles.find(key);
    if (it == m_handles.end())
        return ERROR_INVALID_HANDLE;
    if (!it->second.writable)
        return ERROR_ACCESS_DENIED;
    const QStringList path = it->second.path;
    return modify(it->second.root, [&](RegKeyNode& tree, bool& dirty) {
        RegKeyNode* node = find(tree, path);
        if (!node)
            return refuse(ERROR_FILE_NOT_FOUND, QStringLiteral("the key was deleted meanwhile"));
        return change(*node, dirty);
    });
}

long RegistryFileStore::RegSetValueEx(HKEY key, const QString* name, std::uint32_t type, const QByteArray& data)
{
    return RegSetValues(key, {RegValue{name ? *name : QString(), type, data}});
}

long RegistryFileStore::RegSetValues(HKEY key, const std::vector<RegValue>& values)
{
    return modifyKey(key, [&](RegKeyNode& node, bool& dirty) {
        for (const RegValue& value : values)
            node.setValue(value);
        dirty = true;
        return long{ERROR_SUCCESS};
    });
}

long RegistryFileStore::RegDeleteValue(HKEY key, const QString* name)
{
    return modifyKey(key, [&](RegKeyNode& node, bool& dirty) {
        dirty = node.removeValue(name ? *name : QString());
        return dirty ? long{ERROR_SUCCESS} : long{ERROR_FILE_NOT_FOUND};
    });
}

long RegistryFileStore::RegDeleteKey(HKEY key, const QString& subKey)
{
    HKEY root = 0;
    QStringList parts;
    if (!resolve(key, subKey, &root, &parts))
        return ERROR_INVALID_HANDLE;
    if (parts.isEmpty())
        return ERROR_ACCESS_DENIED; // a root cannot be deleted
    return modify(root, [&](RegKeyNode& tree, bool& dirty) {
        const QString leaf = parts.last();
        RegKeyNode* parent = find(tree, parts.mid(0, parts.size() - 1));
        const RegKeyNode* node = parent ? parent->child(leaf) : nullptr;
        if (!node)
            return long{ERROR_FILE_NOT_FOUND};
        if (!node->subkeys().empty())
            return long{ERROR_ACCESS_DENIED};
        dirty = parent->removeChild(leaf);
        return long{ERROR_SUCCESS};
    });
}

long RegistryFileStore::RegCloseKey(HKEY key)
{
    return m_handles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace qm
