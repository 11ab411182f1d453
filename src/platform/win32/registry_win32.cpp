#include "platform/win32/registry_win32.h"

#include "platform/win32/windows_api.h"

namespace tavlo::platform::win32 {

namespace {
HKEY rootHandle(Root root) {
    switch (root) {
    case Root::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case Root::CurrentUser:
        return HKEY_CURRENT_USER;
    case Root::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    }
    return nullptr;
}
} // namespace

Status Win32Registry::openKey(Root root, const char16_t* subKey, KeyHandle* key) {
    HKEY handle = nullptr;
    const LONG result = RegOpenKeyExW(rootHandle(root), wide(subKey), 0, KEY_READ, &handle);
    *key = result == ERROR_SUCCESS ? handle : nullptr;
    return static_cast<Status>(result);
}

Status Win32Registry::queryValue(KeyHandle key, const char16_t* name, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* size) {
    // DWORD is 32 bits here, so the caller's counters are passed straight through and keep
    // whatever the API chooses to write or leave alone.
    static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
    return static_cast<Status>(RegQueryValueExW(static_cast<HKEY>(key), wide(name), nullptr,
                                                reinterpret_cast<DWORD*>(type), data,
                                                reinterpret_cast<DWORD*>(size)));
}

Status Win32Registry::enumValue(KeyHandle key, std::uint32_t index, char16_t* name,
                                std::uint32_t* nameCount, std::uint32_t* type, std::uint8_t* data,
                                std::uint32_t* dataSize) {
    return static_cast<Status>(RegEnumValueW(
        static_cast<HKEY>(key), index, wide(name), reinterpret_cast<DWORD*>(nameCount), nullptr,
        reinterpret_cast<DWORD*>(type), data, reinterpret_cast<DWORD*>(dataSize)));
}

Status Win32Registry::enumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                              std::uint32_t* nameCount) {
    return static_cast<Status>(RegEnumKeyExW(static_cast<HKEY>(key), index, wide(name),
                                             reinterpret_cast<DWORD*>(nameCount), nullptr, nullptr,
                                             nullptr, nullptr));
}

void Win32Registry::closeKey(KeyHandle key) {
    RegCloseKey(static_cast<HKEY>(key));
}

} // namespace tavlo::platform::win32
