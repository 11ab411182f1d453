// The text of registry files as the loader reads it: 8-bit and UTF-16LE text read where it lies,
// indexed by unit, with the scans the parsers need in each encoding. Only the registry file
// loader's files and its tests include this.
#pragma once

#include "platform/portable/reg_file_decode.h"
#include "platform/portable/reg_file_scan.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tavlo::platform::portable::reg_text {

// 8-bit text, indexed by byte.
struct Text8 {
    const unsigned char* p;
    std::size_t n;

    std::size_t size() const { return n; }
    unsigned operator[](std::size_t i) const { return p[i]; }
    // Bytes written as two hex digits and a comma, from from on, to out; returns where they
    // end.
    std::size_t hexBytes(std::size_t from, std::size_t end, std::uint8_t*& out) const {
        for (; end - from >= 3 && p[from + 2] == ','; from += 3) {
            const int high = kHexDigits[p[from]], low = kHexDigits[p[from + 1]];
            if ((high | low) < 0)
                break;
            *out++ = static_cast<std::uint8_t>(high << 4 | low);
        }
        return from;
    }
    std::size_t findMarkedLine(std::size_t from, unsigned a, unsigned b,
                               std::uint64_t& feeds) const {
        return reg_text::findMarkedLine<1>(p, from, n, a, b, feeds);
    }
    LineEnd findLineEnd(std::size_t from, bool atEnd) const {
        const std::size_t i = findEitherByte(p, from, n, '\n', '\r');
        if (i == n)
            return {n, atEnd ? n : npos};
        return lineEndAt(i, p[i], n, atEnd, i + 1 < n && p[i + 1] == '\n');
    }
    // The first a or b in [from, end), or end. Strings are most of a file: eight bytes a step.
    // The bytes passed over are or-ed into seen, which tells whether they were all ASCII.
    std::size_t findEither(std::size_t from, std::size_t end, unsigned a, unsigned b,
                           unsigned& seen) const {
        constexpr std::uint64_t kOnes = 0x0101010101010101ull;
        constexpr std::uint64_t kHighs = 0x8080808080808080ull;
        const std::uint64_t patternA = kOnes * a, patternB = kOnes * b;
        std::uint64_t passed = 0;
        while (end - from >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p + from, 8);
            const std::uint64_t x = word ^ patternA, y = word ^ patternB;
            const std::uint64_t found = ((x - kOnes) & ~x & kHighs) | ((y - kOnes) & ~y & kHighs);
            if (found) {
                // The lowest flag is the first match (only bytes above a match can be flagged
                // falsely); what comes before it is passed over.
                if constexpr (std::endian::native == std::endian::little) {
                    const int bits = std::countr_zero(found) & ~7;
                    passed |= bits ? word & (~std::uint64_t{0} >> (64 - bits)) : 0;
                    seen |= (passed & kHighs) ? 0x80 : 0;
                    return from + bits / 8;
                }
                break;
            }
            passed |= word;
            from += 8;
        }
        seen |= (passed & kHighs) ? 0x80 : 0;
        for (; from < end && p[from] != a && p[from] != b; ++from)
            seen |= p[from];
        return from;
    }
};

// UTF-16LE indexed by code unit, read from the bytes where they lie (they needn't be aligned),
// so no converted copy of the file is ever made.
struct Text16 {
    const unsigned char* p;
    std::size_t n;     // code units
    std::size_t bytes; // that may be read: 2 * n, or one more where a unit is left unfinished

    std::size_t size() const { return n; }
    unsigned operator[](std::size_t i) const { return p[2 * i] | (unsigned{p[2 * i + 1]} << 8); }
    std::size_t hexBytes(std::size_t from, std::size_t end, std::uint8_t*& out) const {
        for (; end - from >= 3; from += 3) {
            const unsigned char* q = p + 2 * from;
            if ((q[1] | q[3] | q[5]) != 0 || q[4] != ',')
                break;
            const int high = kHexDigits[q[0]], low = kHexDigits[q[2]];
            if ((high | low) < 0)
                break;
            *out++ = static_cast<std::uint8_t>(high << 4 | low);
        }
        return from;
    }
    std::size_t findMarkedLine(std::size_t from, unsigned a, unsigned b,
                               std::uint64_t& feeds) const {
        return reg_text::findMarkedLine<2>(p, from, n, a, b, feeds);
    }
    // Looks at the bytes, so that a line feed out of step is seen too.
    LineEnd findLineEnd(std::size_t from, bool atEnd) const {
        const std::size_t total = 2 * n;
        for (std::size_t k = 2 * from;; ++k) {
            k = findEitherByte(p, k, total, '\n', '\r');
            if (k == total)
                return {n, atEnd ? n : npos};
            if (k % 2 == 0) {
                if (p[k + 1] == 0) {
                    const std::size_t i = k / 2;
                    return lineEndAt(i, p[k], n, atEnd, i + 1 < n && (*this)[i + 1] == '\n');
                }
            } else if (p[k] == '\n' && p[k - 1] == 0) {
                const std::size_t i = k / 2; // the unit U+0A00
                if (k + 1 < bytes) {
                    if (p[k + 1] == 0)
                        return {i, i + 1, true};
                } else if (!atEnd) {
                    return {i, npos};
                }
            }
        }
    }
    std::size_t findEither(std::size_t from, std::size_t end, unsigned a, unsigned b,
                           unsigned&) const {
        constexpr std::uint64_t kOnes = 0x0001000100010001ull;
        constexpr std::uint64_t kHighs = 0x8000800080008000ull;
        const std::uint64_t patternA = kOnes * a, patternB = kOnes * b;
        while (end - from >= 4) {
            std::uint64_t word = 0;
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(&word, p + 2 * from, 8);
            } else {
                for (int k = 7; k >= 0; --k)
                    word = word << 8 | p[2 * from + k];
            }
            const std::uint64_t x = word ^ patternA, y = word ^ patternB;
            if (const std::uint64_t found =
                    ((x - kOnes) & ~x & kHighs) | ((y - kOnes) & ~y & kHighs))
                return from + std::countr_zero(found) / 16;
            from += 4;
        }
        while (from < end && (*this)[from] != a && (*this)[from] != b)
            ++from;
        return from;
    }
};

template <class Text> std::size_t skipBlanks(const Text& t, std::size_t p, std::size_t e) {
    while (p < e && isBlank(t[p]))
        ++p;
    return p;
}

template <class Text>
bool startsWith(const Text& t, std::size_t p, std::size_t e, std::string_view word) {
    if (e - p < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (t[p + i] != static_cast<unsigned char>(word[i]))
            return false;
    return true;
}

template <class Text>
bool equalsIgnoringCase(const Text& t, std::size_t b, std::size_t e, std::string_view word) {
    if (e - b != word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (asciiLower(t[b + i]) != asciiLower(static_cast<unsigned char>(word[i])))
            return false;
    return true;
}

// A short, printable rendering of part of a line for a diagnostic.
template <class Text> std::string excerpt(const Text& t, std::size_t b, std::size_t e) {
    constexpr std::size_t kLimit = 40;
    std::string text = "'";
    for (std::size_t i = b; i < e && i < b + kLimit; ++i) {
        const unsigned c = t[i];
        text.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    if (e - b > kLimit)
        text += "...";
    text += "'";
    return text;
}

} // namespace tavlo::platform::portable::reg_text
