// Folder trees with links in them, described as text so that the test can make them itself on
// Linux and the host can make them for the Windows build, whose Wine can't make a Unix link but
// follows the ones it finds. Each tree also has a model of its own, independent of the library:
// which folder each link reaches, a plain depth-first walk of it, and what a search can reach.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tavlo::test::links {

// One tree in its own folder. Entries are '/'-separated below it: "a/b/" a folder, "a/f" an
// empty file, "a/l>target" a link to target as `ln -s` takes it. In a target '@' stands for the
// folder holding every tree, so an absolute target can lead back in ("/proc/self/root@/t").
struct Tree {
    std::string name;
    std::vector<std::string> entries;
};

// Trees of a few folders, files (some of them hidden) and links to random folders, ancestors
// and the folder itself among them; the same seed gives the same tree.
Tree randomTree(std::uint64_t seed);

// The names a folder lists, "." and ".." left out, in the file system's order.
std::vector<std::string> listNames(const std::filesystem::path& folder);

// Makes the entries of trees below root (which exists).
void make(const std::filesystem::path& root, const std::vector<Tree>& trees);

// What a tree's folders hold, as the file system lists them.
class Model {
public:
    // The tree as made below root (the folder holding every tree).
    Model(const std::filesystem::path& root, const Tree& tree);

    // Whether a folder can be reached below itself through the entries a search follows.
    bool cyclic() const;
    // The first match of a depth-first walk in listing order that follows every link, from the
    // folder at below (no cycles), with the path composed as the library composes it from start.
    std::optional<std::u16string> firstMatch(const std::u16string& start, const std::string& below,
                                             const std::u16string& sought) const;
    struct Reach {
        bool match = false;    // some folder the search can reach holds the name
        std::size_t bound = 1; // the listings a search may ask for
    };
    // What a search from below can reach while "<folder>\*" fits: each folder is searched at
    // most once per length its path can have, and each search lists each of its subfolders.
    Reach reach(const std::u16string& start, const std::string& below,
                const std::u16string& sought) const;

private:
    struct Item {
        std::string name;
        std::size_t folder = 0; // the folder a folder or link leads to
        bool file = false;
    };
    struct Folder {
        std::string path;        // below the tree
        std::vector<Item> items; // in listing order
    };
    std::size_t folderAt(const std::string& path) const;
    std::optional<std::u16string> walk(std::size_t folder, const std::u16string& path,
                                       const std::u16string& sought) const;
    std::vector<Folder> folders_;
};

} // namespace tavlo::test::links
