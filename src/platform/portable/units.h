// Registry text as the in-memory registry takes and keeps it: UTF-16 units, stored narrow (one
// byte a unit) whenever every unit is below 0x100, as nearly all registry text is, and wide
// otherwise. Stored text has no alignment, so units are read one by one wherever they lie.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tavlo::platform::portable {

// UTF-16 text as the loader hands it over: narrow, one byte for each unit when every unit is
// below 0x100 (nearly all registry text), so that it is never widened only to be narrowed
// again; else UTF-16.
struct Units {
    const void* text = nullptr;
    std::size_t length = 0; // in units
    bool narrow = false;

    static Units of(std::u16string_view wide) { return {wide.data(), wide.size(), false}; }
};

inline char16_t unitAt(const void* text, bool narrow, std::size_t i) {
    if (narrow)
        return static_cast<const std::uint8_t*>(text)[i];
    char16_t unit;
    std::memcpy(&unit, static_cast<const char*>(text) + 2 * i, 2);
    return unit;
}

inline bool fitsNarrow(const Units& text) {
    if (text.narrow)
        return true;
    char16_t all = 0;
    for (std::size_t i = 0; i < text.length; ++i)
        all |= unitAt(text.text, false, i);
    return all < 0x100;
}

// Writes text narrow, or as UTF-16: a name in the machine's order (as unitAt reads it), data
// little-endian (the registry's bytes).
inline void putText(std::uint8_t* out, const Units& text, bool narrow, bool data) {
    if (text.narrow == narrow && (narrow || !data || std::endian::native == std::endian::little)) {
        if (text.length)
            std::memcpy(out, text.text, narrow ? text.length : 2 * text.length);
        return;
    }
    for (std::size_t i = 0; i < text.length; ++i) {
        const char16_t unit = unitAt(text.text, text.narrow, i);
        if (narrow) {
            out[i] = static_cast<std::uint8_t>(unit);
        } else if (data) {
            out[2 * i] = static_cast<std::uint8_t>(unit);
            out[2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
        } else {
            std::memcpy(out + 2 * i, &unit, 2);
        }
    }
}

// Data whose every second byte is zero (UTF-16 text below 0x100, a small number too) keeps
// only the others.
inline bool dataFitsNarrow(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size % 2 != 0)
        return false;
    constexpr std::uint64_t kHighBytes = 0xFF00FF00FF00FF00ull;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        if (word & (std::endian::native == std::endian::little ? kHighBytes : ~kHighBytes))
            return false;
    }
    for (; i < size; i += 2)
        if (data[i + 1] != 0)
            return false;
    return true;
}

} // namespace tavlo::platform::portable
