// Registry file loader. A load reads the file once, line by line, and takes in its keys; the lines
// of each key's values are only passed over, and the registry is told where they lie. When a key's
// values are first needed, the same Loader reads just those lines again. The little that carries
// over from one line to the next (the current key, and hex data still waiting for its continuation
// lines) lives in the Loader, so a file can be fed in blocks and is never held whole. Text is
// converted run by run, never character by character into a fresh string.
#include "platform/portable/reg_file.h"

#include "platform/portable/reg_file_open.h"
#include "platform/portable/reg_file_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace tavlo::platform::portable {
namespace {

// Windows refuses longer names, so no registry can hold them and nothing may rely on them.
constexpr std::size_t kMaxKeyNameChars = 255;
// Nor does it nest keys deeper. Here a deeper key would also turn every recursive walk of the
// tree, its destruction included, into a stack overflow for a long enough key line.
constexpr std::size_t kMaxKeyDepth = 512;
constexpr std::size_t kMaxValueNameChars = 16383;
constexpr std::size_t kReadBlock = std::size_t{64} << 10;
// A header line is short; looking further only costs time on files that aren't registry files.
constexpr std::size_t kHeaderScan = 256;

constexpr std::string_view kWineHeader = "WINE REGISTRY Version 2";
constexpr std::string_view kRegedit5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRegedit4Header = "REGEDIT4";

enum class Encoding { Bytes, Utf16le };

struct Detected {
    RegFileFormat format = RegFileFormat::Unknown;
    Encoding encoding = Encoding::Bytes;
    std::size_t textStart = 0; // past the byte order mark
};

using namespace reg_text;

Detected detect(std::string_view bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    Detected result;
    std::string first; // the first line, non-ASCII characters replaced by a byte no header has
    if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        result.encoding = Encoding::Utf16le;
        result.textStart = 2;
        for (std::size_t i = 2; i + 1 < n && first.size() < kHeaderScan; i += 2) {
            const unsigned unit = b[i] | (unsigned{b[i + 1]} << 8);
            if (isLineEnd(unit))
                break;
            first.push_back(unit < 0x80 ? static_cast<char>(unit) : '\x7f');
        }
    } else {
        if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
            result.textStart = 3;
        for (std::size_t i = result.textStart; i < n && first.size() < kHeaderScan; ++i) {
            if (isLineEnd(b[i]))
                break;
            first.push_back(static_cast<char>(b[i]));
        }
    }
    if (result.encoding == Encoding::Bytes && first == kWineHeader) {
        result.format = RegFileFormat::Wine;
        return result;
    }
    std::string_view line = first;
    while (!line.empty() && isBlank(static_cast<unsigned char>(line.front())))
        line.remove_prefix(1);
    while (!line.empty() && isBlank(static_cast<unsigned char>(line.back())))
        line.remove_suffix(1);
    if (line == kRegedit5Header)
        result.format = RegFileFormat::Regedit5;
    else if (line == kRegedit4Header)
        result.format = RegFileFormat::Regedit4;
    return result;
}

struct RootName {
    std::string_view name;
    Hive hive;
    std::u16string_view prefix;
};

// HKEY_CLASSES_ROOT is a merged view; regedit writes what is imported below it to the machine.
constexpr RootName kRoots[] = {
    {"HKEY_LOCAL_MACHINE", Hive::LocalMachine, u""},
    {"HKLM", Hive::LocalMachine, u""},
    {"HKEY_CURRENT_USER", Hive::CurrentUser, u""},
    {"HKCU", Hive::CurrentUser, u""},
    {"HKEY_CLASSES_ROOT", Hive::LocalMachine, u"Software\\Classes"},
    {"HKCR", Hive::LocalMachine, u"Software\\Classes"},
};

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

bool equalsAscii(std::u16string_view text, std::string_view word) {
    if (text.size() != word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (asciiLower(text[i]) != asciiLower(static_cast<unsigned char>(word[i])))
            return false;
    return true;
}

enum class HexStep { Done, More, Bad };

class Loader {
public:
    // Loads a file's keys, telling the registry where each key's value lines lie in source.
    Loader(MemoryRegistry& registry, std::uint32_t source, const std::string& file,
           RegFileFormat format, Encoding encoding, Hive defaultHive)
        : registry_(&registry), file_(file), wine_(format == RegFileFormat::Wine),
          unicode_(format == RegFileFormat::Regedit5),
          unitBytes_(encoding == Encoding::Utf16le ? 2 : 1), hive_(defaultHive), source_(source) {}
    // Reads the value lines of one key, those after line firstLine - 1.
    Loader(ValueWriter& key, const std::string& file, RegFileFormat format, Encoding encoding,
           std::uint64_t firstLine)
        : writer_(&key), file_(file), wine_(format == RegFileFormat::Wine),
          unicode_(format == RegFileFormat::Regedit5),
          unitBytes_(encoding == Encoding::Utf16le ? 2 : 1), hive_(Hive::LocalMachine),
          line_(firstLine - 1), keyState_(KeyState::Open) {}

    // Where in the file the text fed next starts, in bytes.
    void setOffset(std::uint64_t offset) { base_ = offset; }

    // Handles every complete line of text (the first line of the file being the header) and
    // returns how many units that took; with atEnd, an unterminated last line counts as complete.
    template <class Text> std::size_t feed(const Text& t, bool atEnd) {
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

    // Whether the text fed last stopped after a line feed out of step: the text goes on a byte
    // after what feed used.
    bool steppedBack() const { return shifted_; }

    // After the whole file: the last key's lines run to its end.
    void finish() {
        if (passingOver())
            endValueLines(textEnd_);
        if (pending_) {
            report(pendingLine_, "the file ends inside hex data: value skipped");
            dropPending();
        }
    }

    // After one key's value lines.
    void finishValues(bool atFileEnd) {
        if (pending_)
            report(pendingLine_,
                   atFileEnd ? "the file ends inside hex data: value skipped"
                             : "hex data continues onto a line that holds none: value skipped");
        dropPending();
    }

    void report(std::uint64_t line, std::string message) {
        Diagnostic diagnostic{file_, static_cast<std::size_t>(line), std::move(message)};
        if (writer_)
            writer_->report(std::move(diagnostic));
        else
            registry_->report(std::move(diagnostic));
    }

    std::uint64_t line() const { return line_; }
    std::uint64_t textEnd() const { return textEnd_; }

private:
    enum class KeyState { None, Open, Skipped };

    // While loading, the lines of an open key are passed over.
    bool passingOver() const { return registry_ && keyState_ == KeyState::Open; }
    std::uint64_t offsetOf(std::size_t unit) const { return base_ + unitBytes_ * unit; }

    void endValueLines(std::uint64_t end) {
        if (end > valuesFrom_)
            registry_->deferValues(key_, source_, valuesFrom_, end - valuesFrom_, valuesLine_);
        keyState_ = KeyState::None;
    }

    // A line of UTF-16 text that went out of step by a byte (one too many or too few) is
    // garbled from there to its end: it is skipped, and the text is read in step again from the
    // line feed that ends it. Its start, still readable, tells what it was: a key line's key is
    // skipped with its values, which would otherwise go to the key before; a value line is
    // reported when its key's values are read.
    template <class Text> void outOfStep(const Text& t, std::size_t b, std::size_t e) {
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

    template <class Text> void processLine(const Text& t, std::size_t b, std::size_t e) {
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

    template <class Text> void regeditKeyLine(const Text& t, std::size_t p, std::size_t e) {
        std::size_t close = e;
        while (close > p && t[close - 1] != ']')
            --close;
        if (close == p) {
            report(line_, "key line has no closing bracket: key skipped");
            keyState_ = KeyState::Skipped;
            return;
        }
        --close;
        const bool remove = p < close && t[p] == '-';
        if (remove)
            ++p;
        std::size_t rootEnd = p;
        while (rootEnd < close && t[rootEnd] != '\\')
            ++rootEnd;
        const RootName* root = nullptr;
        for (const RootName& candidate : kRoots)
            if (equalsIgnoringCase(t, p, rootEnd, candidate.name))
                root = &candidate;
        if (!root) {
            report(line_, "unsupported key root " + excerpt(t, p, rootEnd) + ": key skipped");
            keyState_ = remove ? KeyState::None : KeyState::Skipped;
            return;
        }
        keyPath_.clear();
        keyPath_.append(root->prefix);
        const std::size_t prefixLength = keyPath_.size();
        if (rootEnd < close) {
            keyPath_.push(u'\\');
            appendText(t, rootEnd + 1, close, keyPath_);
        }
        if (remove) {
            keyState_ = KeyState::None;
            const std::u16string_view path = keyPath_.wide();
            if (path.find_first_not_of(u'\\', prefixLength) == npos)
                report(line_, "a root key can't be deleted: line skipped");
            else
                registry_->deleteKey(root->hive, path);
            return;
        }
        openKey(root->hive);
    }

    template <class Text> void wineKeyLine(const Text& t, std::size_t p, std::size_t e) {
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
    bool plainWinePath(const Text8& t, std::size_t p, std::size_t e) {
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
                (escape ? static_cast<std::size_t>(static_cast<const char*>(escape) - begin)
                        : end) -
                p;
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
    bool plainWinePath(const Text16&, std::size_t, std::size_t) { return false; }

    void openKey(Hive hive) {
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
        key_ = registry_->writableKey(hive, path);
        keyState_ = KeyState::Open;
        keyOpened_ = true;
    }

    template <class Text> void wineComment(const Text& t, std::size_t p, std::size_t e) {
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

    template <class Text> void valueLine(const Text& t, std::size_t p, std::size_t e) {
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
    void stringValue(const Text& t, std::size_t p, std::size_t e, std::uint32_t type) {
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

    template <class Text> void dwordValue(const Text& t, std::size_t p, std::size_t e) {
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
    void hexValue(const Text& t, std::size_t p, std::size_t e, std::uint32_t type) {
        pendingName_.swap(name_);
        pendingType_ = type;
        pendingLine_ = line_;
        pendingData_.clear();
        // Only here, on the first line: reserving exactly on every continuation line would
        // reallocate the whole value each time.
        pendingData_.reserve((e - p) / 3 + 1);
        continueHex(t, p, e);
    }

    template <class Text> void continueHex(const Text& t, std::size_t p, std::size_t e) {
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
    HexStep hexRun(const Text& t, std::size_t p, std::size_t e, std::vector<std::uint8_t>& out) {
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

    void commitHex() {
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

    void dropPending() {
        pending_ = false;
        pendingData_.clear();
    }

    static void terminateUtf16(std::vector<std::uint8_t>& data) {
        if (data.size() % 2 != 0)
            data.push_back(0);
        const std::size_t n = data.size();
        if (n == 0 || data[n - 1] != 0 || data[n - 2] != 0)
            data.insert(data.end(), 2, 0);
    }

    // Decodes a quoted string whose opening character has been read, up to the unescaped
    // closer; returns the position after the closer, or npos when the line ends first.
    template <class Text>
    std::size_t parseString(const Text& t, std::size_t p, std::size_t e, unsigned closer,
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
        return npos;
    }

    static char16_t wineEscape(unsigned c) {
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

    template <class Text> bool atLineEnd(const Text& t, std::size_t p, std::size_t e) const {
        p = skipBlanks(t, p, e);
        return p == e || (!wine_ && t[p] == ';');
    }

    void appendText(const Text8& t, std::size_t b, std::size_t e, Decoded& out,
                    bool ascii = false) {
        if (b == e)
            return;
        if (ascii) {
            out.appendAscii(t.p + b, e - b);
        } else if (wine_) {
            if (!appendUtf8(out, t.p + b, t.p + e))
                badUtf8_ = true;
        } else {
            appendAnsi(out, t.p + b, t.p + e);
        }
    }

    void appendText(const Text16& t, std::size_t b, std::size_t e, Decoded& out, bool = false) {
        out.appendUtf16(t.p + 2 * b, e - b);
    }

    bool keyUsable(std::uint64_t line) {
        if (keyState_ == KeyState::Open)
            return true;
        if (keyState_ == KeyState::None)
            report(line, "value outside of any key: skipped");
        return false;
    }

    bool storable(const Decoded& name, std::uint64_t line) {
        if (!keyUsable(line))
            return false;
        if (name.size() > kMaxValueNameChars) {
            report(line, "value name longer than 16383 characters: value skipped");
            return false;
        }
        return true;
    }

    // Values are only ever parsed with a key open while their lines are read again.
    void storeBytes(const Decoded& name, std::uint32_t type, const std::uint8_t* data,
                    std::size_t size, std::uint64_t line) {
        if (storable(name, line))
            writer_->store(name.units(), type, data, size);
    }

    // Text data, its terminator included.
    void storeText(const Decoded& name, std::uint32_t type, const Decoded& text,
                   std::uint64_t line) {
        if (storable(name, line))
            writer_->store(name.units(), type, text.units());
    }

    MemoryRegistry* registry_ = nullptr; // while loading
    ValueWriter* writer_ = nullptr;      // while reading a key's values
    const std::string& file_;
    const bool wine_;
    const bool unicode_; // regedit 5: string data given as hex is UTF-16
    const unsigned unitBytes_;
    Hive hive_; // where a Wine file's keys go
    std::uint64_t line_ = 0;
    bool badUtf8_ = false;
    bool shifted_ = false;

    KeyState keyState_ = KeyState::None;
    MemoryRegistry::Node* key_ = nullptr; // while keyState_ is Open
    Decoded keyPath_;
    // The lines of the key open while loading.
    std::uint32_t source_ = 0;
    std::uint64_t base_ = 0; // the offset of the text being fed
    bool keyOpened_ = false; // on the line just read
    std::uint64_t valuesFrom_ = 0;
    std::uint64_t valuesLine_ = 0;
    std::uint64_t textEnd_ = 0;

    // A hex value whose last line ended with a backslash.
    bool pending_ = false;
    std::uint64_t pendingLine_ = 0;
    std::uint32_t pendingType_ = 0;
    Decoded pendingName_;
    std::vector<std::uint8_t> pendingData_;

    Decoded name_;
    Decoded text_;
};

// Feeds bytes in the file's encoding, the first of them at offset in the file; returns how many
// were used.
std::size_t feedBytes(Loader& loader, Encoding encoding, const char* bytes, std::size_t size,
                      std::uint64_t offset, bool atEnd) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    loader.setOffset(offset);
    if (encoding == Encoding::Bytes)
        return loader.feed(Text8{p, size}, atEnd);
    std::size_t used = 0;
    for (;;) {
        const Text16 text{p + used, (size - used) / 2, size - used};
        used += 2 * loader.feed(text, atEnd);
        if (!loader.steppedBack())
            break;
        ++used; // the second byte of the line feed out of step
        loader.setOffset(offset + used);
    }
    if (atEnd && used < size) {
        const bool onNewLine = used < 2 || (p[used - 1] == 0 && isLineEnd(p[used - 2]));
        loader.report(loader.line() + (onNewLine ? 1 : 0),
                      "the file ends in the middle of a UTF-16 character");
        return size;
    }
    return used;
}

bool seek(std::FILE* file, std::uint64_t offset) {
#if defined(_WIN32)
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::uint64_t tell(std::FILE* file) {
#if defined(_WIN32)
    return static_cast<std::uint64_t>(_ftelli64(file));
#else
    return static_cast<std::uint64_t>(ftello(file));
#endif
}

// The bytes of a file not yet handed to the loader. Unlike a std::string it doesn't zero what
// fread is about to overwrite, which would cost a pass over the whole file.
class ReadBuffer {
public:
    const char* data() const { return data_.get() + start_; }
    std::size_t size() const { return end_ - start_; }
    void consume(std::size_t count) { start_ += count; }

    // Appends up to want bytes; returns how many were read.
    std::size_t read(std::FILE* file, std::size_t want) {
        if (capacity_ - end_ < want) {
            const std::size_t kept = size();
            if (capacity_ - kept < want) {
                // With room to spare, so that the unfinished line a block ends with moves to
                // the front of this buffer next time instead of into a new one: fresh memory
                // costs more than reading the file.
                capacity_ = 2 * (kept + want);
                auto grown = std::make_unique_for_overwrite<char[]>(capacity_);
                if (kept > 0)
                    std::memcpy(grown.get(), data(), kept);
                data_ = std::move(grown);
            } else {
                std::memmove(data_.get(), data(), kept);
            }
            start_ = 0;
            end_ = kept;
        }
        const std::size_t got = std::fread(data_.get() + end_, 1, want, file);
        end_ += got;
        return got;
    }

private:
    std::unique_ptr<char[]> data_;
    std::size_t capacity_ = 0;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
};

// Hands the loader the buffer's bytes and then the file's next ones, at most left of them, in
// blocks; offset is where the buffer's first byte lies in the file.
void feedFile(Loader& loader, std::FILE* file, Encoding encoding, ReadBuffer& buffer,
              std::uint64_t offset, std::uint64_t left, bool atEnd) {
    for (;;) {
        const std::size_t used =
            feedBytes(loader, encoding, buffer.data(), buffer.size(), offset, atEnd);
        buffer.consume(used);
        offset += used;
        if (atEnd)
            return;
        // A line longer than a block: read as much again, so a huge line is scanned a bounded
        // number of times rather than once per block.
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(std::max(kReadBlock, buffer.size()), left));
        const std::size_t got = buffer.read(file, want);
        left -= got;
        atEnd = got < want || left == 0;
        if (std::ferror(file)) {
            loader.report(0, "reading the file failed part way (" + reasonOf(errno) +
                                 "): the rest is missing");
            atEnd = true;
        }
    }
}

// A loaded file, kept open (or, for text handed over whole, kept) to read a key's value lines
// when they're first needed. A file replaced since (as Wine replaces its registry files) is
// still read as it was; one changed in place gives what its bytes say then, and never more than
// the key's lines.
class FileLines final : public LineSource {
public:
    FileLines(std::string name, const Detected& detected, File file, std::string text)
        : name_(std::move(name)), format_(detected.format), encoding_(detected.encoding),
          file_(std::move(file)), text_(std::move(text)) {}

    // Loads the keys; the buffer holds the file's first bytes, read already.
    void load(MemoryRegistry& registry, std::uint32_t source, Hive defaultHive,
              std::size_t textStart, ReadBuffer* buffer, bool atEnd) {
        Loader loader(registry, source, name_, format_, encoding_, defaultHive);
        loading_ = true;
        if (file_) {
            buffer->consume(textStart);
            feedFile(loader, file_.get(), encoding_, *buffer, textStart, ~std::uint64_t{0}, atEnd);
        } else {
            feedBytes(loader, encoding_, text_.data() + textStart, text_.size() - textStart,
                      textStart, true);
        }
        textEnd_ = loader.textEnd();
        loader.finish();
        loading_ = false;
    }

    void readValues(ValueWriter& key, std::uint64_t offset, std::uint64_t length,
                    std::uint64_t firstLine) override {
        Loader loader(key, name_, format_, encoding_, firstLine);
        if (!file_) {
            feedBytes(loader, encoding_, text_.data() + offset, static_cast<std::size_t>(length),
                      offset, true);
        } else if (const int error = readLines(loader, offset, length)) {
            loader.report(firstLine, "the file can't be read again (" + reasonOf(error) +
                                         "): this key's values are missing");
        }
        loader.finishValues(offset + length >= textEnd_);
    }

private:
    static constexpr std::size_t kNearBlock = std::size_t{64} << 10;

    // Returns 0, or the errno of what failed.
    int readLines(Loader& loader, std::uint64_t offset, std::uint64_t length) {
        // A key's lines met while the load still reads the file: it goes on from here after.
        struct Resume {
            std::FILE* file;
            std::uint64_t at;
            ~Resume() {
                if (file)
                    seek(file, at);
            }
        } resume{loading_ ? file_.get() : nullptr, loading_ ? tell(file_.get()) : 0};
        if (length > kNearBlock) {
            if (!seek(file_.get(), offset))
                return errno;
            ReadBuffer buffer;
            feedFile(loader, file_.get(), encoding_, buffer, offset, length, false);
            return 0;
        }
        // Keys asked about one after another (a walk of a tree, sub-keys after their key) mostly
        // lie near each other in a file: a block is read at a time and kept for the next.
        if (offset < nearOffset_ || offset + length > nearOffset_ + nearSize_) {
            if (!near_)
                near_ = std::make_unique_for_overwrite<char[]>(kNearBlock);
            nearSize_ = 0;
            if (!seek(file_.get(), offset))
                return errno;
            nearOffset_ = offset;
            nearSize_ = std::fread(near_.get(), 1, kNearBlock, file_.get());
        }
        const auto from = static_cast<std::size_t>(offset - nearOffset_);
        const std::size_t size = std::min(static_cast<std::size_t>(length), nearSize_ - from);
        feedBytes(loader, encoding_, near_.get() + from, size, offset, true);
        return 0;
    }

    const std::string name_;
    const RegFileFormat format_;
    const Encoding encoding_;
    const File file_;
    const std::string text_;
    std::uint64_t textEnd_ = ~std::uint64_t{0};
    bool loading_ = false;
    std::unique_ptr<char[]> near_;
    std::uint64_t nearOffset_ = 0;
    std::size_t nearSize_ = 0;
};

void reportUnknownFormat(MemoryRegistry& registry, const std::string& name) {
    registry.report({name, 0, "not a registry file: the first line is no known header"});
}

} // namespace

RegFileFormat detectRegFileFormat(std::string_view bytes) {
    return detect(bytes).format;
}

namespace {

bool loadText(MemoryRegistry& registry, std::string bytes, const std::string& name,
              Hive defaultHive) {
    const Detected detected = detect(bytes);
    if (detected.format == RegFileFormat::Unknown) {
        reportUnknownFormat(registry, name);
        return false;
    }
    auto lines = std::make_shared<FileLines>(name, detected, nullptr, std::move(bytes));
    lines->load(registry, registry.addSource(lines), defaultHive, detected.textStart, nullptr,
                true);
    return true;
}

} // namespace

bool loadRegistryText(MemoryRegistry& registry, std::string_view bytes, const std::string& name,
                      Hive defaultHive) {
    return loadText(registry, std::string(bytes), name, defaultHive);
}

bool loadRegistryFile(MemoryRegistry& registry, const std::string& path, Hive defaultHive,
                      const StreamLimits& limits) {
    OpenedFile opened = openRegistryFile(path, limits);
    if (opened.streamed)
        return loadText(registry, std::move(opened.bytes), path, defaultHive);
    if (!opened.file) {
        registry.report({path, 0, std::move(opened.problem)});
        return false;
    }
    ReadBuffer buffer;
    const bool atEnd = buffer.read(opened.file.get(), kReadBlock) < kReadBlock;
    if (std::ferror(opened.file.get())) {
        registry.report({path, 0, "the file can't be read: " + reasonOf(errno)});
        return false;
    }
    const Detected detected = detect(std::string_view(buffer.data(), buffer.size()));
    if (detected.format == RegFileFormat::Unknown) {
        reportUnknownFormat(registry, path);
        return false;
    }
    auto lines = std::make_shared<FileLines>(path, detected, std::move(opened.file), std::string());
    lines->load(registry, registry.addSource(lines), defaultHive, detected.textStart, &buffer,
                atEnd);
    return true;
}

} // namespace tavlo::platform::portable
