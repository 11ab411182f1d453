// Registry file text decoded into what the registry stores: narrow while every unit fits a
// byte, UTF-16 from the first that doesn't; 8-bit text as UTF-8 or in the ANSI code page. For the
// loader's files and its tests only.
#pragma once

#include "platform/portable/memory_registry.h"
#include "platform/utf.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace tavlo::platform::portable::reg_text {

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

// Appends UTF-8, ill-formed parts as the platform's decoder replaces them; returns false when
// there was any. Runs of ASCII, nearly all registry text, are copied eight bytes a step first.
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
        const Utf8Sequence sequence = decodeUtf8(p, end);
        valid = valid && sequence.valid;
        if (const char32_t c = sequence.value; c >= 0x10000) {
            out.push(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push(static_cast<char16_t>(c));
        }
        p += sequence.length;
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

} // namespace tavlo::platform::portable::reg_text
