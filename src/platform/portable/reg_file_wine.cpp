// Wine's key lines, their paths escaped as its strings are, and the comment that names the hive
// the keys after it belong to.
#include "platform/portable/reg_file_loader.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tavlo::platform::portable::reg_load {
namespace {

bool equalsAscii(std::u16string_view text, std::string_view word) {
    if (text.size() != word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (asciiLower(text[i]) != asciiLower(static_cast<unsigned char>(word[i])))
            return false;
    return true;
}

} // namespace

template <class Text> void Loader::wineKeyLine(const Text& t, std::size_t p, std::size_t e) {
    keyPath_.clear();
    // What follows the bracket is the key's modification time, which nothing here uses.
    if (!plainWinePath(t, p, e) && parseString(t, p, e, ']', keyPath_) == npos) {
        report(line_, "key line has no closing bracket: key skipped");
        keyState_ = KeyState::Skipped;
        return;
    }
    openKey(hive_);
}

// Nearly every key line a load meets is ASCII with doubled backslashes as its only escapes:
// those are decoded here in one pass. False, with nothing decoded, for any other line.
bool Loader::plainWinePath(const Text8& t, std::size_t p, std::size_t e) {
    const auto* begin = reinterpret_cast<const char*>(t.p);
    const void* close = std::memchr(begin + p, ']', e - p);
    if (!close)
        return false;
    const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(close) - begin);
    if (!isAscii(begin + p, end - p))
        return false;
    char* out = keyPath_.narrowSpace(end - p);
    std::size_t n = 0;
    while (p < end) {
        const void* escape = std::memchr(begin + p, '\\', end - p);
        const std::size_t run =
            (escape ? static_cast<std::size_t>(static_cast<const char*>(escape) - begin) : end) - p;
        std::memcpy(out + n, begin + p, run);
        n += run;
        p += run;
        if (p == end)
            break;
        // A backslash that isn't doubled (an escaped ']' among them) needs the general
        // decoding.
        if (p + 1 == end || begin[p + 1] != '\\') {
            keyPath_.clear();
            return false;
        }
        out[n++] = '\\';
        p += 2;
    }
    keyPath_.truncate(n);
    return true;
}

template <class Text> void Loader::wineComment(const Text& t, std::size_t p, std::size_t e) {
    constexpr std::string_view kRelative = ";; All keys relative to ";
    // The load has switched the hive already when value lines are read again.
    if (writer_ || !startsWith(t, p, e, kRelative))
        return;
    text_.clear();
    appendText(t, p + kRelative.size(), e, text_);
    // Wine doubles the backslashes; single ones read the same.
    std::u16string_view parts[3];
    std::size_t count = 0;
    std::u16string_view rest = text_.wide();
    while (!rest.empty() && isBlank(rest.back()))
        rest.remove_suffix(1);
    while (!rest.empty()) {
        const std::size_t cut = std::min(rest.find(u'\\'), rest.size());
        if (cut > 0) {
            if (count == 3)
                break;
            parts[count++] = rest.substr(0, cut);
        }
        rest.remove_prefix(cut == rest.size() ? cut : cut + 1);
    }
    if (rest.empty() && count == 1 && equalsAscii(parts[0], "Machine"))
        hive_ = Hive::LocalMachine;
    else if (rest.empty() && (count == 1 || count == 2) && equalsAscii(parts[0], "User"))
        hive_ = Hive::CurrentUser;
    else
        report(line_, "keys are relative to an unsupported root: they go to the default hive");
}

template void Loader::wineKeyLine(const Text8&, std::size_t, std::size_t);
template void Loader::wineKeyLine(const Text16&, std::size_t, std::size_t);
template void Loader::wineComment(const Text8&, std::size_t, std::size_t);
template void Loader::wineComment(const Text16&, std::size_t, std::size_t);

} // namespace tavlo::platform::portable::reg_load
