// What the fuzz targets share: reading the fuzzer's bytes as the library's text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace tavlo::fuzz {

// The bytes as UTF-16LE code units; an odd last byte is dropped.
inline std::u16string units(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    return text;
}

// A broken invariant is a finding like any crash.
inline void require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace tavlo::fuzz
