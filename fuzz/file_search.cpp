// The file search over a tree the bytes describe, held in memory: up to 16 folders, each below an
// earlier one, with files and links to any folder (itself and its ancestors included) under
// names of 1 to 64 units, and a start path of 3 to 226 units. The search must end within one
// listing per subfolder of each folder at each path length that folder can be reached at, and
// where the links make no cycle it must find what a plain depth-first walk finds.
#include "frame/state.h"
#include "fuzz_input.h"
#include "help/help_search.h"
#include "platform/portable/text_service.h"

#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

using tavlo::fuzz::require;
namespace platform = tavlo::platform;

namespace {

struct Item {
    std::u16string name;
    std::size_t folder = 0; // what a folder or link leads to
    bool file = false;
    bool hidden = false;
};

using Folders = std::vector<std::vector<Item>>;

// Lists the folders by their place in the tree; a folder's identity is its number, whichever
// link led to it.
class TreeFiles final : public platform::FileService {
public:
    explicit TreeFiles(const Folders& folders) : folders_(folders) {}
    std::size_t listings = 0;

    platform::Status openDirectory(const char16_t*, void** handle,
                                   platform::DirEntry& first) override {
        return list(0, handle, first);
    }
    platform::Status openSubdirectory(void* parent, std::u16string_view name, const char16_t*,
                                      void** handle, platform::DirEntry& first) override {
        require(parent != nullptr);
        const auto* above = static_cast<Listing*>(parent);
        for (const Item& item : folders_[above->folder])
            if (!item.file && item.name == name)
                return list(item.folder, handle, first);
        return platform::status::path_not_found;
    }
    bool nextEntry(void* handle, platform::DirEntry& entry) override {
        auto* listing = static_cast<Listing*>(handle);
        if (listing->next >= folders_[listing->folder].size())
            return false;
        take(folders_[listing->folder][listing->next++], entry);
        return true;
    }
    void closeDirectory(void* handle) override { delete static_cast<Listing*>(handle); }
    bool identify(void* handle, platform::DirIdentity& identity) override {
        identity = {0, static_cast<Listing*>(handle)->folder, 0};
        return true;
    }
    bool exists(const char16_t*) override { return false; }

private:
    struct Listing {
        std::size_t folder;
        std::size_t next = 1;
    };
    static void take(const Item& item, platform::DirEntry& entry) {
        entry.name = item.name;
        entry.attributes = (item.file ? platform::attr::normal : platform::attr::directory) |
                           (item.hidden ? platform::attr::hidden : 0);
    }
    platform::Status list(std::size_t folder, void** handle, platform::DirEntry& first) {
        ++listings;
        if (folders_[folder].empty())
            return platform::status::file_not_found;
        take(folders_[folder][0], first);
        *handle = new Listing{folder};
        return platform::status::success;
    }
    const Folders& folders_;
};

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t next(std::size_t n) { return at_ < size_ ? data_[at_++] % n : 0; }
    bool left() const { return at_ < size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_, at_ = 0;
};

bool fits(std::size_t length, const Item& item) {
    return length + 1 + item.name.size() + 2 < 260;
}

std::optional<std::u16string> walk(const Folders& folders, std::size_t folder,
                                   const std::u16string& path) {
    for (const Item& item : folders[folder]) {
        if (item.hidden)
            continue;
        if (item.name == u"x")
            return path + u"\\X";
        if (!item.file && fits(path.size(), item))
            if (auto found = walk(folders, item.folder, path + u"\\" + item.name))
                return found;
    }
    return std::nullopt;
}

// How many folders a walk that follows every link visits, up to cap.
std::size_t visits(const Folders& folders, std::size_t folder, std::size_t cap) {
    std::size_t count = 1;
    for (const Item& item : folders[folder])
        if (!item.file && !item.hidden && count < cap)
            count += visits(folders, item.folder, cap - count);
    return count;
}

bool cyclic(const Folders& folders, std::size_t folder, std::vector<int>& state) {
    state[folder] = 1;
    for (const Item& item : folders[folder])
        if (!item.file && !item.hidden &&
            (state[item.folder] == 1 ||
             (state[item.folder] == 0 && cyclic(folders, item.folder, state))))
            return true;
    state[folder] = 2;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    Bytes bytes(data, size);
    const std::u16string start = u"C:\\" + std::u16string(bytes.next(224), u's');
    Folders folders(1 + bytes.next(16));
    for (std::size_t i = 1; i < folders.size(); ++i)
        folders[bytes.next(i)].push_back({u"", i, false, false});
    for (std::size_t items = 0; bytes.left() && items < 256; ++items) {
        const std::size_t kind = bytes.next(3);
        Item item{u"", bytes.next(folders.size()), kind == 0, bytes.next(8) == 0};
        folders[bytes.next(folders.size())].push_back(item);
    }
    // Names: one letter each, "x" the one sought, made longer by the bytes left over.
    std::size_t serial = 0;
    for (auto& items : folders) {
        for (Item& item : items) {
            item.name = std::u16string(1, static_cast<char16_t>(u'a' + serial++ % 24));
            item.name += std::u16string(data[serial % size] % 64, u'n');
            if (data[(serial * 7) % size] % 5 == 0)
                item.name = u"x";
        }
    }

    static platform::portable::PortableText text;
    TreeFiles files(folders);
    platform::Services services;
    services.text = &text;
    services.files = &files;
    tavlo::frame::ScopedState scope(services);
    char16_t out[300];
    const bool found = tavlo::help::FindFilePath(start.c_str(), u"X", out, 300);

    // Each folder is searched at most once per length it can be reached at.
    std::size_t bound = 1;
    bool reachable = false;
    std::set<std::pair<std::size_t, std::size_t>> seen{{0, start.size()}};
    std::deque<std::pair<std::size_t, std::size_t>> queue(seen.begin(), seen.end());
    for (; !queue.empty(); queue.pop_front()) {
        const auto [folder, length] = queue.front();
        for (const Item& item : folders[folder]) {
            if (item.hidden)
                continue;
            reachable |= item.name == u"x";
            if (item.file || item.name == u"x")
                continue;
            ++bound;
            const std::size_t next = length + 1 + item.name.size();
            if (fits(length, item) && seen.insert({item.folder, next}).second)
                queue.emplace_back(item.folder, next);
        }
    }
    require(files.listings <= bound);
    require(found == reachable);
    // Without cycles, the plain walk's first match, where that walk is short enough to take.
    std::vector<int> state(folders.size(), 0);
    if (!cyclic(folders, 0, state) && visits(folders, 0, 100000) < 100000) {
        const auto expected = walk(folders, 0, start);
        require(found == expected.has_value());
        require(!found || std::u16string(out) == *expected);
    }
    return 0;
}
