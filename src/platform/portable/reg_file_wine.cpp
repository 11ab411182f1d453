// Wine's key lines, their paths escaped as its strings are, and the comment that names the hive
// the keys after it belong to.
#include "platform/portable/key_paths.h"
#include "platform/portable/reg_file_loader.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tavlo::platform::portable::reg_load {
namespace {

// Whether a key line's path goes on below the key whose path, as a line spelt it, is prefix: it
// repeats it, a separator follows, and after any more separators comes a character of a name.
// A numeric escape of a backslash there would be one more separator: such a line is not taken.
bool namesBelow(const char* line, std::size_t n, std::string_view prefix) {
    const std::size_t length = prefix.size();
    if (n < length + 3 || line[length] != '\\' || line[length + 1] != '\\' ||
        std::memcmp(line, prefix.data(), length) != 0)
        return false;
    std::size_t i = length + 2;
    while (i + 1 < n && line[i] == '\\' && line[i + 1] == '\\')
        i += 2;
    if (i == n || line[i] == ']')
        return false;
    if (line[i] != '\\')
        return true;
    if (++i == n)
        return false;
    unsigned value = 0;
    if (line[i] == 'x') {
        for (int digits = 0, d;
             digits < 4 && ++i < n && (d = hexDigit(static_cast<unsigned char>(line[i]))) >= 0;
             ++digits)
            value = (value << 4) | static_cast<unsigned>(d);
    } else {
        for (int digits = 0; digits < 3 && i < n && line[i] >= '0' && line[i] <= '7'; ++i, ++digits)
            value = value * 8 + static_cast<unsigned>(line[i] - '0');
    }
    return value != '\\';
}

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
    if (storage_ ? outsideRoot(t, p, e) : belowWaitingKey(t, p, e))
        return;
    if (openWineKeyQuickly(t, p, e)) {
        if (registry_ && rawNodes_.size() == kKeysWaitBelowDepth && key_->children.count == 0)
            startWaiting();
        return;
    }
    // While making the keys below one key, the quick way goes on from it.
    rawNodes_.resize(storage_ ? 1 : 0);
    keyPath_.clear();
    // What follows the bracket is the key's modification time, which nothing here uses.
    if (parseString(t, p, e, ']', keyPath_) == npos) {
        report(line_, "key line has no closing bracket: key skipped");
        keyState_ = KeyState::Skipped;
        return;
    }
    openKey(hive_);
}

// Wine writes a key's sub-keys right after it, so the key lines below a key that waits for its
// sub-keys come in a run, each starting with its path as its own line spelt it. They are only
// passed over: the run is made into keys when the key's sub-keys are first needed.
bool Loader::belowWaitingKey(const Text8& t, std::size_t p, std::size_t e) {
    if (!waiting_)
        return false;
    if (hive_ == waitingHive_ &&
        namesBelow(reinterpret_cast<const char*>(t.p) + p, e - p, waitingPath_)) {
        if (!waitingRun_) {
            waitingRun_ = true;
            waitingFrom_ = offsetOf(lineStart_);
            waitingLine_ = line_;
        }
        keyState_ = KeyState::Below;
        return true;
    }
    endWaiting(offsetOf(lineStart_));
    return false;
}

void Loader::startWaiting() {
    waiting_ = key_;
    waitingHive_ = hive_;
    waitingPath_ = rawPath_;
    waitingRun_ = false;
}

void Loader::endWaiting(std::uint64_t end) {
    if (waitingRun_)
        registry_->deferKeys(waiting_,
                             KeyRun{waitingFrom_, end - waitingFrom_, waitingLine_, source_,
                                    static_cast<std::uint32_t>(waitingPath_.size()),
                                    static_cast<std::uint8_t>(waitingHive_), nullptr});
    waiting_ = nullptr;
    waitingRun_ = false;
}

// The key lines of a run are read again as the load took them, so each must still name a key
// below root: a file changed in place since gives what its lines say then, but only below root.
bool Loader::outsideRoot(const Text8& t, std::size_t p, std::size_t e) {
    const auto* line = reinterpret_cast<const char*>(t.p) + p;
    if (rootPath_.empty() && e - p >= rootPrefix_) {
        rootPath_.assign(line, rootPrefix_);
        rawPath_ = rootPath_;
    }
    if (!rootPath_.empty() && namesBelow(line, e - p, rootPath_))
        return false;
    report(line_, "line not understood: skipped");
    keyState_ = KeyState::Skipped;
    return true;
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
        // the closing bracket. A single backslash there would escape a byte of the component.
        for (kept = rawNodes_.size(); kept > 0; --kept)
            if (const std::size_t end = rawNodes_[kept - 1].first;
                end <= common && end < n &&
                (line[end] == ']' || (line[end] == '\\' && end + 1 < n && line[end + 1] == '\\')))
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
    // While making the keys below one key, the first of rawNodes_ is that key, levels down.
    const std::size_t depth = kept + rawParts_.size() + (storage_ ? kKeysWaitBelowDepth - 1 : 0);
    if (depth > kMaxKeyDepth || kept + rawParts_.size() == 0)
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
        node = childOf(node, name);
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
    // The load has switched the hive already when lines are read again.
    if (writer_ || storage_ || !startsWith(t, p, e, kRelative))
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
