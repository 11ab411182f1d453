// How the registry tells names apart: by their upper-case forms, unit by unit (surrogates are
// mapped as single units, as the registry maps them). Equal names hash equal whether they are
// held narrow or wide.
#pragma once

#include "platform/portable/casemap.h"
#include "platform/portable/units.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tavlo::platform::portable {

// ASCII, by far the most common, maps as the case tables map it, without a call.
inline char16_t fold(char16_t c) {
    if (c < 0x80)
        return static_cast<char16_t>(c - ((static_cast<unsigned>(c) - u'a' < 26u) << 5));
    return upperUnit(c);
}

// Hashes fit in 31 bits: entries keep them beside a flag.
constexpr std::uint32_t kHashBits = 0x7FFFFFFF;

// Folded forms of the units a narrow name can hold, so that hashing one costs a load per unit.
extern const std::array<char16_t, 256> kNarrowFolds;

// Over the folded units, four to a word: the same for a name narrow or wide.
template <typename Fold> std::uint32_t hashUnits(Fold&& folded, std::size_t length) {
    std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ length;
    std::size_t i = 0;
    auto mix = [&](std::uint64_t word) {
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 32;
    };
    for (; i + 4 <= length; i += 4)
        mix(std::uint64_t{folded(i)} | std::uint64_t{folded(i + 1)} << 16 |
            std::uint64_t{folded(i + 2)} << 32 | std::uint64_t{folded(i + 3)} << 48);
    std::uint64_t last = 0;
    for (int shift = 0; i < length; ++i, shift += 16)
        last |= std::uint64_t{folded(i)} << shift;
    mix(last);
    return static_cast<std::uint32_t>(hash) & kHashBits;
}

inline std::uint32_t hashOf(const Units& name) {
    if (name.narrow) {
        const auto* text = static_cast<const std::uint8_t*>(name.text);
        return hashUnits([text](std::size_t i) { return kNarrowFolds[text[i]]; }, name.length);
    }
    return hashUnits([&name](std::size_t i) { return fold(unitAt(name.text, false, i)); },
                     name.length);
}

inline bool sameName(const Units& a, const Units& b) {
    if (a.length != b.length)
        return false;
    for (std::size_t i = 0; i < a.length; ++i)
        if (fold(unitAt(a.text, a.narrow, i)) != fold(unitAt(b.text, b.narrow, i)))
            return false;
    return true;
}

} // namespace tavlo::platform::portable
