#include "platform/portable/pe_resources.h"

#include <algorithm>
#include <cstddef>
#include <set>

namespace tavlo::platform::portable {

namespace {

// The resource tree is interpreted at exactly three levels (type, name, language) and each
// directory is read at most once, so an entry pointing back up the tree ends the walk there
// instead of looping. What remains is a file whose directories simply claim huge counts; these
// budgets bound the walk's time and memory whatever the file says, while real string tables
// stay far below them (at most 4096 blocks per language).
constexpr std::size_t maxEntriesVisited = 1u << 18;
constexpr std::size_t maxBlocks = 1u << 14;
// Every read searches the section table; linkers write a few dozen sections at most.
constexpr std::size_t maxSections = 1024;
constexpr std::uint16_t rtString = 6;
constexpr std::uint16_t lastBlockId = 0x1000; // ids up to 0xFFFF, 16 per block

std::uint16_t read16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t read32(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(read16(bytes, at)) |
           static_cast<std::uint32_t>(read16(bytes, at + 2)) << 16;
}

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
};

// The file as the loader would map it, seen only through ranges that are checked against both
// the section they fall in and the end of the file.
class Image {
public:
    explicit Image(std::string_view file) : file_(file) {}

    // length bytes at file offset, or nullopt when any of them lies past the end.
    std::optional<std::string_view> atOffset(std::uint64_t offset, std::uint64_t length) const {
        if (offset > file_.size() || length > file_.size() - offset)
            return std::nullopt;
        return file_.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    }

    // length bytes at an RVA. The range must lie in one section's raw data: what the loader
    // would zero-fill past the raw data is not in the file, and the tables never need it.
    std::optional<std::string_view> atRva(std::uint64_t rva, std::uint64_t length) const {
        // Nearly every read falls in the section of the previous one (.rsrc), so that one is
        // tried first.
        for (std::size_t n = 0; n < sections_.size(); ++n) {
            const std::size_t i = (lastHit_ + n) % sections_.size();
            const Section& section = sections_[i];
            if (rva < section.virtualAddress)
                continue;
            const std::uint64_t into = rva - section.virtualAddress;
            if (into >= section.rawSize || length > section.rawSize - into)
                continue;
            lastHit_ = i;
            return atOffset(std::uint64_t{section.rawOffset} + into, length);
        }
        return std::nullopt;
    }

    // Reads the headers; the RVA of the resource directory, or nullopt when there is none.
    std::optional<std::uint32_t> readHeaders() {
        const auto dos = atOffset(0, 0x40);
        if (!dos || dos->substr(0, 2) != "MZ")
            return std::nullopt;
        const std::uint32_t peOffset = read32(*dos, 0x3C);
        const auto coff = atOffset(peOffset, 24);
        if (!coff || coff->substr(0, 4) != std::string_view("PE\0\0", 4))
            return std::nullopt;
        const std::uint16_t sectionCount = read16(*coff, 6);
        if (sectionCount > maxSections)
            return std::nullopt;
        const std::uint16_t optionalSize = read16(*coff, 20);
        const auto optional = atOffset(std::uint64_t{peOffset} + 24, optionalSize);
        if (!optional || optionalSize < 2)
            return std::nullopt;

        std::size_t countAt = 0; // NumberOfRvaAndSizes; the data directories follow it
        switch (read16(*optional, 0)) {
        case 0x10B: // PE32
            countAt = 92;
            break;
        case 0x20B: // PE32+
            countAt = 108;
            break;
        default:
            return std::nullopt;
        }
        constexpr std::size_t resourceIndex = 2;
        const std::size_t resourceEntry = countAt + 4 + resourceIndex * 8;
        if (optional->size() < resourceEntry + 8 || read32(*optional, countAt) <= resourceIndex)
            return std::nullopt;
        const std::uint32_t resourceRva = read32(*optional, resourceEntry);
        if (resourceRva == 0 || read32(*optional, resourceEntry + 4) == 0)
            return std::nullopt;

        const auto table =
            atOffset(std::uint64_t{peOffset} + 24 + optionalSize, std::uint64_t{sectionCount} * 40);
        if (!table)
            return std::nullopt;
        sections_.reserve(sectionCount);
        for (std::size_t i = 0; i < sectionCount; ++i) {
            Section section;
            section.virtualAddress = read32(*table, i * 40 + 12);
            section.rawSize = read32(*table, i * 40 + 16);
            section.rawOffset = read32(*table, i * 40 + 20);
            sections_.push_back(section);
        }
        return resourceRva;
    }

private:
    std::string_view file_;
    std::vector<Section> sections_;
    mutable std::size_t lastHit_ = 0;
};

struct DirEntryRef {
    std::uint32_t nameOrId = 0;
    std::uint32_t offset = 0;
    bool isNamed() const { return (nameOrId & 0x80000000u) != 0; }
    bool isDirectory() const { return (offset & 0x80000000u) != 0; }
    std::uint32_t target() const { return offset & 0x7FFFFFFFu; }
};

// Reads the 16 length-prefixed strings of a block. A string that runs past the block's data
// ends the block: it and every later string read as empty, like a string that isn't there.
std::vector<std::u16string> decodeBlock(std::string_view data) {
    std::vector<std::u16string> strings(16);
    std::size_t at = 0;
    for (auto& text : strings) {
        if (data.size() - at < 2)
            break;
        const std::size_t length = read16(data, at);
        at += 2;
        if ((data.size() - at) / 2 < length)
            break;
        text.resize(length);
        for (std::size_t i = 0; i < length; ++i)
            text[i] = static_cast<char16_t>(read16(data, at + i * 2));
        at += length * 2;
    }
    return strings;
}

class Walker {
public:
    Walker(const Image& image, std::uint32_t base, std::size_t byteBudget)
        : image_(image), base_(base), byteBudget_(byteBudget) {}

    // The entries of the directory at offset (relative to the tree's start). Stops early, with
    // what it could read, when an entry is out of bounds or the budget is spent.
    std::vector<DirEntryRef> entries(std::uint32_t offset) {
        std::vector<DirEntryRef> result;
        if (!walked_.insert(offset).second)
            return result; // an honest tree never reaches a directory twice
        const auto header = image_.atRva(std::uint64_t{base_} + offset, 16);
        if (!header)
            return result;
        const std::size_t count = std::size_t{read16(*header, 12)} + read16(*header, 14);
        for (std::size_t i = 0; i < count && visited_ < maxEntriesVisited; ++i, ++visited_) {
            const auto raw = image_.atRva(std::uint64_t{base_} + offset + 16 + i * 8, 8);
            if (!raw)
                break;
            result.push_back({read32(*raw, 0), read32(*raw, 4)});
        }
        return result;
    }

    // The data of a leaf (IMAGE_RESOURCE_DATA_ENTRY), whose offset is an RVA, not tree-relative.
    std::optional<std::string_view> leafData(std::uint32_t offset) {
        const auto leaf = image_.atRva(std::uint64_t{base_} + offset, 16);
        if (!leaf)
            return std::nullopt;
        const std::uint32_t size = read32(*leaf, 4);
        if (size > byteBudget_)
            return std::nullopt;
        auto data = image_.atRva(read32(*leaf, 0), size);
        if (data)
            byteBudget_ -= size;
        return data;
    }

private:
    const Image& image_;
    std::uint32_t base_;
    std::size_t visited_ = 0;
    std::set<std::uint32_t> walked_;
    // Blocks whose data overlap would otherwise let a small file decode to a huge table: in an
    // honest file the blocks' data never add up to more than the file.
    std::size_t byteBudget_;
};

} // namespace

bool PeStringTable::parse(std::string_view file) {
    blocks_.clear();
    Image image(file);
    const auto base = image.readHeaders();
    if (!base)
        return false;
    Walker walker(image, *base, file.size());
    std::set<std::uint32_t> seen; // block id and language: the first of duplicates counts

    for (const DirEntryRef& type : walker.entries(0)) {
        if (type.isNamed() || type.nameOrId != rtString || !type.isDirectory())
            continue;
        for (const DirEntryRef& name : walker.entries(type.target())) {
            if (name.isNamed() || !name.isDirectory() || name.nameOrId == 0 ||
                name.nameOrId > lastBlockId)
                continue;
            for (const DirEntryRef& language : walker.entries(name.target())) {
                if (language.isNamed() || language.isDirectory() || language.nameOrId > 0xFFFF)
                    continue;
                if (blocks_.size() >= maxBlocks)
                    return !blocks_.empty();
                const auto blockId = static_cast<std::uint16_t>(name.nameOrId);
                const auto langId = static_cast<std::uint16_t>(language.nameOrId);
                if (!seen.insert(std::uint32_t{blockId} << 16 | langId).second)
                    continue;
                const auto data = walker.leafData(language.target());
                if (!data)
                    continue;
                blocks_.push_back({blockId, langId, decodeBlock(*data)});
            }
        }
    }
    return !blocks_.empty();
}

std::optional<std::u16string> PeStringTable::find(std::uint32_t id, std::uint16_t language) const {
    // LoadStringW looks only at the low word of the id; doing the same keeps both builds'
    // answers equal for any id a caller passes.
    const std::uint16_t low = static_cast<std::uint16_t>(id & 0xFFFF);
    const std::uint16_t blockId = static_cast<std::uint16_t>(low / 16 + 1);
    for (const Block& block : blocks_) {
        if (block.blockId != blockId || (language != 0 && block.language != language))
            continue;
        const std::u16string& text = block.strings[low % 16];
        if (text.empty())
            return std::nullopt;
        return text;
    }
    return std::nullopt;
}

std::optional<std::u16string>
PeStringTable::findPreferred(std::uint32_t id, std::span<const std::uint16_t> languages) const {
    const std::uint16_t low = static_cast<std::uint16_t>(id & 0xFFFF);
    const std::uint16_t blockId = static_cast<std::uint16_t>(low / 16 + 1);
    for (const std::uint16_t language : languages)
        for (const Block& block : blocks_)
            if (block.blockId == blockId && block.language == language) {
                const std::u16string& text = block.strings[low % 16];
                return text.empty() ? std::nullopt : std::optional(text);
            }
    return find(id);
}

std::vector<std::uint16_t> PeStringTable::languages() const {
    std::vector<std::uint16_t> result;
    for (const Block& block : blocks_) {
        if (std::find(result.begin(), result.end(), block.language) == result.end())
            result.push_back(block.language);
    }
    return result;
}

} // namespace tavlo::platform::portable
