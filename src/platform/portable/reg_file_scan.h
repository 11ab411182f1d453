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
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TAVLO_SCAN_AVX2 1
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

#if defined(TAVLO_SCAN_AVX2)
// Whether this processor has AVX2: the baseline the library is built for is SSE2, so the wider
// scan is chosen when it runs.
inline bool haveAvx2() {
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    }();
    return have;
}

// Whether findMarkedLine takes the wider steps; tests turn it off to prove the narrower ones on a
// processor that has AVX2.
inline bool wideScan = haveAvx2();

// findMarkedLine's steps, thirty-two bytes each, while that many remain from i. True, with
// start set and the line ends before it counted, when a marked line starts; otherwise i is left
// where fewer remain and returnBefore tells whether the unit before it is a carriage return.
// (No lambdas here: they would not share this function's instruction set.)
template <unsigned Bytes, class StartsLine>
[[gnu::target("avx2,popcnt")]] bool findMarkedLineAvx2(const unsigned char* p, std::size_t& i,
                                                       std::size_t n, unsigned a, unsigned b,
                                                       std::uint64_t& ends, bool& returnBefore,
                                                       StartsLine& startsLine, std::size_t& start) {
    constexpr std::size_t kUnits = 32 / Bytes;
    constexpr std::uint32_t kKeep = Bytes == 1 ? 0xFFFFFFFFu : 0x55555555u;
    const __m256i wantReturn = Bytes == 1 ? _mm256_set1_epi8('\r') : _mm256_set1_epi16('\r');
    const __m256i wantFeed = Bytes == 1 ? _mm256_set1_epi8('\n') : _mm256_set1_epi16('\n');
    const __m256i wantA = Bytes == 1 ? _mm256_set1_epi8(static_cast<char>(a))
                                     : _mm256_set1_epi16(static_cast<short>(a));
    const __m256i wantB = Bytes == 1 ? _mm256_set1_epi8(static_cast<char>(b))
                                     : _mm256_set1_epi16(static_cast<short>(b));
    const __m256i wantShifted = _mm256_set1_epi16(static_cast<short>(kShiftedLineFeed));
    for (; n - i >= kUnits; i += kUnits) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + Bytes * i));
        __m256i returnsV, feedsV, marksV;
        if constexpr (Bytes == 1) {
            returnsV = _mm256_cmpeq_epi8(v, wantReturn);
            feedsV = _mm256_cmpeq_epi8(v, wantFeed);
            marksV = _mm256_or_si256(_mm256_cmpeq_epi8(v, wantA), _mm256_cmpeq_epi8(v, wantB));
        } else {
            returnsV = _mm256_cmpeq_epi16(v, wantReturn);
            feedsV = _mm256_cmpeq_epi16(v, wantFeed);
            marksV = _mm256_or_si256(
                _mm256_or_si256(_mm256_cmpeq_epi16(v, wantA), _mm256_cmpeq_epi16(v, wantB)),
                _mm256_cmpeq_epi16(v, wantShifted));
        }
        const auto returns = static_cast<std::uint32_t>(_mm256_movemask_epi8(returnsV)) & kKeep;
        const auto feeds = static_cast<std::uint32_t>(_mm256_movemask_epi8(feedsV)) & kKeep;
        // A line feed right after a carriage return ends no line of its own.
        const std::uint32_t lineEnds =
            returns | (feeds & ~((returns << Bytes) | (returnBefore ? 1u : 0u)));
        for (auto bits = static_cast<std::uint32_t>(_mm256_movemask_epi8(marksV)) & kKeep; bits;
             bits &= bits - 1) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctz(bits));
            if (startsLine(i + bit / Bytes, start)) {
                ends += static_cast<unsigned>(
                    __builtin_popcount(lineEnds & ((std::uint32_t{1} << bit) - 1)));
                return true;
            }
        }
        ends += static_cast<unsigned>(__builtin_popcount(lineEnds));
        returnBefore = (returns >> (32 - Bytes)) & 1;
    }
    return false;
}
#endif

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
    bool returnAtI = false; // the unit before i is a carriage return
#if defined(TAVLO_SCAN_AVX2)
    if (wideScan && findMarkedLineAvx2<Bytes>(p, i, n, a, b, ends, returnAtI, startsLine, start))
        return start;
#endif
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
    __m128i counts = zero;
    __m128i returnBefore = returnAtI ? _mm_cvtsi32_si128(Bytes == 1 ? 0xFF : 0xFFFF) : zero;
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
