#include "registry_fixture.h"

namespace tavlo::test {

std::vector<std::uint8_t> utf16Bytes(std::u16string_view text, bool terminator) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (terminator) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

void ScratchRegistry::setString(Root root, std::u16string_view path, const char16_t* name,
                                std::u16string_view text) {
    setRaw(root, path, name, platform::regtype::sz, utf16Bytes(text));
}

void ScratchRegistry::setDword(Root root, std::u16string_view path, const char16_t* name,
                               std::uint32_t value) {
    setRaw(root, path, name, platform::regtype::dword,
           {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

} // namespace tavlo::test
