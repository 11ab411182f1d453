// The file search on trees that lead back into themselves, as a Wine prefix's drives do (Z: is
// the whole Unix tree, /proc/self and home folders that link into the prefix included): links to
// a folder itself, to each other, to an ancestor, fans of links that join again, a way back
// through /proc, and random trees with links. Every search ends within the listings its tree
// allows, found or not; where the links make no cycle it finds what the plain depth-first walk
// finds. On Linux the test makes the trees below drive T: of a prefix of its own, and reaches them
// through a Z: drive too. On Windows the host makes them first (make_link_trees.sh) and the DLL
// walks them through Wine's Z: drive, following the links as Wine follows them.
#include "link_trees.h"
#include "stand_ins.h"

#include "frame/state.h"
#include "help/help_search.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <memory>

namespace tavlo::test {
namespace {

namespace fs = std::filesystem;
namespace status = platform::status;
using links::Model;
using links::Tree;

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

struct Outcome {
    std::u16string found; // "untouched" when nothing was
    std::size_t listings;
};

Outcome searchCounted(const platform::Services& base, platform::FileService& files,
                      const std::u16string& start, const std::u16string& sought) {
    platform::Services services = base;
    services.files = &files;
    frame::ScopedState scope(services);
    char16_t buffer[300] = {};
    const bool found = help::FindFilePath(start.c_str(), sought.c_str(), buffer, std::size(buffer));
    return {found ? buffer : u"untouched", 0};
}

Outcome search(const std::u16string& start, const std::u16string& sought, std::size_t limit) {
    CountedFiles files(limit);
    Outcome outcome = searchCounted(platform::defaultServices(), files, start, sought);
    outcome.listings = files.listings;
    return outcome;
}

// d0 holds two links to d1, d1 two to d2, and so on: no cycle, but 2^levels paths to the last.
std::vector<std::string> fan(int levels) {
    std::vector<std::string> entries;
    for (int i = 0; i < levels; ++i) {
        const std::string from = "d" + std::to_string(i), to = "../d" + std::to_string(i + 1);
        entries.push_back(from + "/a>" + to);
        entries.push_back(from + "/b>" + to);
    }
    entries.push_back("d" + std::to_string(levels) + "/");
    entries.push_back("d0/z/found.txt");
    return entries;
}

// A tree, the folder below it the search starts from, the name sought and where it is found
// below the tree (empty: nowhere), whatever order the file system lists the entries in.
struct Case {
    Tree tree;
    std::string start;
    std::u16string sought;
    std::string found;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> rows = {
        {{"self", {"loop/a>.", "loop/b>.", "loop/z.txt"}}, "loop", u"Z.TXT", "loop/Z.TXT"},
        {{"self-none", {"loop/a>.", "loop/b>."}}, "loop", u"nothere.txt", ""},
        {{"mutual", {"p/q>../q", "p/r>../q", "q/p>../p", "q/s>../p", "o/found.txt"}},
         "",
         u"found.txt",
         "o/found.txt"},
        {{"mutual-none", {"p/q>../q", "p/r>../q", "q/p>../p", "q/s>../p"}}, "", u"none.txt", ""},
        {{"ancestor",
          {"1/2/3/4/root>../../../..", "1/2/3/4/one>../../..", "1/2/3/4/two>../..", "5/found.txt"}},
         "",
         u"found.txt",
         "5/found.txt"},
        {{"fan", fan(24)}, "d0", u"found.txt", "d0/z/found.txt"},
        {{"fan-none", fan(24)}, "d0", u"none.txt", ""},
        {{"proc", {"s/back>/proc/self/root@/proc/s", "s/top>/proc/self/root@/proc", "o/found.txt"}},
         "",
         u"found.txt",
         "o/found.txt"},
    };
    return rows;
}

constexpr std::uint64_t kRandomTrees = 300;

std::vector<Tree> allTrees() {
    std::vector<Tree> trees;
    for (const Case& row : cases())
        trees.push_back(row.tree);
    for (std::uint64_t seed = 1; seed <= kRandomTrees; ++seed)
        trees.push_back(links::randomTree(seed));
    return trees;
}

// Where the trees are: the folder holding them as the library is given it (one way or more) and
// as the test reaches it.
struct Place {
    std::vector<std::u16string> starts;
    fs::path real;
};

std::u16string backslashed(std::u16string path) {
    std::replace(path.begin(), path.end(), u'/', u'\\');
    return path;
}

// The folder holds an entry of that name, whatever its case.
bool holds(const fs::path& folder, const std::u16string& name) {
    const auto lower = [](std::u16string text) {
        for (char16_t& c : text)
            c = c >= u'A' && c <= u'Z' ? c + 32 : c;
        return text;
    };
    for (const std::string& listed : links::listNames(folder))
        if (lower(fs::path(listed).u16string()) == lower(name))
            return true;
    return false;
}

class LinkTrees : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
#ifdef _WIN32
        const char* made = std::getenv("TAVLO_LINK_TREES");
        if (!made)
            return;
        const std::u16string root = u"Z:" + backslashed(fs::path(made).u16string());
        place_ = std::make_unique<Place>(Place{{root}, fs::path(root)});
#else
        scratch_ = std::make_unique<ScratchDir>();
        // Z: is the whole Unix tree, as in every Wine prefix.
        fs::create_directory_symlink("/", scratch_->prefix() / "dosdevices" / "z:");
        links::make(scratch_->real(), allTrees());
        place_ = std::make_unique<Place>(
            Place{{scratch_->path(), u"Z:" + backslashed(scratch_->real().u16string())},
                  scratch_->real()});
#endif
    }
    static void TearDownTestSuite() {
        place_.reset();
        scratch_.reset();
    }
    void SetUp() override {
        if (!place_)
            GTEST_SKIP() << "the linked trees are made by ctest's hostile_link_trees step";
    }

    // Searches tree from below for sought, within the listings its model allows. The result is
    // the one expected (below the tree) when given; else, on a tree without cycles, the plain
    // walk's (which a fan of links would keep busy for minutes).
    static void check(const Tree& tree, const std::string& below, const std::u16string& sought,
                      const std::optional<std::string>& expected = std::nullopt) {
        const Model model(place_->real, tree);
        for (const std::u16string& base : place_->starts) {
            const std::u16string root = base + u"\\" + backslashed(fs::path(tree.name).u16string());
            const std::u16string start =
                below.empty() ? root : root + u"\\" + backslashed(fs::path(below).u16string());
            const Model::Reach reach = model.reach(start, below, sought);
            const Outcome outcome = search(start, sought, reach.bound);
            const std::string where = tree.name + " from " + narrow(base);
            EXPECT_LE(outcome.listings, reach.bound) << where;
            if (expected) {
                EXPECT_EQ(outcome.found,
                          expected->empty()
                              ? u"untouched"
                              : root + u"\\" + backslashed(fs::path(*expected).u16string()))
                    << where;
            }
            if (!model.cyclic() && !expected) {
                EXPECT_EQ(outcome.found,
                          model.firstMatch(start, below, sought).value_or(u"untouched"))
                    << where;
            } else {
                // A cycle changes which match comes first, never whether there is one.
                EXPECT_EQ(outcome.found != u"untouched", reach.match) << where;
                if (outcome.found != u"untouched") {
                    std::u16string rest = outcome.found.substr(base.size() + 1);
                    std::replace(rest.begin(), rest.end(), u'\\', u'/');
                    EXPECT_TRUE(
                        holds(place_->real / fs::path(rest).make_preferred().parent_path(), sought))
                        << where << ": " << narrow(outcome.found);
                }
            }
        }
    }

    static inline std::unique_ptr<ScratchDir> scratch_;
    static inline std::unique_ptr<Place> place_;
};

TEST_F(LinkTrees, LoopsAndFansEndWithTheMatchOutsideThem) {
    for (const Case& row : cases())
        check(row.tree, row.start, row.sought, row.found);
}

TEST_F(LinkTrees, RandomTreesEndAndAgreeWithThePlainWalk) {
    for (std::uint64_t seed = 1; seed <= kRandomTrees; ++seed) {
        const Tree tree = links::randomTree(seed);
        for (const char16_t* sought : {u"t.txt", u"T.TXT", u"missing.txt"})
            check(tree, "", sought);
    }
}

// Prints the trees for the host to make (make_link_trees.sh), when asked to.
TEST(LinkTreesPlan, Printed) {
    if (!std::getenv("TAVLO_PRINT_LINK_TREES"))
        return;
    for (const Tree& tree : allTrees()) {
        std::cout << "link-tree " << tree.name << "/\n"; // a tree may hold nothing
        for (const std::string& entry : tree.entries)
            std::cout << "link-tree " << tree.name << "/" << entry << "\n";
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
        bool& done = *static_cast<bool*>(handle);
        entry = {u"b", platform::attr::directory};
        return !std::exchange(done, true);
    }
    void closeDirectory(void* handle) override { delete static_cast<bool*>(handle); }
    bool exists(const char16_t*) override { return false; }
};

TEST(FileSearchWithoutIdentities, EndsOnAnEndlessTree) {
    EndlessFiles files;
    EXPECT_EQ(searchCounted(platform::defaultServices(), files, u"C:\\E", u"x.txt").found,
              u"untouched");
    EXPECT_LE(files.listings, std::size_t{1} << 17);
}

} // namespace
} // namespace tavlo::test
