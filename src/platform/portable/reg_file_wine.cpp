// Wine's key lines, their paths escaped as its strings are, and the comment that names the hive
// the keys after it belong to.
#include "platform/portable/key_paths.h"
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
    if (openPlainWineKey(t, p, e))
        return;
    rawNodes_.clear();
    keyPath_.clear();
    // What follows the bracket is the key's modification time, which nothing here uses.
    if (parseString(t, p, e, ']', keyPath_) == npos) {
        report(line_, "key line has no closing bracket: key skipped");
        keyState_ = KeyState::Skipped;
        return;
    }
    openKey(hive_);
}

// Wine writes a key after its parent and beside its siblings, so a key line nearly always
// repeats all but the last component of the line before it, byte for byte; and nearly every key
// line is ASCII with doubled backslashes as its only escapes. For such a line only the
// components after those it shares are read and looked up, straight from the file's bytes. False,
// with nothing made, for any other line (one that needs decoding, or that openKey would refuse):
// the general decoding takes it.
bool Loader::openPlainWineKey(const Text8& t, std::size_t p, std::size_t e) {
    const auto* line = reinterpret_cast<const char*>(t.p) + p;
    const std::size_t n = e - p;
    std::size_t kept = 0, from = 0;
    if (rawHive_ == hive_ && !rawNodes_.empty()) {
        const std::size_t common =
            commonPrefix(std::string_view(line, std::min(n, rawPath_.size())), rawPath_);
        // A component is shared when its end is too: the line goes on there with a separator or
        // the closing bracket, which the scan below checks.
        for (kept = rawNodes_.size(); kept > 0; --kept)
            if (const std::size_t end = rawNodes_[kept - 1].first;
                end <= common && end < n && (line[end] == '\\' || line[end] == ']'))
                break;
        if (kept > 0)
            from = rawNodes_[kept - 1].first;
    }
    rawParts_.clear();
    std::size_t i = from, start = from;
    for (;; ++i) {
        if (i == n)
            return false;
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == ']' || c == '\\') {
            if (i > start) {
                if (i - start > kMaxKeyNameChars)
                    return false;
                rawParts_.emplace_back(start, i);
            }
            if (c == ']')
                break;
            // A backslash that isn't doubled (an escaped ']' among them) needs decoding.
            if (i + 1 == n || line[i + 1] != '\\')
                return false;
            start = ++i + 1;
        } else if (c == 0 || c >= 0x80) {
            return false;
        }
    }
    if (kept + rawParts_.size() > kMaxKeyDepth || kept + rawParts_.size() == 0)
        return false;
    rawNodes_.resize(kept);
    MemoryRegistry::Node* node = kept > 0 ? rawNodes_.back().second : nullptr;
    for (const auto& [b, end] : rawParts_) {
        node = registry_->writableChild(hive_, node, Units{line + b, end - b, true});
        rawNodes_.emplace_back(end, node);
    }
    rawHive_ = hive_;
    rawPath_.assign(line, i);
    key_ = node;
    keyState_ = KeyState::Open;
    keyOpened_ = true;
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
