// Value lines and their data in both formats: strings with their escapes, dwords, and hex data
// that may run over several lines.
#include "platform/portable/reg_file_loader.h"

#include <cstdint>
#include <vector>

namespace tavlo::platform::portable::reg_load {

template <class Text> void Loader::valueLine(const Text& t, std::size_t p, std::size_t e) {
    name_.clear();
    if (t[p] == '@') {
        ++p;
    } else {
        p = parseString(t, p + 1, e, '"', name_);
        if (p == npos) {
            report(line_, "value name has no closing quote: line skipped");
            return;
        }
    }
    p = skipBlanks(t, p, e);
    if (p == e || t[p] != '=') {
        report(line_, "expected '=' after the value name: line skipped");
        return;
    }
    p = skipBlanks(t, p + 1, e);

    if (!wine_ && p < e && t[p] == '-') {
        if (!atLineEnd(t, p + 1, e)) {
            report(line_, "unexpected text after '-': line skipped");
            return;
        }
        if (keyUsable(line_))
            writer_->remove(name_.units());
        return;
    }
    if (p < e && t[p] == '"')
        return stringValue(t, p + 1, e, regtype::sz);
    if (wine_) {
        if (startsWith(t, p, e, "str:\""))
            return stringValue(t, p + 5, e, regtype::sz);
        if (startsWith(t, p, e, "str(2):\""))
            return stringValue(t, p + 8, e, regtype::expand_sz);
        if (startsWith(t, p, e, "str(7):\""))
            return stringValue(t, p + 8, e, regtype::multi_sz);
    }
    if (startsWith(t, p, e, "dword:"))
        return dwordValue(t, p + 6, e);
    if (startsWith(t, p, e, "hex:"))
        return hexValue(t, p + 4, e, regtype::binary);
    if (startsWith(t, p, e, "hex(")) {
        p += 4;
        std::uint32_t type = 0;
        std::size_t digits = 0;
        for (int d; p < e && digits < 8 && (d = hexDigit(t[p])) >= 0; ++p, ++digits)
            type = (type << 4) | static_cast<std::uint32_t>(d);
        if (digits == 0 || !startsWith(t, p, e, "):")) {
            report(line_, "value type hex(...) not understood: value skipped");
            return;
        }
        return hexValue(t, p + 2, e, type);
    }
    report(line_, "unknown value type: value skipped");
}

template <class Text>
void Loader::stringValue(const Text& t, std::size_t p, std::size_t e, std::uint32_t type) {
    text_.clear();
    p = parseString(t, p, e, '"', text_);
    if (p == npos) {
        report(line_, "string has no closing quote: value skipped");
        return;
    }
    if (!atLineEnd(t, p, e)) {
        report(line_, "unexpected text after the string: value skipped");
        return;
    }
    text_.push(0);
    storeText(name_, type, text_, line_);
}

template <class Text> void Loader::dwordValue(const Text& t, std::size_t p, std::size_t e) {
    p = skipBlanks(t, p, e);
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (int d; p < e && digits <= 8 && (d = hexDigit(t[p])) >= 0; ++p, ++digits)
        value = (value << 4) | static_cast<std::uint32_t>(d);
    if (digits == 0 || digits > 8) {
        report(line_, "dword value needs 1 to 8 hex digits: value skipped");
        return;
    }
    if (!atLineEnd(t, p, e)) {
        report(line_, "unexpected text after the dword value: value skipped");
        return;
    }
    const std::uint8_t bytes[] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    storeBytes(name_, regtype::dword, bytes, sizeof bytes, line_);
}

template <class Text>
void Loader::hexValue(const Text& t, std::size_t p, std::size_t e, std::uint32_t type) {
    pendingName_.swap(name_);
    pendingType_ = type;
    pendingLine_ = line_;
    pendingData_.clear();
    // Only here, on the first line: reserving exactly on every continuation line would
    // reallocate the whole value each time.
    pendingData_.reserve((e - p) / 3 + 1);
    continueHex(t, p, e);
}

template <class Text> void Loader::continueHex(const Text& t, std::size_t p, std::size_t e) {
    switch (hexRun(t, p, e, pendingData_)) {
    case HexStep::More:
        pending_ = true;
        return;
    case HexStep::Done:
        pending_ = false;
        commitHex();
        return;
    case HexStep::Bad:
        report(line_, "hex data not understood: value skipped");
        dropPending();
        return;
    }
}

// Bytes are one or more hex digits (at most 0xff), separated by commas; a backslash ends a
// line that continues on the next.
template <class Text>
HexStep Loader::hexRun(const Text& t, std::size_t p, std::size_t e,
                       std::vector<std::uint8_t>& out) {
    bool afterByte = false;
    for (;;) {
        // The usual shape, two digits and a comma, without the general checks.
        if (!afterByte) {
            const std::size_t old = out.size();
            out.resize(old + (e - p) / 3);
            std::uint8_t* o = out.data() + old;
            p = t.hexBytes(p, e, o);
            out.resize(static_cast<std::size_t>(o - out.data()));
        }
        p = skipBlanks(t, p, e);
        if (p == e)
            return HexStep::Done;
        const unsigned c = t[p];
        int d = hexDigit(c);
        if (d >= 0) {
            if (afterByte)
                return HexStep::Bad;
            unsigned byte = 0;
            do {
                byte = (byte << 4) | static_cast<unsigned>(d);
                if (byte > 0xFF)
                    return HexStep::Bad;
            } while (++p < e && (d = hexDigit(t[p])) >= 0);
            out.push_back(static_cast<std::uint8_t>(byte));
            afterByte = true;
        } else if (c == ',' && afterByte) {
            afterByte = false;
            ++p;
        } else if (c == '\\') {
            return atLineEnd(t, p + 1, e) ? HexStep::More : HexStep::Bad;
        } else if (c == ';' && !wine_) {
            return HexStep::Done;
        } else {
            return HexStep::Bad;
        }
    }
}

void Loader::commitHex() {
    const bool text = pendingType_ == regtype::sz || pendingType_ == regtype::expand_sz ||
                      pendingType_ == regtype::multi_sz;
    // regedit terminates string data given as hex when it isn't. REGEDIT4 files hold such
    // data in the ANSI code page, the registry in UTF-16.
    if (!wine_ && text && !unicode_) {
        if (pendingData_.empty() || pendingData_.back() != 0)
            pendingData_.push_back(0);
        text_.clear();
        appendAnsi(text_, pendingData_.data(), pendingData_.data() + pendingData_.size());
        storeText(pendingName_, pendingType_, text_, pendingLine_);
    } else {
        if (!wine_ && text)
            terminateUtf16(pendingData_);
        storeBytes(pendingName_, pendingType_, pendingData_.data(), pendingData_.size(),
                   pendingLine_);
    }
    pendingData_.clear();
}

void Loader::dropPending() {
    pending_ = false;
    pendingData_.clear();
}

void Loader::terminateUtf16(std::vector<std::uint8_t>& data) {
    if (data.size() % 2 != 0)
        data.push_back(0);
    const std::size_t n = data.size();
    if (n == 0 || data[n - 1] != 0 || data[n - 2] != 0)
        data.insert(data.end(), 2, 0);
}

// Decodes a quoted string whose opening character has been read, up to the unescaped
// closer; returns the position after the closer, or npos when the line ends first. A closer of
// 0 decodes to e, for text known to hold no null and to end with no unfinished escape.
template <class Text>
std::size_t Loader::parseString(const Text& t, std::size_t p, std::size_t e, unsigned closer,
                                Decoded& out) {
    std::size_t run = p;
    unsigned seen = 0; // the units of the run or-ed: all ASCII below 0x80
    while ((p = t.findEither(p, e, closer, '\\', seen)) < e) {
        unsigned c = t[p];
        if (c == closer) {
            appendText(t, run, p, out, seen < 0x80);
            return p + 1;
        }
        appendText(t, run, p, out, seen < 0x80);
        if (++p == e)
            return npos;
        c = t[p];
        // An escaped character that stands for itself starts the next run, so that it is
        // never taken for the closer and a multi-byte character stays whole.
        run = p;
        if (wine_) {
            const char16_t simple = wineEscape(c);
            if (simple != 0) {
                out.push(simple);
                run = ++p;
            } else if (c == 'x') {
                ++p;
                unsigned value = 0;
                int digits = 0;
                for (int d; digits < 4 && p < e && (d = hexDigit(t[p])) >= 0; ++p, ++digits)
                    value = (value << 4) | static_cast<unsigned>(d);
                out.push(digits == 0 ? u'x' : static_cast<char16_t>(value));
                run = p;
            } else if (c >= '0' && c <= '7') {
                unsigned value = 0;
                for (int digits = 0; digits < 3 && p < e && t[p] >= '0' && t[p] <= '7';
                     ++p, ++digits)
                    value = value * 8 + (t[p] - '0');
                out.push(static_cast<char16_t>(value));
                run = p;
            } else {
                ++p;
            }
        } else if (c == 'n' || c == 'r') {
            out.push(c == 'n' ? u'\n' : u'\r');
            run = ++p;
        } else {
            if (c != '\\' && c != '"')
                report(line_, "unknown escape sequence in a string: the backslash is dropped");
            ++p;
        }
        seen = run < p ? t[run] : 0;
    }
    if (closer == 0) {
        appendText(t, run, e, out, seen < 0x80);
        return e;
    }
    return npos;
}

char16_t Loader::wineEscape(unsigned c) {
    switch (c) {
    case 'a':
        return u'\a';
    case 'b':
        return u'\b';
    case 'e':
        return u'\x1b';
    case 'f':
        return u'\f';
    case 'n':
        return u'\n';
    case 'r':
        return u'\r';
    case 't':
        return u'\t';
    case 'v':
        return u'\v';
    default:
        return 0;
    }
}

bool Loader::keyUsable(std::uint64_t line) {
    if (keyState_ == KeyState::Open)
        return true;
    if (keyState_ == KeyState::None)
        report(line, "value outside of any key: skipped");
    return false;
}

bool Loader::storable(const Decoded& name, std::uint64_t line) {
    if (!keyUsable(line))
        return false;
    if (name.size() > kMaxValueNameChars) {
        report(line, "value name longer than 16383 characters: value skipped");
        return false;
    }
    return true;
}

// Values are only ever parsed with a key open while their lines are read again.
void Loader::storeBytes(const Decoded& name, std::uint32_t type, const std::uint8_t* data,
                        std::size_t size, std::uint64_t line) {
    if (storable(name, line))
        writer_->store(name.units(), type, data, size);
}

// Text data, its terminator included.
void Loader::storeText(const Decoded& name, std::uint32_t type, const Decoded& text,
                       std::uint64_t line) {
    if (storable(name, line))
        writer_->store(name.units(), type, text.units());
}

template void Loader::valueLine(const Text8&, std::size_t, std::size_t);
template void Loader::valueLine(const Text16&, std::size_t, std::size_t);
template void Loader::continueHex(const Text8&, std::size_t, std::size_t);
template void Loader::continueHex(const Text16&, std::size_t, std::size_t);
template std::size_t Loader::parseString(const Text8&, std::size_t, std::size_t, unsigned,
                                         Decoded&);
template std::size_t Loader::parseString(const Text16&, std::size_t, std::size_t, unsigned,
                                         Decoded&);

} // namespace tavlo::platform::portable::reg_load
