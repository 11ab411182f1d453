// The registry of the Linux build: an in-memory tree that answers the read calls with the
// exact Win32 protocol (sizes in bytes, ERROR_MORE_DATA with the needed size and the buffer
// untouched, unterminated strings, odd sizes, the default value, case-insensitive names,
// values in insertion order). HKEY_CLASSES_ROOT is the merged view of
// HKEY_CURRENT_USER\Software\Classes over HKEY_LOCAL_MACHINE\Software\Classes, as on Windows.
//
// The mutators exist for the registry file loader and for test fixtures. They are not part of
// RegistryService, so the library's logic can't reach them.
#pragma once

#include "platform/registry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavlo::platform::portable {

enum class Hive { LocalMachine, CurrentUser };

class MemoryRegistry final : public RegistryService {
public:
    MemoryRegistry();
    ~MemoryRegistry() override;
    MemoryRegistry(const MemoryRegistry&) = delete;
    MemoryRegistry& operator=(const MemoryRegistry&) = delete;

    // Paths are relative to the hive, components separated by backslashes; empty, doubled and
    // trailing separators are ignored. Names compare without regard to case.
    void createKey(Hive hive, std::u16string_view path);
    // Creates the key when needed. A value of the same name is replaced in place (it keeps its
    // position in the enumeration order).
    void setValue(Hive hive, std::u16string_view path, std::u16string_view name, std::uint32_t type,
                  std::vector<std::uint8_t> data);
    bool deleteValue(Hive hive, std::u16string_view path, std::u16string_view name);
    // Removes the key and everything below it; false when it does not exist.
    bool deleteKey(Hive hive, std::u16string_view path);
    void clear();

    // RegistryService
    Status openKey(Root root, const char16_t* subKey, KeyHandle* key) override;
    Status queryValue(KeyHandle key, const char16_t* name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override;
    Status enumValue(KeyHandle key, std::uint32_t index, char16_t* name, std::uint32_t* nameCount,
                     std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override;
    Status enumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                   std::uint32_t* nameCount) override;
    void closeKey(KeyHandle key) override;

    struct Node;

private:
    std::shared_ptr<Node> keyForWriting(Hive hive, std::u16string_view path);

    std::shared_ptr<Node> machine_;
    std::shared_ptr<Node> user_;
    std::weak_ptr<Node> lastKey_;
    Hive lastHive_ = Hive::LocalMachine;
    std::u16string lastPath_;
};

} // namespace tavlo::platform::portable
