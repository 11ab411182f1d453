// Read-only registry access. The shape follows RegOpenKeyExW / RegQueryValueExW /
// RegEnumValueW / RegCloseKey closely on purpose: the library's logic depends on the exact
// size and status protocol of those calls (ERROR_MORE_DATA with the needed size, sizes in
// bytes, name counts in characters), and both backends must answer that protocol identically.
// Nothing here can write: the library never changes a setting.
#pragma once

#include "platform/status.h"

#include <cstdint>
#include <utility>

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

// Move-only owner of an open key: every path that opens a key closes it.
class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey(RegKey&& other) noexcept
        : service_(std::exchange(other.service_, nullptr)),
          handle_(std::exchange(other.handle_, nullptr)) {}
    RegKey& operator=(RegKey&& other) noexcept {
        if (this != &other) {
            close();
            service_ = std::exchange(other.service_, nullptr);
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    ~RegKey() { close(); }

    Status open(RegistryService& service, Root root, const char16_t* subKey) {
        close();
        KeyHandle handle = nullptr;
        const Status result = service.openKey(root, subKey, &handle);
        if (result == status::success) {
            service_ = &service;
            handle_ = handle;
        }
        return result;
    }

    Status query(const char16_t* name, std::uint32_t* type, std::uint8_t* data,
                 std::uint32_t* size) const {
        if (!handle_)
            return status::invalid_handle;
        return service_->queryValue(handle_, name, type, data, size);
    }

    Status enumerate(std::uint32_t index, char16_t* name, std::uint32_t* nameCount,
                     std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) const {
        if (!handle_)
            return status::invalid_handle;
        return service_->enumValue(handle_, index, name, nameCount, type, data, dataSize);
    }

    Status enumerateKey(std::uint32_t index, char16_t* name, std::uint32_t* nameCount) const {
        if (!handle_)
            return status::invalid_handle;
        return service_->enumKey(handle_, index, name, nameCount);
    }

    void close() {
        if (handle_)
            service_->closeKey(handle_);
        service_ = nullptr;
        handle_ = nullptr;
    }

    bool isOpen() const { return handle_ != nullptr; }
    KeyHandle handle() const { return handle_; }

private:
    RegistryService* service_ = nullptr;
    KeyHandle handle_ = nullptr;
};

} // namespace tavlo::platform
