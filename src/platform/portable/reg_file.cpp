// Registry files loaded, and a key's value lines read from them again when first needed.
#include "platform/portable/reg_file.h"

#include "platform/portable/reg_file_feed.h"
#include "platform/portable/reg_file_loader.h"
#include "platform/portable/reg_file_open.h"

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

using namespace reg_load;

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
        if (const int error = feedAgain(loader, offset, length)) {
            loader.report(firstLine, "the file can't be read again (" + reasonOf(error) +
                                         "): this key's values are missing");
        }
        loader.finishValues(offset + length >= textEnd_);
    }

    void readKeys(KeyStorage& storage, KeyNode& root, const KeyRun& run) override {
        Loader loader(storage, root, run, name_);
        if (const int error = feedAgain(loader, run.offset, run.length)) {
            loader.report(run.line, "the file can't be read again (" + reasonOf(error) +
                                        "): this key and the keys after it below the same key "
                                        "are missing");
        }
        loader.finish();
    }

private:
    static constexpr std::size_t kNearBlock = std::size_t{64} << 10;

    // Feeds the loader the bytes [offset, offset + length) again. Returns 0, or the errno of what
    // failed.
    int feedAgain(Loader& loader, std::uint64_t offset, std::uint64_t length) {
        if (file_)
            return readLines(loader, offset, length);
        feedBytes(loader, encoding_, text_.data() + offset, static_cast<std::size_t>(length),
                  offset, true);
        return 0;
    }

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
