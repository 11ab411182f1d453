#include "registry/reg_path.h"

namespace tavlo::registry {

namespace {
constexpr std::size_t kLimit = 100;
} // namespace

std::u16string FormatRegPath(platform::Root root, const char16_t* key, const char16_t* value) {
    std::u16string text;
    // Profile messages name the user's root by its own label: a user who must repair the
    // setting looks for it there, not below the machine's root.
    if (root == platform::Root::LocalMachine)
        text = u"HKEY_LOCAL_MACHINE\\";
    else if (root == platform::Root::CurrentUser)
        text = u"HKEY_CURRENT_USER\\";
    if (key)
        text += key;
    if (value) {
        text += u'\\';
        text += value;
    }
    return AbbreviatePathText(text);
}

std::u16string AbbreviatePathText(const std::u16string& text) {
    const std::size_t n = text.size();
    if (n <= kLimit)
        return text;
    const std::size_t first = text.find(u'\\');
    const std::size_t headLength = first == std::u16string::npos ? 0 : first + 1;
    std::u16string result = text.substr(0, headLength) + u"...";
    const std::size_t p = result.size();
    if (headLength > 0) {
        std::size_t i = text.find(u'\\', headLength);
        while (i != std::u16string::npos) {
            if (p + (n - i) <= kLimit)
                return result + text.substr(i);
            if (i + 1 >= kLimit - 1)
                break;
            i = text.find(u'\\', i + 1);
        }
    }
    if (p < kLimit)
        result += text.substr(n - (kLimit - p));
    return result;
}

} // namespace tavlo::registry
