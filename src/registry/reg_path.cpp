#include "registry/reg_path.h"

#include <string_view>

namespace tavlo::registry {

namespace {

constexpr std::size_t kLimit = 100;

// Shortens text where it stands: every error a getter drops still writes its path text, so the
// text is cut without building another.
void abbreviate(std::u16string& text) {
    const std::size_t n = text.size();
    if (n <= kLimit)
        return;
    const std::size_t first = text.find(u'\\');
    const std::size_t headLength = first == std::u16string::npos ? 0 : first + 1;
    const std::size_t p = headLength + 3; // the head and "..."
    if (headLength > 0) {
        std::size_t i = text.find(u'\\', headLength);
        while (i != std::u16string::npos) {
            if (p + (n - i) <= kLimit) {
                text.replace(headLength, i - headLength, u"...");
                return;
            }
            if (i + 1 >= kLimit - 1)
                break;
            i = text.find(u'\\', i + 1);
        }
    }
    const std::size_t tail = p < kLimit ? kLimit - p : 0;
    text.replace(headLength, n - tail - headLength, u"...");
}

void writeRegPath(std::u16string& text, platform::Root root, std::u16string_view key,
                  const char16_t* value) {
    // Profile messages name the user's root by its own label: a user who must repair the
    // setting looks for it there, not below the machine's root.
    text.clear();
    if (root == platform::Root::LocalMachine)
        text += u"HKEY_LOCAL_MACHINE\\";
    else if (root == platform::Root::CurrentUser)
        text += u"HKEY_CURRENT_USER\\";
    text += key;
    if (value) {
        text += u'\\';
        text += value;
    }
    abbreviate(text);
}

} // namespace

std::u16string FormatRegPath(platform::Root root, const char16_t* key, const char16_t* value) {
    std::u16string text;
    writeRegPath(text, root, key ? key : u"", value);
    return text;
}

frame::Failure regPathFailure(frame::Failure::Kind kind, std::u16string_view operation,
                              std::uint32_t messageId, platform::Root root, std::u16string_view key,
                              const char16_t* value) {
    std::u16string& text = frame::state().argumentScratch;
    writeRegPath(text, root, key, value);
    return {kind, frame::makeError(operation, messageId, text)};
}

std::u16string AbbreviatePathText(const std::u16string& text) {
    std::u16string result = text;
    abbreviate(result);
    return result;
}

} // namespace tavlo::registry
