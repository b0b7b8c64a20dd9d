#include "RegistryFileStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qm {

namespace {

constexpr qint64 kMaxFileSize = 64 * 1024 * 1024; // larger is not ours: leave it alone

QStringList splitPath(const QString& path)
{
    QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return parts;
}

// Holds the store's lock file for one change.
class StoreLock {
public:
    explicit StoreLock(const QString& folder)
    {
        m_fd = ::open(QFile::encodeName(folder + QStringLiteral("/.lock")).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0)
            ::flock(m_fd, LOCK_EX);
    }
    ~StoreLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

RegistryFileStore::RegistryFileStore(QString folder) : m_folder(std::move(folder)) {}

QString RegistryFileStore::DefaultFolder()
{
    const QString override = qEnvironmentVariable("QUILLMERE_REGISTRY_DIR");
    if (!override.isEmpty())
        return override;
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

RegistryFileStore::Loaded RegistryFileStore::load(HKEY root) const
{
    Loaded result;
    QFile file(fileFor(root));
    if (!file.exists())
        return result;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize) {
        result.status = file.isOpen() ? ERROR_INVALID_DATA : ERROR_ACCESS_DENIED;
        if (result.status == ERROR_ACCESS_DENIED)
            return result;
    } else {
        QString why;
        if (auto tree = ParseRegistry(file.readAll(), RootName(root), &why)) {
            result.tree = std::move(*tree);
            return result;
        }
        result.status = ERROR_INVALID_DATA;
        static QSet<QString> told;
        if (!told.contains(file.fileName())) {
            told.insert(file.fileName());
            std::fprintf(stderr,
                         "quillmere: settings file %s cannot be read (%s); it is left as it is and "
                         "settings are not saved\n",
                         qPrintable(file.fileName()), qPrintable(why));
        }
    }
    return result;
}

bool RegistryFileStore::canWrite(HKEY root) const
{
    const QFileInfo dir(m_folder);
    if (!dir.exists())
        return QDir().mkpath(m_folder);
    if (!dir.isDir() || !dir.isWritable())
        return false;
    const QFileInfo file(fileFor(root));
    return !file.exists() || file.isWritable();
}

long RegistryFileStore::save(HKEY root, const RegKeyNode& tree) const
{
    const QString target = fileFor(root);
    const QString temp = target + QStringLiteral(".tmp-%1").arg(::getpid());
    const QByteArray tempName = QFile::encodeName(temp);
    const int fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return ERROR_CANTWRITE;
    const bool written = writeAll(fd, FormatRegistry(RootName(root), tree)) && ::fsync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(tempName.constData(), QFile::encodeName(target).constData()) != 0) {
        ::unlink(tempName.constData());
        return ERROR_CANTWRITE;
    }
    const int dirFd = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return ERROR_SUCCESS;
}

RegKeyNode* RegistryFileStore::find(RegKeyNode& tree, const QStringList& path)
{
    RegKeyNode* node = &tree;
    for (const QString& part : path) {
        node = node->child(part);
        if (!node)
            return nullptr;
    }
    return node;
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
    if (!canWrite(root))
        return ERROR_ACCESS_DENIED;
    StoreLock lock(m_folder);
    if (!lock.held())
        return ERROR_ACCESS_DENIED;
    Loaded loaded = load(root);
    if (loaded.status != ERROR_SUCCESS)
        return loaded.status;
    bool dirty = false;
    const long status = change(loaded.tree, dirty);
    if (status != ERROR_SUCCESS || !dirty)
        return status;
    return save(root, loaded.tree);
}

long RegistryFileStore::RegOpenKeyEx(HKEY base, const QString& path, std::uint32_t access, HKEY* key)
{
    HKEY root = 0;
    QStringList parts;
    if (!key || !resolve(base, path, &root, &parts))
        return ERROR_INVALID_HANDLE;
    const bool write = (access & ~KEY_READ) != 0;
    if (write && !canWrite(root))
        return ERROR_ACCESS_DENIED;
    Loaded loaded = load(root);
    if (loaded.status != ERROR_SUCCESS)
        return loaded.status;
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
        RegKeyNode* node = &tree;
        for (const QString& part : parts) {
            if (part.contains(QLatin1Char('\n')) || part.contains(QLatin1Char('\r')) ||
                part.contains(QLatin1Char(']')))
                return long{ERROR_INVALID_DATA};
            RegKeyNode* next = node->child(part);
            if (!next) {
                node->subkeys.push_back(RegKeyNode{part, {}, {}});
                next = &node->subkeys.back();
                dirty = true;
            }
            node = next;
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
    Loaded loaded = load(it->second.root);
    if (loaded.status != ERROR_SUCCESS)
        return loaded.status;
    RegKeyNode* node = find(loaded.tree, it->second.path);
    RegValue* value = node ? node->value(name ? *name : QString()) : nullptr;
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
            return long{ERROR_FILE_NOT_FOUND}; // deleted since it was opened
        return change(*node, dirty);
    });
}

long RegistryFileStore::RegSetValueEx(HKEY key, const QString* name, std::uint32_t type, const QByteArray& data)
{
    return modifyKey(key, [&](RegKeyNode& node, bool& dirty) {
        const QString valueName = name ? *name : QString();
        if (RegValue* old = node.value(valueName)) {
            old->type = type;
            old->data = data;
        } else {
            node.values.push_back(RegValue{valueName, type, data});
        }
        dirty = true;
        return long{ERROR_SUCCESS};
    });
}

long RegistryFileStore::RegDeleteValue(HKEY key, const QString* name)
{
    return modifyKey(key, [&](RegKeyNode& node, bool& dirty) {
        const QString valueName = name ? *name : QString();
        auto& values = node.values;
        for (auto v = values.begin(); v != values.end(); ++v) {
            if (v->name.compare(valueName, Qt::CaseInsensitive) == 0) {
                values.erase(v);
                dirty = true;
                return long{ERROR_SUCCESS};
            }
        }
        return long{ERROR_FILE_NOT_FOUND};
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
        RegKeyNode* node = parent ? parent->child(leaf) : nullptr;
        if (!node)
            return long{ERROR_FILE_NOT_FOUND};
        if (!node->subkeys.empty())
            return long{ERROR_ACCESS_DENIED};
        auto& siblings = parent->subkeys;
        siblings.erase(siblings.begin() + (node - siblings.data()));
        dirty = true;
        return long{ERROR_SUCCESS};
    });
}

long RegistryFileStore::RegCloseKey(HKEY key)
{
    return m_handles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace qm
