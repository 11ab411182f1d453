// Registry data for a test. On Linux it fills the library's in-memory registry; on Windows it
// writes real keys below a scratch key and maps HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and
// HKEY_CLASSES_ROOT onto it for this process, so no real setting is read or touched and no test
// depends on what the machine happens to hold.
#pragma once

#include "platform/status.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavlo::test {

using platform::Root;

class ScratchRegistry {
public:
    ScratchRegistry();
    ~ScratchRegistry();
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    void createKey(Root root, std::u16string_view path);
    // name null: the key's default value.
    void setRaw(Root root, std::u16string_view path, const char16_t* name, std::uint32_t type,
                const std::vector<std::uint8_t>& data);
    // REG_SZ with its terminator, as every writer stores strings.
    void setString(Root root, std::u16string_view path, const char16_t* name,
                   std::u16string_view text);
    void setDword(Root root, std::u16string_view path, const char16_t* name, std::uint32_t value);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The bytes of text as UTF-16LE, with a terminator when asked.
std::vector<std::uint8_t> utf16Bytes(std::u16string_view text, bool terminator = true);

} // namespace tavlo::test
