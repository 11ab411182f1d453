// Line ends in registry file text, found sixteen bytes a step: the loader passes over most of a
// file's lines looking only for the next key line, so this is where a load spends its time. For
// the loader's files and its tests only.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavlo::platform::portable::reg_text {

inline constexpr std::size_t npos = std::string_view::npos;

// A carriage return is no blank: it ends a line.
inline bool isBlank(unsigned c) {
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}

// Set bits, without a call where the processor's own instruction isn't assumed.
inline unsigned countBits(unsigned x) {
    x = x - ((x >> 1) & 0x55555555u);
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    return (((x + (x >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24;
}

// Lines end with a line feed, a carriage return, or the two together, in any mix.
inline bool isLineEnd(unsigned c) {
    return c == '\n' || c == '\r';
}

// In UTF-16 text a byte too many or too few puts every later unit out of step: a line feed then
// reads as the unit U+0A00 (its bytes 00 0A, followed by the 00 that ends the real line feed).
// U+0A00 is no character, so a file never holds it otherwise; it marks where to step back in.
inline constexpr unsigned kShiftedLineFeed = 0x0A00;

// The lines a load passes over are most of a file, and it looks only for the next that starts
// (after blanks) with a or b: so the units are compared sixteen bytes a step, not line by line.
// From from, a line start, returns the start of the first such line (or, in UTF-16, of a line
// holding U+0A00) and adds the line ends passed to ends; without one, where the last line end
// ends (an unfinished last line starts there). A carriage return that is the last unit may be
// the first half of a pair whose line feed is still to come: it is left for the next call.
template <unsigned Bytes>
std::size_t findMarkedLine(const unsigned char* p, std::size_t from, std::size_t n, unsigned a,
                           unsigned b, std::uint64_t& ends) {
    auto unit = [p](std::size_t i) {
        return Bytes == 1 ? unsigned{p[i]} : p[2 * i] | (unsigned{p[2 * i + 1]} << 8);
    };
    // Whether the line holding the mark at i has only blanks before it, and where it starts.
    auto startsLine = [&](std::size_t i, std::size_t& start) {
        if (Bytes == 2 && unit(i) == kShiftedLineFeed) {
            while (i > from && !isLineEnd(unit(i - 1)))
                --i;
            start = i;
            return true;
        }
        while (i > from && isBlank(unit(i - 1)))
            --i;
        start = i;
        return i == from || isLineEnd(unit(i - 1));
    };
    std::size_t i = from, start = 0;
#if defined(__SSE2__)
    constexpr std::size_t kUnits = 16 / Bytes;
    // One bit per unit: movemask gives one per byte.
    constexpr unsigned kKeep = Bytes == 1 ? 0xFFFF : 0x5555;
    auto equal = [](__m128i v, unsigned c) {
        return Bytes == 1 ? _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(c)))
                          : _mm_cmpeq_epi16(v, _mm_set1_epi16(static_cast<short>(c)));
    };
    // Line ends are counted in byte lanes (a match is -1 in each of its bytes), summed before
    // a lane can overflow. A line feed right after a carriage return ends no line of its own;
    // the return before a block's first unit is carried over from the block before.
    const __m128i zero = _mm_setzero_si128();
    __m128i counts = zero, returnBefore = zero;
    unsigned steps = 0;
    auto addCounts = [&] {
        const __m128i sums = _mm_sad_epu8(counts, zero);
        ends += static_cast<std::uint64_t>(_mm_cvtsi128_si32(sums) +
                                           _mm_cvtsi128_si32(_mm_srli_si128(sums, 8))) /
                Bytes;
        counts = zero;
        steps = 0;
    };
    for (; n - i >= kUnits; i += kUnits) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + Bytes * i));
        const __m128i returns = equal(v, '\r');
        const __m128i lineEnds = _mm_or_si128(
            returns, _mm_andnot_si128(_mm_or_si128(_mm_slli_si128(returns, Bytes), returnBefore),
                                      equal(v, '\n')));
        returnBefore = _mm_srli_si128(returns, 16 - Bytes);
        __m128i marks = _mm_or_si128(equal(v, a), equal(v, b));
        if constexpr (Bytes == 2)
            marks = _mm_or_si128(marks, equal(v, kShiftedLineFeed));
        if (_mm_movemask_epi8(marks)) {
            unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(marks)) & kKeep;
            for (; bits; bits &= bits - 1) {
                const unsigned bit = static_cast<unsigned>(std::countr_zero(bits));
                if (startsLine(i + bit / Bytes, start)) {
                    addCounts();
                    const unsigned before = static_cast<unsigned>(_mm_movemask_epi8(lineEnds)) &
                                            kKeep & ((1u << bit) - 1);
                    ends += countBits(before);
                    return start;
                }
            }
        }
        counts = _mm_sub_epi8(counts, lineEnds);
        if (++steps == 255)
            addCounts();
    }
    addCounts();
#endif
    for (; i < n; ++i) {
        const unsigned c = unit(i);
        if (c == '\r' || (c == '\n' && (i == from || unit(i - 1) != '\r')))
            ++ends;
        else if ((c == a || c == b || (Bytes == 2 && c == kShiftedLineFeed)) &&
                 startsLine(i, start))
            return start;
    }
    if (n > from && unit(n - 1) == '\r') {
        --ends;
        return n - 1;
    }
    while (n > from && !isLineEnd(unit(n - 1)))
        --n;
    return n;
}

// The first byte in [from, end) that is a or b, or end.
inline std::size_t findEitherByte(const unsigned char* p, std::size_t from, std::size_t end,
                                  unsigned char a, unsigned char b) {
#if defined(__SSE2__)
    const __m128i wantA = _mm_set1_epi8(static_cast<char>(a));
    const __m128i wantB = _mm_set1_epi8(static_cast<char>(b));
    for (; end - from >= 16; from += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
        if (const int bits =
                _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, wantA), _mm_cmpeq_epi8(v, wantB))))
            return from + static_cast<unsigned>(std::countr_zero(static_cast<unsigned>(bits)));
    }
#endif
    for (; from < end; ++from)
        if (p[from] == a || p[from] == b)
            return from;
    return end;
}

// Where a line ends: its terminator starts at end and the next line at next (npos while the
// text seen so far can't tell). shifted: the terminator is a line feed out of step (UTF-16 only),
// after which the text goes on a byte further than next.
struct LineEnd {
    std::size_t end;
    std::size_t next;
    bool shifted = false;
};

// A carriage return closing the text may yet be followed by its line feed.
inline LineEnd lineEndAt(std::size_t i, unsigned c, std::size_t n, bool atEnd, bool feedFollows) {
    if (c == '\n')
        return {i, i + 1};
    if (i + 1 < n)
        return {i, feedFollows ? i + 2 : i + 1};
    return {i, atEnd ? n : npos};
}

} // namespace tavlo::platform::portable::reg_text
