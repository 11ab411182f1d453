#include "platform/portable/casemap.h"

#include <algorithm>
#include <cstdint>

namespace tavlo::platform::portable {
namespace {

struct CasePair {
    std::uint32_t from;
    std::uint32_t to;
};

// The tables are the real API's answers, not a Unicode database's: Windows lags behind and
// differs in places (no title-case letters, no ß/ẞ, Kelvin and Ångström signs left alone), and
// the registry compares names by exactly these answers. See tools/gen-casemap/gen_casemap.cpp.
#include "platform/portable/casemap_tables.inc"

// Deltas are stored modulo 0x10000 so that one unsigned add both raises and lowers.
inline char16_t mapUnit(const std::uint8_t* index, char16_t c) {
    const unsigned unit = c;
    return static_cast<char16_t>(
        unit + kCaseBlocks[index[unit >> kCaseBlockShift]][unit & (kCaseBlockSize - 1)]);
}

bool isHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

template <std::size_t N> std::uint32_t mapPair(const CasePair (&pairs)[N], std::uint32_t cp) {
    const auto* it =
        std::lower_bound(std::begin(pairs), std::end(pairs), cp,
                         [](const CasePair& p, std::uint32_t v) { return p.from < v; });
    return it != std::end(pairs) && it->from == cp ? it->to : cp;
}

// A string, unlike a single unit, may hold a surrogate pair, and the real functions map a pair as
// the one character it encodes. Unpaired surrogates map to themselves through the unit tables.
template <std::size_t N>
void mapString(std::u16string& text, const std::uint8_t* index, const CasePair (&pairs)[N]) {
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t c = text[i];
        if (!isHigh(c) || i + 1 == size || !isLow(text[i + 1])) {
            text[i] = mapUnit(index, c);
            continue;
        }
        const std::uint32_t cp =
            0x10000 + ((std::uint32_t{c} - 0xD800) << 10) + (std::uint32_t{text[i + 1]} - 0xDC00);
        const std::uint32_t mapped = mapPair(pairs, cp) - 0x10000;
        text[i] = static_cast<char16_t>(0xD800 + (mapped >> 10));
        text[i + 1] = static_cast<char16_t>(0xDC00 + (mapped & 0x3FF));
        ++i;
    }
}

} // namespace

char16_t lowerUnit(char16_t c) {
    return mapUnit(kLowerIndex, c);
}

char16_t upperUnit(char16_t c) {
    return mapUnit(kUpperIndex, c);
}

void lowerInPlace(std::u16string& text) {
    mapString(text, kLowerIndex, kLowerPairs);
}

void upperInPlace(std::u16string& text) {
    mapString(text, kUpperIndex, kUpperPairs);
}

// Unit by unit, pairs included: the registry's own name comparison works on single units, so two
// names that differ only in the case of a supplementary letter are different names there.
std::u16string foldName(std::u16string_view name) {
    std::u16string key(name.size(), u'\0');
    std::transform(name.begin(), name.end(), key.begin(),
                   [](char16_t c) { return mapUnit(kUpperIndex, c); });
    return key;
}

} // namespace tavlo::platform::portable
