// Read-only registry access. The shape follows RegOpenKeyExW / RegQueryValueExW /
// RegEnumValueW / RegCloseKey closely on purpose: the library's logic depends on the exact
// size and status protocol of those calls (ERROR_MORE_DATA with the needed size, sizes in
// bytes, name counts in characters), and both backends must answer that protocol identically.
// Nothing here can write: the library never changes a setting.
#pragma once

#include "platform/handle.h"
#include "platform/status.h"

#include <cstdint>

namespace tavlo::platform {

// An open key as the backend knows it; owned by RegKey.
using KeyHandle = void*;

class RegistryService {
public:
    virtual ~RegistryService() = default;

    // Opens subKey (null or empty: the root itself) below root for reading.
    // On failure *key is null.
    virtual Status openKey(Root root, const char16_t* subKey, KeyHandle* key) = 0;

    // name null or empty: the default value. data may be null to learn type and size.
    // On ERROR_MORE_DATA *size holds the needed byte count and data is not written.
    virtual Status queryValue(KeyHandle key, const char16_t* name, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* size) = 0;

    // *nameCount: characters available including the terminator on entry, characters written
    // without it on return. data and dataSize may be null.
    virtual Status enumValue(KeyHandle key, std::uint32_t index, char16_t* name,
                             std::uint32_t* nameCount, std::uint32_t* type, std::uint8_t* data,
                             std::uint32_t* dataSize) = 0;

    // RegEnumKeyExW without class or time: sub-key names by index, same count protocol as
    // enumValue. The library's logic never walks sub-keys; the command-line tool lists them.
    virtual Status enumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                           std::uint32_t* nameCount) = 0;

    virtual void closeKey(KeyHandle key) = 0;
};

struct KeyTraits {
    using Service = RegistryService;
    using Raw = KeyHandle;
    static void close(RegistryService& service, KeyHandle key) noexcept { service.closeKey(key); }
};

// Move-only owner of an open key: every path that opens a key closes it.
class RegKey {
public:
    Status open(RegistryService& service, Root root, const char16_t* subKey) {
        key_.reset();
        KeyHandle handle = nullptr;
        const Status result = service.openKey(root, subKey, &handle);
        if (result == status::success)
            key_.reset(service, handle);
        return result;
    }

    Status query(const char16_t* name, std::uint32_t* type, std::uint8_t* data,
                 std::uint32_t* size) const {
        if (!key_)
            return status::invalid_handle;
        return key_.service()->queryValue(key_.get(), name, type, data, size);
    }

    Status enumerate(std::uint32_t index, char16_t* name, std::uint32_t* nameCount,
                     std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) const {
        if (!key_)
            return status::invalid_handle;
        return key_.service()->enumValue(key_.get(), index, name, nameCount, type, data, dataSize);
    }

    Status enumerateKey(std::uint32_t index, char16_t* name, std::uint32_t* nameCount) const {
        if (!key_)
            return status::invalid_handle;
        return key_.service()->enumKey(key_.get(), index, name, nameCount);
    }

    void close() { key_.reset(); }

    bool isOpen() const { return static_cast<bool>(key_); }
    KeyHandle handle() const { return key_.get(); }

private:
    Handle<KeyTraits> key_;
};

} // namespace tavlo::platform
