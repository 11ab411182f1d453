// The text of registry files as the loader scans and decodes it: 8-bit and UTF-16LE text read
// where it lies, line ends and marked lines found sixteen bytes a step, and strings decoded into
// narrow text while they fit. Only the registry file loader includes this.
#pragma once

#include "platform/portable/memory_registry.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavlo::platform::portable::reg_text {

inline constexpr std::size_t npos = std::string_view::npos;

inline constexpr std::array<std::int8_t, 256> kHexDigits = [] {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (int c = '0'; c <= '9'; ++c)
        table[c] = static_cast<std::int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c)
        table[c] = static_cast<std::int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c)
        table[c] = static_cast<std::int8_t>(c - 'A' + 10);
    return table;
}();

inline int hexDigit(unsigned c) {
    return c < 256 ? kHexDigits[c] : -1;
}

// A carriage return is no blank: it ends a line.
inline bool isBlank(unsigned c) {
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}

inline unsigned asciiLower(unsigned c) {
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

inline bool isAscii(const char* p, std::size_t n) {
    std::uint64_t all = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        all |= word;
    }
    for (; i < n; ++i)
        all |= static_cast<unsigned char>(p[i]);
    return (all & 0x8080808080808080ull) == 0;
}

// Windows-1252 at 0x80-0x9F; the five unassigned bytes become the C1 controls, as Windows maps
// them.
inline constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Text as the loader decodes it: one byte per unit while every unit is below 0x100 (nearly all
// registry text), widened to UTF-16 at the first that isn't. The registry keeps narrow text
// narrow, so the common text is copied, never converted.
class Decoded {
public:
    void clear() {
        narrow_.clear();
        wide_.clear();
        isNarrow_ = true;
    }
    std::size_t size() const { return isNarrow_ ? narrow_.size() : wide_.size(); }

    void push(char16_t c) {
        if (isNarrow_ && c < 0x100)
            narrow_.push_back(static_cast<char>(c));
        else
            pushWide(c);
    }
    // Units below 0x80, one byte each.
    void appendAscii(const unsigned char* p, std::size_t n) {
        if (isNarrow_)
            narrow_.append(reinterpret_cast<const char*>(p), n);
        else
            wide_.append(p, p + n);
    }
    void append(std::u16string_view text) {
        for (const char16_t c : text)
            push(c);
    }
    // UTF-16LE units where they lie.
    void appendUtf16(const unsigned char* p, std::size_t units) {
        std::size_t i = 0;
        if (isNarrow_) {
            const std::size_t old = narrow_.size();
            narrow_.resize(old + units);
            char* out = narrow_.data() + old;
            // Four units a step while their high bytes are zero: their low bytes, packed.
            if constexpr (std::endian::native == std::endian::little) {
                for (; i + 4 <= units; i += 4) {
                    std::uint64_t word;
                    std::memcpy(&word, p + 2 * i, 8);
                    if (word & 0xFF00FF00FF00FF00ull)
                        break;
                    word = (word | word >> 8) & 0x0000FFFF0000FFFFull;
                    const auto packed = static_cast<std::uint32_t>(word | word >> 16);
                    std::memcpy(out + i, &packed, 4);
                }
            }
            for (; i < units && p[2 * i + 1] == 0; ++i)
                out[i] = static_cast<char>(p[2 * i]);
            narrow_.resize(old + i);
        }
        for (; i < units; ++i)
            push(static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8)));
    }
    // Room for n more narrow units, to be written and then cut to size with truncate.
    char* narrowSpace(std::size_t n) {
        const std::size_t old = narrow_.size();
        narrow_.resize(old + n);
        return narrow_.data() + old;
    }
    // Drops the units from size on (the text may stay wide).
    void truncate(std::size_t size) {
        if (isNarrow_)
            narrow_.resize(size);
        else
            wide_.resize(size);
    }

    Units units() const {
        return isNarrow_ ? Units{narrow_.data(), narrow_.size(), true}
                         : Units{wide_.data(), wide_.size(), false};
    }
    // As UTF-16; a narrow text is widened into a copy kept for the purpose.
    std::u16string_view wide() {
        if (!isNarrow_)
            return wide_;
        copy_.assign(narrow_.size(), u'\0');
        for (std::size_t i = 0; i < narrow_.size(); ++i)
            copy_[i] = static_cast<unsigned char>(narrow_[i]);
        return copy_;
    }

    void swap(Decoded& other) noexcept {
        narrow_.swap(other.narrow_);
        wide_.swap(other.wide_);
        std::swap(isNarrow_, other.isNarrow_);
    }

private:
    void pushWide(char16_t c) {
        if (isNarrow_) {
            wide_.resize(narrow_.size());
            for (std::size_t i = 0; i < narrow_.size(); ++i)
                wide_[i] = static_cast<unsigned char>(narrow_[i]);
            narrow_.clear();
            isNarrow_ = false;
        }
        wide_.push_back(c);
    }

    std::string narrow_;
    std::u16string wide_;
    std::u16string copy_;
    bool isNarrow_ = true;
};

// Appends UTF-8. Each byte that doesn't start a valid sequence (overlong forms and surrogates
// included) becomes U+FFFD; returns false when there was any.
inline bool appendUtf8(Decoded& out, const unsigned char* p, const unsigned char* end) {
    bool valid = true;
    while (p < end) {
        const unsigned char* run = p;
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ull)
                break;
            p += 8;
        }
        while (p < end && *p < 0x80)
            ++p;
        if (p > run)
            out.appendAscii(run, static_cast<std::size_t>(p - run));
        if (p == end)
            break;
        const unsigned c = *p;
        int length = 0;
        unsigned lowest = 0x80, highest = 0xBF; // allowed range of the second byte
        std::uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            cp = c & 0x0F;
            if (c == 0xE0)
                lowest = 0xA0;
            else if (c == 0xED)
                highest = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            cp = c & 0x07;
            if (c == 0xF0)
                lowest = 0x90;
            else if (c == 0xF4)
                highest = 0x8F;
        }
        bool ok = length != 0 && end - p >= length && p[1] >= lowest && p[1] <= highest;
        for (int k = 2; ok && k < length; ++k)
            ok = (p[k] & 0xC0) == 0x80;
        if (!ok) {
            out.push(0xFFFD);
            ++p;
            valid = false;
            continue;
        }
        for (int k = 1; k < length; ++k)
            cp = (cp << 6) | (p[k] & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push(static_cast<char16_t>(cp));
        }
        p += length;
    }
    return valid;
}

inline void appendCp1252(Decoded& out, const unsigned char* p, const unsigned char* end) {
    for (; p < end; ++p)
        out.push(*p >= 0x80 && *p < 0xA0 ? kCp1252High[*p - 0x80] : static_cast<char16_t>(*p));
}

// regedit's 8-bit files are in the ANSI code page of whoever wrote them; UTF-8 is taken when the
// bytes are valid UTF-8, which text in any Windows code page almost never is.
inline void appendAnsi(Decoded& out, const unsigned char* p, const unsigned char* end) {
    const std::size_t old = out.size();
    if (!appendUtf8(out, p, end)) {
        out.truncate(old);
        appendCp1252(out, p, end);
    }
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
