#pragma once
// The storage behind CRegister: the handful of registry operations it needs,
// with the registry's own outcomes (error codes, the access-denied case that
// triggers a read-only retry). RegistryFileStore is the real one.

#include "RegFormat.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace qm {

using HKEY = std::uint32_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
constexpr HKEY HKEY_USERS = 0x80000003;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005;

constexpr std::uint32_t KEY_READ = 0x20019;
constexpr std::uint32_t KEY_ALL_ACCESS = 0xF003F;

constexpr std::uint32_t REG_NONE = 0;
constexpr std::uint32_t REG_SZ = 1;

enum : long {
    ERROR_SUCCESS = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_INVALID_DATA = 13,
    ERROR_CANTWRITE = 1013,
};

class RegistryBackend {
public:
    virtual ~RegistryBackend() = default;

    // Open root\path (path components separated by '\'); *key receives a
    // handle to close with RegCloseKey.
    virtual long RegOpenKeyEx(HKEY root, const QString& path, std::uint32_t access, HKEY* key) = 0;
    // Open or create root\path with every missing parent.
    virtual long RegCreateKeyEx(HKEY root, const QString& path, HKEY* key) = 0;
    // name == nullptr: the key's unnamed value. data == nullptr: only the size.
    virtual long RegQueryValueEx(HKEY key, const QString* name, std::uint32_t* type, QByteArray* data,
                                 std::uint32_t* size) = 0;
    virtual long RegSetValueEx(HKEY key, const QString* name, std::uint32_t type, const QByteArray& data) = 0;
    // Several values of one key set in one change: all of them or none. An
    // empty name is the unnamed value.
    virtual long RegSetValues(HKEY key, const std::vector<RegValue>& values) = 0;
    virtual long RegDeleteValue(HKEY key, const QString* name) = 0;
    // Delete the subkey path below key; refused while it has subkeys.
    virtual long RegDeleteKey(HKEY key, const QString& subKey) = 0;
    virtual long RegCloseKey(HKEY key) = 0;
    // Why the last call that failed did, in words for the user; "" when it
    // has nothing to add to its code.
    virtual QString LastFailure() const = 0;
};

} // namespace qm
