// The line structure of a registry file: which lines a load passes over, which it reads, and
// where a key's value lines begin and end.
#include "platform/portable/reg_file_loader.h"

#include "platform/portable/key_paths.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tavlo::platform::portable::reg_load {
namespace {

// How many names a key path has, and how long its longest is.
struct PathShape {
    std::size_t depth = 0;
    std::size_t longest = 0;
};

template <typename Unit> PathShape shapeOf(const Unit* path, std::size_t length) {
    PathShape shape;
    std::size_t run = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (path[i] == '\\') {
            run = 0;
            continue;
        }
        if (run++ == 0)
            ++shape.depth;
        shape.longest = std::max(shape.longest, run);
    }
    return shape;
}

PathShape shapeOf(const Units& path) {
    // A path no longer than a name can't be too deep either.
    if (path.length <= kMaxKeyNameChars)
        return {};
    return path.narrow ? shapeOf(static_cast<const unsigned char*>(path.text), path.length)
                       : shapeOf(static_cast<const char16_t*>(path.text), path.length);
}

bool holdsNull(const Units& path) {
    if (path.narrow)
        return std::memchr(path.text, 0, path.length) != nullptr;
    const auto* units = static_cast<const char16_t*>(path.text);
    return std::find(units, units + path.length, u'\0') != units + path.length;
}

} // namespace

template <class Text> std::size_t Loader::feed(const Text& t, bool atEnd) {
    const std::size_t n = t.size();
    std::size_t pos = 0;
    bool shifted = false;
    while (pos < n && !shifted) {
        if (passingOver()) {
            std::uint64_t ends = 0;
            pos = t.findMarkedLine(pos, '[', wine_ ? ';' : '[', ends);
            line_ += ends;
            if (pos == n)
                break;
        }
        const LineEnd found = t.findLineEnd(pos, atEnd);
        if (found.next == npos)
            break;
        const std::size_t end = found.end;
        shifted = found.shifted;
        lineStart_ = pos;
        ++line_;
        if (line_ > 1) {
            if (shifted) {
                outOfStep(t, pos, end);
            } else if (!passingOver()) {
                processLine(t, pos, end);
            } else if (const std::size_t p = skipBlanks(t, pos, end);
                       p < end && (t[p] == '[' || (wine_ && t[p] == ';'))) {
                // Only a key line ends a key's lines; a Wine comment may switch the hive.
                if (t[p] == '[')
                    endValueLines(offsetOf(pos));
                processLine(t, pos, end);
            }
            if (badUtf8_) {
                badUtf8_ = false;
                report(line_, "invalid UTF-8 read as U+FFFD");
            }
            if (keyOpened_) {
                keyOpened_ = false;
                valuesFrom_ = offsetOf(found.next);
                valuesLine_ = line_ + 1;
            }
        }
        pos = found.next;
    }
    shifted_ = shifted;
    if (atEnd)
        textEnd_ = offsetOf(pos) + (shifted ? 1 : 0);
    return pos;
}

void Loader::finish() {
    if (passingOver())
        endValueLines(textEnd_);
    if (waiting_)
        endWaiting(textEnd_);
    if (pending_) {
        report(pendingLine_, "the file ends inside hex data: value skipped");
        dropPending();
    }
}

void Loader::finishValues(bool atFileEnd) {
    if (pending_)
        report(pendingLine_, atFileEnd
                                 ? "the file ends inside hex data: value skipped"
                                 : "hex data continues onto a line that holds none: value skipped");
    dropPending();
}

void Loader::report(std::uint64_t line, std::string message) {
    Diagnostic diagnostic{file_, static_cast<std::size_t>(line), std::move(message)};
    if (writer_)
        writer_->report(std::move(diagnostic));
    else if (registry_)
        registry_->report(std::move(diagnostic));
    else
        storage_->log.report(std::move(diagnostic));
}

void Loader::endValueLines(std::uint64_t end) {
    if (keyState_ == KeyState::Open && end > valuesFrom_) {
        if (registry_)
            registry_->deferValues(key_, source_, valuesFrom_, end - valuesFrom_, valuesLine_);
        else
            storage_->addRun(*key_, source_, valuesFrom_, end - valuesFrom_, valuesLine_);
    }
    keyState_ = KeyState::None;
}

MemoryRegistry::Node* Loader::childOf(MemoryRegistry::Node* parent, const Units& name) {
    return storage_ ? storage_->child(*parent, name)
                    : registry_->writableChild(hive_, parent, name);
}

// A line of UTF-16 text that went out of step by a byte (one too many or too few) is
// garbled from there to its end: it is skipped, and the text is read in step again from the
// line feed that ends it. Its start, still readable, tells what it was: a key line's key is
// skipped with its values, which would otherwise go to the key before; a value line is
// reported when its key's values are read.
template <class Text> void Loader::outOfStep(const Text& t, std::size_t b, std::size_t e) {
    const std::size_t p = skipBlanks(t, b, e);
    const bool keyLine = p < e && t[p] == '[';
    if (passingOver()) {
        if (!keyLine)
            return;
        endValueLines(offsetOf(b));
    }
    if (pending_) {
        report(pendingLine_, "hex data continues onto a line that holds none: value skipped");
        dropPending();
    }
    report(line_, keyLine ? "a byte too many or too few in this UTF-16 line: key skipped"
                          : "a byte too many or too few in this UTF-16 line: line skipped");
    if (keyLine && !writer_)
        keyState_ = KeyState::Skipped;
}

template <class Text> void Loader::processLine(const Text& t, std::size_t b, std::size_t e) {
    const std::size_t p = skipBlanks(t, b, e);
    if (pending_) {
        // regedit lets blank and comment lines sit between wrapped hex lines. A Wine
        // comment that switches the hive switches it wherever it stands, as it does in the
        // value lines a load passes over.
        if (p == e || t[p] == ';') {
            if (p < e && wine_)
                wineComment(t, p, e);
            return;
        }
        if (hexDigit(t[p]) >= 0) {
            continueHex(t, p, e);
            return;
        }
        report(pendingLine_, "hex data continues onto a line that holds none: value skipped");
        dropPending();
    }
    if (p == e)
        return;
    switch (t[p]) {
    case '[':
        // Value lines read again end before the next key line; one among them means the
        // file has changed since it was loaded.
        if (writer_)
            break;
        if (wine_)
            wineKeyLine(t, p + 1, e);
        else
            regeditKeyLine(t, p + 1, e);
        return;
    case '@':
    case '"':
        valueLine(t, p, e);
        return;
    case ';':
        if (wine_)
            wineComment(t, p, e);
        return;
    case '#':
        // Wine's key options (#time, #class, #link) and #arch: nothing here needs them.
        if (wine_)
            return;
        break;
    default:
        break;
    }
    report(line_, "line not understood: skipped");
}

void Loader::openKey(Hive hive) {
    const Units path = keyPath_.units();
    const PathShape shape = shapeOf(path);
    if (shape.depth > kMaxKeyDepth) {
        report(line_, "key more than 512 levels deep: key skipped");
        keyState_ = KeyState::Skipped;
        return;
    }
    if (shape.longest > kMaxKeyNameChars) {
        report(line_, "key name longer than 255 characters: key skipped");
        keyState_ = KeyState::Skipped;
        return;
    }
    // Programs name keys by null-terminated paths, so a key whose name holds a null can't
    // be opened; worse, opening it by the name enumeration gives opens the key its name
    // stops at. Such a key, everything below it and its values are left out.
    if (holdsNull(path)) {
        report(line_, "key name holds a null character, which no program can name: key "
                      "skipped");
        keyState_ = KeyState::Skipped;
        return;
    }
    if (storage_) {
        // The path names a key below root, through the components of root's own.
        MemoryRegistry::Node* node = rawNodes_.front().second;
        std::size_t above = kKeysWaitBelowDepth;
        forEachComponent(path, 0, [&](const Units& component, std::size_t) {
            if (above > 0)
                --above;
            else
                node = childOf(node, component);
            return true;
        });
        // Only a file changed since it was loaded has such a line here; root itself, which
        // readers may be looking at, is never written.
        if (node == rawNodes_.front().second) {
            report(line_, "line not understood: skipped");
            keyState_ = KeyState::Skipped;
            return;
        }
        key_ = node;
    } else {
        key_ = registry_->writableKey(hive, path);
    }
    keyState_ = KeyState::Open;
    keyOpened_ = true;
}

template std::size_t Loader::feed(const Text8&, bool);
template std::size_t Loader::feed(const Text16&, bool);

} // namespace tavlo::platform::portable::reg_load
