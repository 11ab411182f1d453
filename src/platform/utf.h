// UTF-8 <-> UTF-16 at the edges of the library: Linux, program arguments, output and Wine's
// registry files speak bytes, the core speaks UTF-16. Nothing here throws on bad input: what can't
// be decoded becomes U+FFFD, so a stray byte in a file name still lists as a name instead of
// hiding the entry.
//
// Ill-formed UTF-8 is replaced by maximal subparts, as the Unicode standard recommends: the
// longest start of a well-formed sequence found where one should begin (at least one byte) becomes
// one U+FFFD, and decoding goes on right after it. So E2 82 41 reads U+FFFD 'A' (E2 82 could have
// begun a character, 41 not), C0 80 two U+FFFD (C0 begins nothing), an encoded surrogate ED A0 80
// three and F4 90 80 80 (past U+10FFFF) four, and a sequence cut short by the end of the text one.
// Every reader of UTF-8 in the library decodes through decodeUtf8, so all of them agree.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavlo::platform {

// One step of decoding: the scalar value read (U+FFFD for an ill-formed subpart) and the bytes it
// took, at least one.
struct Utf8Sequence {
    char32_t value;
    unsigned length;
    bool valid;
};

// The sequence that starts at p, with p < end.
inline Utf8Sequence decodeUtf8(const unsigned char* p, const unsigned char* end) noexcept {
    const unsigned lead = *p;
    if (lead < 0x80)
        return {lead, 1, true};
    unsigned length = 0;
    char32_t value = 0;
    // The second byte's range rules out overlong forms, surrogates and values past U+10FFFF, so
    // a sequence that can't be completed is known as soon as its first wrong byte is seen.
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return {0xFFFD, 1, false};
    }
    const std::size_t available = static_cast<std::size_t>(end - p);
    for (unsigned k = 1; k < length; ++k) {
        if (k >= available || p[k] < low || p[k] > high)
            return {0xFFFD, k, false};
        value = (value << 6) | (p[k] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return {value, length, true};
}

// Unpaired surrogates become U+FFFD.
std::string toUtf8(std::u16string_view text);

// Ill-formed input becomes U+FFFD, one per maximal subpart.
std::u16string fromUtf8(std::string_view text);

} // namespace tavlo::platform
