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
    if (openWineKeyQuickly(t, p, e))
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
// repeats all but the last component of the line before it, byte for byte. Only the components
// after those it shares are read and looked up, and only a component with escapes or UTF-8 in it
// is decoded: the rest are the file's bytes as they stand. False, with nothing made, for a line
// openKey would refuse or report on: the general decoding takes it.
bool Loader::openWineKeyQuickly(const Text8& t, std::size_t p, std::size_t e) {
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
    // Components end at a doubled backslash, paired from the left as the decoding pairs them;
    // a single one escapes the byte after it, an escaped ']' among them.
    rawParts_.clear();
    bool escaped = false, anyEscaped = false;
    std::size_t i = from, start = from;
    for (;;) {
        unsigned seen = 0; // a byte beyond ASCII is UTF-8 to decode
        i = t.findEither(p + i, e, ']', '\\', seen) - p;
        escaped |= seen >= 0x80;
        if (i == n || (line[i] == '\\' && i + 1 == n))
            return false;
        if (line[i] == ']' || line[i + 1] == '\\') {
            if (i > start)
                rawParts_.push_back({start, i, escaped});
            anyEscaped |= escaped;
            escaped = false;
            if (line[i] == ']')
                break;
            i += 2;
            start = i;
        } else {
            escaped = true;
            i += 2;
        }
    }
    // A null in a name is openKey's to report.
    if (std::memchr(line + from, 0, i - from))
        return false;
    if (kept + rawParts_.size() > kMaxKeyDepth || kept + rawParts_.size() == 0)
        return false;
    // Decoded, a component may hold what a path can't: a backslash or a null from a numeric
    // escape.
    if (anyEscaped) {
        keyPath_.clear();
        for (RawPart& part : rawParts_) {
            const std::size_t before = keyPath_.size();
            if (part.escaped)
                parseString(t, p + part.begin, p + part.end, 0, keyPath_);
            else
                keyPath_.appendAscii(t.p + p + part.begin, part.end - part.begin);
            part.units = {before, keyPath_.size()};
        }
        const Units path = keyPath_.units();
        for (const RawPart& part : rawParts_)
            for (std::size_t u = part.units.first; u < part.units.second; ++u)
                if (const char16_t c = unitAt(path.text, path.narrow, u); c == 0 || c == u'\\')
                    return false;
    }
    for (const RawPart& part : rawParts_)
        if ((anyEscaped ? part.units.second - part.units.first : part.end - part.begin) >
            kMaxKeyNameChars)
            return false;
    rawNodes_.resize(kept);
    MemoryRegistry::Node* node = kept > 0 ? rawNodes_.back().second : nullptr;
    const Units path = keyPath_.units();
    const std::size_t unitBytes = path.narrow ? 1 : 2;
    for (const RawPart& part : rawParts_) {
        const Units name =
            anyEscaped ? Units{static_cast<const char*>(path.text) + unitBytes * part.units.first,
                               part.units.second - part.units.first, path.narrow}
                       : Units{line + part.begin, part.end - part.begin, true};
        node = registry_->writableChild(hive_, node, name);
        rawNodes_.emplace_back(part.end, node);
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
