#include "platform/portable/format_message.h"

#include <algorithm>
#include <new>

// Inserts with a format (%1!...!): the real function builds a printf format from the text between
// the marks and hands it every insert as a pointer. Here:
// - !s!, !ls!, !ws! and the other wide string forms are formatted exactly: flags, width and
//   precision apply (a '0' flag pads strings with zeros, as the system's printf does).
// - !S!, !hs! and the other narrow forms read the wide insert's bytes as a narrow string, as the
//   real function does: the text up to the first zero byte, which for ASCII is just its first
//   letter. Bytes above 0x7F are read as Windows-1252, the code page of an English-language
//   prefix; on another code page the real answer differs.
// - Numeric and character conversions (d i o u x X p c C) would print the insert's address,
//   which is neither reproducible nor of use to anyone: they format the insert as !s! would.
// - !n! writes through the insert pointer on Windows and prints nothing; here it prints nothing.
// - A '*' width or precision takes its number from an address as well; here it counts as 0 and,
//   as on Windows, the value formatted is then a later insert, which is always empty.
// - Any other conversion letter prints itself, ignoring the width, as the system's printf does;
//   a format with no conversion letter prints nothing; text after the conversion is copied,
//   "%%" giving one '%'.

namespace tavlo::platform::portable {
namespace {

// Larger widths fail rather than build megabytes of padding for a mistyped template.
constexpr std::size_t kMaxField = std::size_t{1} << 20;

constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

std::u16string narrowReading(const char16_t* text) {
    std::u16string result;
    for (const char16_t* p = text;; ++p) {
        for (const unsigned byte : {unsigned{*p} & 0xFFu, unsigned{*p} >> 8}) {
            if (byte == 0)
                return result;
            result += byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80]
                                                  : static_cast<char16_t>(byte);
        }
    }
}

struct Field {
    bool leftAlign = false;
    bool zeroPad = false;
    bool star = false;
    std::size_t width = 0;
    bool hasPrecision = false;
    std::size_t precision = 0;
};

// Digits saturate just above the limit, which is then reported instead of wrapping round.
std::size_t readNumber(std::u16string_view directive, std::size_t& pos) {
    std::size_t value = 0;
    while (pos < directive.size() && isDigit(directive[pos])) {
        value = std::min(value * 10 + (directive[pos] - u'0'), kMaxField + 1);
        ++pos;
    }
    return value;
}

// Formats one insert by the format between the '!' marks. Returns false only when the field
// is too wide to build.
bool appendFormatted(std::u16string& out, std::u16string_view directive, const char16_t* insert) {
    std::size_t pos = 0;
    Field field;
    for (; pos < directive.size(); ++pos) {
        const char16_t c = directive[pos];
        if (c == u'-')
            field.leftAlign = true;
        else if (c == u'0')
            field.zeroPad = true;
        else if (c != u'+' && c != u' ' && c != u'#')
            break;
    }
    if (pos < directive.size() && directive[pos] == u'*') {
        field.star = true;
        ++pos;
    } else {
        field.width = readNumber(directive, pos);
    }
    if (pos < directive.size() && directive[pos] == u'.') {
        ++pos;
        field.hasPrecision = true;
        if (pos < directive.size() && directive[pos] == u'*') {
            field.star = true;
            ++pos;
        } else {
            field.precision = readNumber(directive, pos);
        }
    }
    if (field.width > kMaxField || field.precision > kMaxField)
        return false;

    // The last of h / l / w decides between narrow and wide; the rest only matter to numbers.
    enum class Size { Default, Narrow, Wide } size = Size::Default;
    for (;;) {
        const std::u16string_view rest = directive.substr(pos);
        if (rest.starts_with(u"ll")) {
            size = Size::Default;
            pos += 2;
        } else if (rest.starts_with(u"I64") || rest.starts_with(u"I32")) {
            pos += 3;
        } else if (rest.starts_with(u"h")) {
            size = Size::Narrow;
            ++pos;
        } else if (rest.starts_with(u"l") || rest.starts_with(u"w")) {
            size = Size::Wide;
            ++pos;
        } else if (rest.starts_with(u"L") || rest.starts_with(u"j") || rest.starts_with(u"F")) {
            ++pos;
        } else {
            break;
        }
    }
    if (pos == directive.size())
        return true;

    const char16_t conversion = directive[pos++];
    bool narrow = false;
    bool printsInsert = true;
    switch (conversion) {
    case u's':
        narrow = size == Size::Narrow;
        break;
    case u'S':
        narrow = size != Size::Wide;
        break;
    case u'd':
    case u'i':
    case u'o':
    case u'u':
    case u'x':
    case u'X':
    case u'p':
    case u'c':
    case u'C':
        break;
    case u'n':
        printsInsert = false;
        break;
    default:
        out += conversion;
        printsInsert = false;
        break;
    }

    if (printsInsert) {
        // A '*' moves the real function on to a later insert, and only the first one is ever set.
        std::u16string text = field.star ? std::u16string()
                              : !insert  ? std::u16string(u"(null)")
                              : narrow   ? narrowReading(insert)
                                         : std::u16string(insert);
        if (field.hasPrecision && text.size() > field.precision)
            text.resize(field.precision);
        const std::size_t pad = field.width > text.size() ? field.width - text.size() : 0;
        if (!field.leftAlign)
            out.append(pad, field.zeroPad ? u'0' : u' ');
        out += text;
        if (field.leftAlign)
            out.append(pad, u' ');
    }
    for (; pos < directive.size(); ++pos) {
        out += directive[pos];
        if (directive[pos] == u'%' && pos + 1 < directive.size() && directive[pos + 1] == u'%')
            ++pos;
    }
    return true;
}

} // namespace

Status formatMessage(std::u16string_view templ, const char16_t* insert1, std::u16string& out) {
    out.clear();
    // The real function reads a zero-terminated template.
    templ = templ.substr(0, templ.find(u'\0'));
    std::u16string result;
    try {
        std::size_t i = 0;
        const std::size_t n = templ.size();
        while (i < n) {
            const char16_t c = templ[i++];
            if (c == u'\r' || c == u'\n') {
                // Without a width mask every source line break, whatever its form, is CR LF.
                if (c == u'\r' && i < n && templ[i] == u'\n')
                    ++i;
                result += u"\r\n";
                continue;
            }
            if (c != u'%') {
                result += c;
                continue;
            }
            if (i == n)
                return status::invalid_parameter;
            const char16_t escape = templ[i++];
            if (escape >= u'1' && escape <= u'9') {
                // At most two digits: "%100" is insert 10 followed by a zero.
                unsigned number = escape - u'0';
                if (i < n && isDigit(templ[i]))
                    number = number * 10 + (templ[i++] - u'0');
                // Only insert 1 carries text; the caller's other 98 are all empty strings.
                const char16_t* insert = number == 1 ? insert1 : u"";
                if (i < n && templ[i] == u'!') {
                    const std::size_t close = templ.find(u'!', i + 1);
                    if (close == std::u16string_view::npos)
                        return status::invalid_parameter;
                    if (!appendFormatted(result, templ.substr(i + 1, close - i - 1), insert))
                        return status::not_enough_memory;
                    i = close + 1;
                } else {
                    result += insert ? insert : u"(null)";
                }
                continue;
            }
            switch (escape) {
            case u'0':
                i = n;
                break;
            case u'n':
                result += u"\r\n";
                break;
            case u'r':
                result += u'\r';
                break;
            case u't':
                result += u'\t';
                break;
            default:
                // %%, %., %!, "% " and any unknown letter all stand for the character itself.
                result += escape;
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        return status::not_enough_memory;
    }
    if (result.empty())
        return status::no_work_done;
    out = std::move(result);
    return status::success;
}

} // namespace tavlo::platform::portable
