// The registry file loader's state and its parsers. A load reads the file once, line by line, and
// takes in its keys; the lines of each key's values are only passed over, and the registry is told
// where they lie. When a key's values are first needed, a Loader reads just those lines again.
// In a Wine file the key lines below a key three levels down are passed over the same way, and
// a Loader reads them again to make that key's sub-keys when they are first needed.
// The little that carries over from one line to the next (the current key, and hex data still
// waiting for its continuation lines) lives in the Loader, so a file can be fed in blocks and is
// never held whole. Text is converted run by run, never character by character into a fresh
// string.
//
// The parsers are spread over files of their own, each instantiating its part for both
// encodings: the line structure (reg_file_loader.cpp), regedit's key lines (reg_file_regedit.cpp),
// Wine's key lines and comments (reg_file_wine.cpp), value lines and their data
// (reg_file_values.cpp). Only they include this, so the text scans stay inlined in them.
#pragma once

#include "platform/portable/key_storage.h"
#include "platform/portable/memory_registry.h"
#include "platform/portable/reg_file_format.h"
#include "platform/portable/reg_file_text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavlo::platform::portable::reg_load {

using namespace reg_text;

// Windows refuses longer names, so no registry can hold them and nothing may rely on them.
constexpr std::size_t kMaxKeyNameChars = 255;
// Nor does it nest keys deeper. Here a deeper key would also turn every recursive walk of the
// tree, its destruction included, into a stack overflow for a long enough key line.
constexpr std::size_t kMaxKeyDepth = 512;
constexpr std::size_t kMaxValueNameChars = 16383;
// A Wine file's keys this deep are made as they're met; the key lines of everything below one
// of them wait, as its values do, until its sub-keys are first needed. Deeper, more of a file's
// keys would be made that nobody asks about; shallower, the first question below a key such
// as Software\Classes would make most of the file's keys at once.
constexpr std::size_t kKeysWaitBelowDepth = 3;

enum class HexStep { Done, More, Bad };

class Loader {
public:
    // Loads a file's keys, telling the registry where each key's value lines lie in source.
    Loader(MemoryRegistry& registry, std::uint32_t source, const std::string& file,
           RegFileFormat format, Encoding encoding, Hive defaultHive)
        : registry_(&registry), file_(file), wine_(format == RegFileFormat::Wine),
          unicode_(format == RegFileFormat::Regedit5),
          unitBytes_(encoding == Encoding::Utf16le ? 2 : 1), hive_(defaultHive), source_(source) {}
    // Makes the keys below root that a run of Wine key lines names.
    Loader(KeyStorage& storage, KeyNode& root, const KeyRun& run, const std::string& file)
        : storage_(&storage), file_(file), wine_(true), unicode_(false), unitBytes_(1),
          hive_(static_cast<Hive>(run.hive)), line_(run.line - 1), rawHive_(hive_),
          rootPrefix_(run.prefix), source_(run.source) {
        rawNodes_.emplace_back(run.prefix, &root);
    }
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
    template <class Text> std::size_t feed(const Text& t, bool atEnd);

    // Whether the text fed last stopped after a line feed out of step: the text goes on a byte
    // after what feed used.
    bool steppedBack() const { return shifted_; }

    // After the whole file: the last key's lines run to its end.
    void finish();
    // After one key's value lines.
    void finishValues(bool atFileEnd);

    void report(std::uint64_t line, std::string message);

    std::uint64_t line() const { return line_; }
    std::uint64_t textEnd() const { return textEnd_; }

private:
    // Below: the key line names a key below one whose sub-keys wait.
    enum class KeyState { None, Open, Skipped, Below };

    // While loading, the lines of an open key are passed over, and those of a key below one
    // whose sub-keys wait.
    bool passingOver() const {
        return !writer_ && (keyState_ == KeyState::Open || keyState_ == KeyState::Below);
    }
    std::uint64_t offsetOf(std::size_t unit) const { return base_ + unitBytes_ * unit; }
    void endValueLines(std::uint64_t end);

    // The line structure. As members shared across the parsers' files these can't be seen to
    // be called from one place only, which would get them inlined: what every line passes through
    // is inlined by request instead.
    template <class Text> void outOfStep(const Text& t, std::size_t b, std::size_t e);
    template <class Text>
    [[gnu::always_inline]] inline void processLine(const Text& t, std::size_t b, std::size_t e);
    void openKey(Hive hive);
    MemoryRegistry::Node* childOf(MemoryRegistry::Node* parent, const Units& name);

    // regedit's key lines.
    template <class Text> void regeditKeyLine(const Text& t, std::size_t p, std::size_t e);

    // Wine's key lines and comments.
    template <class Text> void wineKeyLine(const Text& t, std::size_t p, std::size_t e);
    bool openWineKeyQuickly(const Text8& t, std::size_t p, std::size_t e);
    bool openWineKeyQuickly(const Text16&, std::size_t, std::size_t) { return false; }
    bool belowWaitingKey(const Text8& t, std::size_t p, std::size_t e);
    bool belowWaitingKey(const Text16&, std::size_t, std::size_t) { return false; }
    bool outsideRoot(const Text8& t, std::size_t p, std::size_t e);
    bool outsideRoot(const Text16&, std::size_t, std::size_t) { return false; }
    void startWaiting();
    void endWaiting(std::uint64_t end);
    template <class Text> void wineComment(const Text& t, std::size_t p, std::size_t e);

    // Value lines and their data.
    template <class Text> void valueLine(const Text& t, std::size_t p, std::size_t e);
    template <class Text>
    void stringValue(const Text& t, std::size_t p, std::size_t e, std::uint32_t type);
    template <class Text> void dwordValue(const Text& t, std::size_t p, std::size_t e);
    template <class Text>
    void hexValue(const Text& t, std::size_t p, std::size_t e, std::uint32_t type);
    template <class Text> void continueHex(const Text& t, std::size_t p, std::size_t e);
    // Inlined into continueHex, its one caller, for the same reason.
    template <class Text>
    [[gnu::always_inline]] inline HexStep hexRun(const Text& t, std::size_t p, std::size_t e,
                                                 std::vector<std::uint8_t>& out);
    void commitHex();
    void dropPending();
    static void terminateUtf16(std::vector<std::uint8_t>& data);
    template <class Text>
    std::size_t parseString(const Text& t, std::size_t p, std::size_t e, unsigned closer,
                            Decoded& out);
    static char16_t wineEscape(unsigned c);
    bool keyUsable(std::uint64_t line);
    bool storable(const Decoded& name, std::uint64_t line);
    void storeBytes(const Decoded& name, std::uint32_t type, const std::uint8_t* data,
                    std::size_t size, std::uint64_t line);
    void storeText(const Decoded& name, std::uint32_t type, const Decoded& text,
                   std::uint64_t line);

    // Every parser's.
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

    MemoryRegistry* registry_ = nullptr; // while loading
    KeyStorage* storage_ = nullptr;      // while making the keys below one key
    ValueWriter* writer_ = nullptr;      // while reading a key's values
    const std::string& file_;
    const bool wine_;
    const bool unicode_; // regedit 5: string data given as hex is UTF-16
    const unsigned unitBytes_;
    Hive hive_; // where a Wine file's keys go
    std::uint64_t line_ = 0;
    std::size_t lineStart_ = 0; // of the line being read, in the text being fed
    bool badUtf8_ = false;
    bool shifted_ = false;

    KeyState keyState_ = KeyState::None;
    MemoryRegistry::Node* key_ = nullptr; // while keyState_ is Open
    Decoded keyPath_;
    // The path of the last key line opened the quick way, as its bytes stand in the file, and
    // where each of its components ends with the key it leads to.
    Hive rawHive_ = Hive::LocalMachine;
    std::string rawPath_;
    std::vector<std::pair<std::size_t, MemoryRegistry::Node*>> rawNodes_;
    // The components of the line being opened: where they lie in it and, decoded, in keyPath_.
    struct RawPart {
        std::size_t begin, end;
        bool escaped;
        std::pair<std::size_t, std::size_t> units{};
    };
    std::vector<RawPart> rawParts_;
    // While making the keys below one key: how many bytes of its path every key line starts
    // with, and those of the first line, which the others must repeat.
    std::size_t rootPrefix_ = 0;
    std::string rootPath_;
    // While loading, the key whose sub-keys wait, as its key line spelt its path, and where
    // the run of key lines below it began (when one has).
    MemoryRegistry::Node* waiting_ = nullptr;
    Hive waitingHive_ = Hive::LocalMachine;
    std::string waitingPath_;
    bool waitingRun_ = false;
    std::uint64_t waitingFrom_ = 0;
    std::uint64_t waitingLine_ = 0;
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

} // namespace tavlo::platform::portable::reg_load
