// The file search on trees that lead back into themselves, as a Wine prefix's drives do (Z: is the
// whole Unix tree, /proc/self included): links to a folder itself, to each other, to an ancestor,
// fans of links that join again, a way back through /proc, and random trees. Every search ends
// within the listings its tree allows and finds what the plain depth-first walk finds until that
// walk meets a folder below itself. Linux makes the trees below drive T: of its own prefix, also
// reached through Z:; for Windows the host makes them (make_link_trees.sh) and the DLL walks them
// through Wine's Z: drive.
#include "stand_ins.h"

#include "frame/state.h"
#include "help/help_search.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <stdexcept>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace tavlo::test {
namespace {

namespace fs = std::filesystem;
namespace status = platform::status;

// One tree in its own folder. Entries are '/'-separated below it: "a/b/" a folder, "a/f" an
// empty file, "a/l>target" a link to target as `ln -s` takes it. In a target '@' stands for the
// folder holding every tree, so an absolute target can lead back in ("/proc/self/root@/t").
struct Tree {
    std::string name;
    std::vector<std::string> entries;
};

// The names a folder lists, "." and ".." left out, in the file system's order.
std::vector<std::string> listNames(const fs::path& folder) {
    std::vector<std::string> names;
#ifdef _WIN32
    // The runtime's directory listing gives up on paths past 260 units (and lists the current
    // directory instead); the trees go deeper than that, though the search doesn't.
    std::wstring pattern = L"\\\\?\\" + folder.wstring();
    while (pattern.back() == L'\\')
        pattern.pop_back(); // such a path is taken as written, an empty component included
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW((pattern + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        throw std::runtime_error("can't list " + folder.string());
    do {
        const std::string name = fs::path(data.cFileName).string();
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
#else
    for (const auto& listed : fs::directory_iterator(folder))
        names.push_back(listed.path().filename().string());
#endif
    return names;
}

// Names compared as the search compares ASCII ones.
bool sameName(const std::string& name, const std::u16string& sought) {
    const auto lower = [](std::u16string text) {
        for (char16_t& c : text)
            c = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
        return text;
    };
    return lower(fs::path(name).u16string()) == lower(sought);
}

// Trees of a few folders, files (some of them hidden) and links to random folders, ancestors
// and the folder itself among them; the same seed gives the same tree.
Tree randomTree(std::uint64_t seed) {
    std::uint64_t state = seed;
    const auto random = [&](std::size_t n) {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<std::size_t>((z ^ (z >> 31)) % n);
    };
    const std::vector<std::string> kFolders = {"a", "b",  "cc",
                                               "d", ".h", "folder-with-a-long-name-0123456789"},
                                   kFiles = {"t.txt", "u.txt", ".t.txt"},
                                   kLinks = {"l", "m", "t.txt", "link-with-a-long-name-0123456789"};
    // Every other tree has a long name, so that paths below it run into the length limit.
    Tree tree{"random-" + std::to_string(seed) + std::string(seed % 2 ? 140 : 0, 'p'), {}};
    std::vector<std::string> folders{""};
    std::set<std::string> taken;
    // A random name from pool for an entry of folder, unless the folder holds that name already.
    const auto add = [&](const std::string& folder, const std::vector<std::string>& pool) {
        const std::string& name = pool[random(pool.size())];
        const std::string path = folder.empty() ? name : folder + "/" + name;
        return taken.insert(path).second ? std::optional(path) : std::nullopt;
    };
    for (std::size_t n = 1 + random(8); folders.size() < n;)
        if (const auto folder = add(folders[random(folders.size())], kFolders)) {
            folders.push_back(*folder);
            tree.entries.push_back(*folder + "/");
        }
    for (const std::string& folder : std::vector<std::string>(folders))
        for (std::size_t n = random(3); n > 0; --n)
            if (const auto file = add(folder, kFiles))
                tree.entries.push_back(*file);
    for (std::size_t n = random(6); n > 0; --n) {
        const std::string& folder = folders[random(folders.size())];
        const std::string& target = folders[random(folders.size())];
        if (const auto link = add(folder, kLinks))
            tree.entries.push_back(*link + ">" +
                                   fs::path(target).lexically_relative(folder).generic_string());
    }
    return tree;
}

// An entry's path below its tree and, for a link, its target with '@' replaced by root.
std::pair<fs::path, std::optional<std::string>> parse(const std::string& entry,
                                                      const std::string& root) {
    const std::size_t arrow = entry.find('>');
    if (arrow == std::string::npos)
        return {entry, std::nullopt};
    std::string target = entry.substr(arrow + 1);
    if (const std::size_t at = target.find('@'); at != std::string::npos)
        target.replace(at, 1, root);
    return {entry.substr(0, arrow), target};
}

#ifndef _WIN32 // the Windows build walks trees the host made
void make(const fs::path& root, const Tree& tree) {
    fs::create_directories(root / tree.name);
    for (const std::string& entry : tree.entries) {
        const auto [below, target] = parse(entry, root.generic_string());
        const fs::path path = root / tree.name / below;
        fs::create_directories(entry.back() == '/' ? path : path.parent_path());
        if (target)
            fs::create_directory_symlink(*target, path);
        else if (entry.back() != '/')
            std::ofstream(path) << "x";
    }
}
#endif

// What a tree's folders hold as the file system lists them, each folder named by its path below
// the tree, each link by the folder it leads to; a model independent of the library.
class Model {
public:
    Model(const fs::path& root, const Tree& tree) {
        std::map<std::string, std::map<std::string, Item>> held{{"", {}}};
        const auto folder = [&](fs::path path) {
            for (; !path.empty(); path = path.parent_path()) {
                held[path.generic_string()];
                const std::string name = path.filename().string();
                held[path.parent_path().generic_string()][name] = {name, path.generic_string()};
            }
        };
        for (const std::string& entry : tree.entries) {
            const auto [path, target] = parse(entry, "");
            folder(path.parent_path()); // "a/b/" has the parent "a/b"
            if (entry.back() == '/')
                continue;
            Item& item = held[path.parent_path().generic_string()][path.filename().string()];
            item = {path.filename().string(), "", !target};
            if (!target)
                continue;
            // A relative target from the link's folder, an absolute one from the tree's own.
            const std::size_t at = entry.find('@');
            const fs::path reached =
                at == std::string::npos
                    ? path.parent_path() / *target
                    : fs::path(entry.substr(at + 1)).lexically_relative("/" + tree.name);
            item.folder = reached.lexically_normal().generic_string();
            while (!item.folder.empty() && (item.folder.back() == '/' || item.folder == "."))
                item.folder.pop_back();
        }
        for (auto& [path, items] : held) {
            for (const std::string& name :
                 listNames((root / tree.name / fs::path(path)).make_preferred()))
                if (const auto it = items.find(name); it != items.end())
                    folders_[path].push_back(it->second);
            if (folders_[path].size() != items.size())
                throw std::runtime_error(tree.name + "/" + path + " lists other entries");
        }
    }

    // What a depth-first walk in listing order that follows every link finds from folder
    // ("untouched": nothing), the path composed as the library composes it from path; nothing
    // known when the walk meets a folder below itself first. Dot-names are hidden on both builds.
    std::optional<std::u16string> firstMatch(const std::string& folder, const std::u16string& path,
                                             const std::u16string& sought,
                                             std::set<std::string> open = {}) const {
        if (!open.insert(folder).second)
            return std::nullopt;
        for (const Item& item : folders_.at(folder)) {
            if (item.name[0] == '.')
                continue;
            if (sameName(item.name, sought))
                return path + u"\\" + sought;
            if (item.file || path.size() + 1 + item.name.size() + 2 >= 260)
                continue;
            const std::u16string name(item.name.begin(), item.name.end());
            if (auto found = firstMatch(item.folder, path + u"\\" + name, sought, open);
                found != u"untouched")
                return found;
        }
        return u"untouched";
    }

    struct Reach {
        bool match = false;    // some folder the search can reach holds the name
        std::size_t bound = 1; // the listings a search may ask for
    };
    // What a search from below can reach while "<folder>\*" fits: each folder is searched at
    // most once per length its path can have, and each search lists each of its subfolders.
    Reach reach(const std::u16string& start, const std::string& below,
                const std::u16string& sought) const {
        Reach reach;
        std::set<std::pair<std::string, std::size_t>> seen{{below, start.size()}};
        for (std::deque queue(seen.begin(), seen.end()); !queue.empty(); queue.pop_front()) {
            const auto [folder, length] = queue.front();
            for (const Item& item : folders_.at(folder)) {
                if (item.name[0] == '.')
                    continue;
                reach.match |= sameName(item.name, sought);
                if (item.file)
                    continue;
                ++reach.bound;
                const std::size_t next = length + 1 + item.name.size();
                if (next + 2 < 260 && seen.insert({item.folder, next}).second)
                    queue.emplace_back(item.folder, next);
            }
        }
        return reach;
    }

private:
    struct Item {
        std::string name;
        std::string folder; // the folder a folder or link leads to
        bool file = false;
    };
    std::map<std::string, std::vector<Item>> folders_;
};

// The build's own file service, counting the listings asked for and refusing any past a limit:
// a walk that wouldn't end fails the test instead of hanging it.
class CountedFiles final : public platform::FileService {
public:
    explicit CountedFiles(std::size_t limit) : limit_(limit) {}
    std::size_t listings = 0;

    platform::Status openDirectory(const char16_t* directory, void** handle,
                                   platform::DirEntry& first) override {
        return ++listings > limit_ ? status::access_denied
                                   : real_.openDirectory(directory, handle, first);
    }
    platform::Status openSubdirectory(void* parent, std::u16string_view name, const char16_t* path,
                                      void** handle, platform::DirEntry& first) override {
        return ++listings > limit_ ? status::access_denied
                                   : real_.openSubdirectory(parent, name, path, handle, first);
    }
    bool nextEntry(void* handle, platform::DirEntry& entry) override {
        return real_.nextEntry(handle, entry);
    }
    void closeDirectory(void* handle) override { real_.closeDirectory(handle); }
    bool identify(void* handle, platform::DirIdentity& identity) override {
        return real_.identify(handle, identity);
    }
    bool exists(const char16_t* path) override { return real_.exists(path); }

private:
    std::size_t limit_;
    platform::FileService& real_ = *platform::defaultServices().files;
};

// What the search finds through files ("untouched" when nothing).
std::u16string search(platform::FileService& files, const std::u16string& start,
                      const std::u16string& sought) {
    platform::Services services = platform::defaultServices();
    services.files = &files;
    frame::ScopedState scope(services);
    char16_t buffer[300] = {};
    const bool found = help::FindFilePath(start.c_str(), sought.c_str(), buffer, std::size(buffer));
    return found ? buffer : u"untouched";
}

// d0 holds two links to d1, d1 two to d2, and so on: no cycle, but 2^levels paths to the last.
std::vector<std::string> fan(int levels) {
    std::vector<std::string> entries{"d" + std::to_string(levels) + "/", "d0/z/found.txt"};
    for (int i = 0; i < levels; ++i)
        for (const char* link : {"/a>../d", "/b>../d"})
            entries.push_back("d" + std::to_string(i) + link + std::to_string(i + 1));
    return entries;
}

// A tree, the folder below it the searches start from, and the names sought with where each is
// found below the tree (empty: nowhere; none given: where the plain walk finds it).
struct Case {
    Tree tree;
    std::string start;
    std::vector<std::pair<std::u16string, std::optional<std::string>>> found;
};

const std::vector<Case>& cases() {
    // clang-format off
    static const std::vector<Case> rows = [] {
        std::vector<Case> rows = {
            {{"self", {"loop/a>.", "loop/b>.", "loop/z.txt"}}, "loop", {{u"Z.TXT", "loop/Z.TXT"}, {u"nothere.txt", ""}}},
            {{"mutual", {"p/q>../q", "p/r>../q", "q/p>../p", "q/s>../p", "o/found.txt"}}, "", {{u"found.txt", "o/found.txt"}, {u"none.txt", ""}}},
            {{"ancestor", {"1/2/3/4/root>../../../..", "1/2/3/4/one>../../..", "1/2/3/4/two>../..", "5/found.txt"}}, "", {{u"found.txt", "5/found.txt"}}},
            {{"fan", fan(24)}, "d0", {{u"found.txt", "d0/z/found.txt"}, {u"none.txt", ""}}},
            {{"proc", {"s/back>/proc/self/root@/proc/s", "s/top>/proc/self/root@/proc", "o/found.txt"}}, "", {{u"found.txt", "o/found.txt"}}},
        };
        for (std::uint64_t seed = 1; seed <= 300; ++seed)
            rows.push_back({randomTree(seed), "", {{u"t.txt", {}}, {u"T.TXT", {}}, {u"missing.txt", {}}}});
        return rows;
    }();
    // clang-format on
    return rows;
}

std::u16string backslashed(const std::string& path) {
    std::u16string text = fs::path(path).u16string();
    std::replace(text.begin(), text.end(), u'/', u'\\');
    return text;
}

// The trees' folder as the library is given it (on Linux through drive T: of a prefix of the
// test's own and through Z:), and as the test reaches it; none when the host made no trees.
struct TreesFolder {
    std::unique_ptr<ScratchDir> scratch;
    std::vector<std::u16string> starts;
    fs::path real;
    TreesFolder() {
#ifdef _WIN32
        if (const char* made = std::getenv("TAVLO_LINK_TREES"))
            starts = {u"Z:" + backslashed(made)}, real = starts[0];
#else
        scratch = std::make_unique<ScratchDir>();
        // Z: is the whole Unix tree, as in every Wine prefix.
        fs::create_directory_symlink("/", scratch->prefix() / "dosdevices" / "z:");
        for (const Case& row : cases())
            make(scratch->real(), row.tree);
        starts = {scratch->path(), u"Z:" + backslashed(scratch->real().string())};
        real = scratch->real();
#endif
    }
};

// Each search stays within the listings its model allows and finds the name where expected;
// without an expectation, where the plain walk does unless that meets a cycle first (a fan of
// links would keep the plain walk busy for minutes). A cycle changes which match comes first,
// never whether there is one.
TEST(LinkTrees, SearchesEndAndFindWhatTheTreeHolds) {
    const TreesFolder trees;
    if (trees.starts.empty())
        GTEST_SKIP() << "the linked trees are made by ctest's hostile_link_trees step";
    for (const Case& row : cases()) {
        const Model model(trees.real, row.tree);
        for (const auto& [sought, expected] : row.found) {
            for (const std::u16string& base : trees.starts) {
                const std::u16string root = base + u"\\" + backslashed(row.tree.name);
                const std::u16string start =
                    row.start.empty() ? root : root + u"\\" + backslashed(row.start);
                const Model::Reach reach = model.reach(start, row.start, sought);
                CountedFiles files(reach.bound);
                const std::u16string found = search(files, start, sought);
                SCOPED_TRACE(row.tree.name + " from " + narrow(base) + ": " + narrow(sought));
                EXPECT_LE(files.listings, reach.bound);
                EXPECT_EQ(found != u"untouched", reach.match);
                const auto first =
                    expected
                        ? std::optional(expected->empty() ? u"untouched"
                                                          : root + u"\\" + backslashed(*expected))
                        : model.firstMatch(row.start, start, sought);
                EXPECT_EQ(found,
                          first.value_or(found)); // unknown where the plain walk meets a cycle
                if (found == u"untouched")
                    continue;
                std::u16string rest = found.substr(base.size() + 1);
                std::replace(rest.begin(), rest.end(), u'\\', u'/');
                const auto names =
                    listNames(trees.real / fs::path(rest).make_preferred().parent_path());
                EXPECT_TRUE(std::any_of(names.begin(), names.end(), [&](const std::string& name) {
                    return sameName(name, sought);
                })) << narrow(found);
            }
        }
    }
}

// Prints the trees for the host to make (make_link_trees.sh), when asked to.
TEST(LinkTreesPlan, Printed) {
    if (!std::getenv("TAVLO_PRINT_LINK_TREES"))
        return;
    for (const Case& row : cases()) {
        std::cout << "link-tree " << row.tree.name << "/\n"; // a tree may hold nothing
        for (const std::string& entry : row.tree.entries)
            std::cout << "link-tree " << row.tree.name << "/" << entry << "\n";
    }
}

// A file service that can't tell one directory from another, over a tree without end: every
// folder holds two more. The walk still ends, long before the paths run out.
class EndlessFiles final : public platform::FileService {
public:
    std::size_t listings = 0;
    platform::Status openDirectory(const char16_t*, void** handle,
                                   platform::DirEntry& first) override {
        if (++listings > (std::size_t{1} << 18))
            return status::access_denied;
        first = {u"a", platform::attr::directory};
        *handle = new bool(false);
        return status::success;
    }
    bool nextEntry(void* handle, platform::DirEntry& entry) override {
        entry = {u"b", platform::attr::directory};
        return !std::exchange(*static_cast<bool*>(handle), true);
    }
    void closeDirectory(void* handle) override { delete static_cast<bool*>(handle); }
    bool exists(const char16_t*) override { return false; }
};

TEST(FileSearchWithoutIdentities, EndsOnAnEndlessTree) {
    EndlessFiles files;
    EXPECT_EQ(search(files, u"C:\\E", u"x.txt"), u"untouched");
    EXPECT_LE(files.listings, std::size_t{1} << 17);
}

} // namespace
} // namespace tavlo::test
