#include "link_trees.h"

#include <algorithm>
#include <deque>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <utility>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace tavlo::test::links {

namespace fs = std::filesystem;

namespace {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::size_t below(std::size_t n) {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<std::size_t>((z ^ (z >> 31)) % n);
    }

private:
    std::uint64_t state_;
};

std::vector<std::string> split(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at < path.size()) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        if (end > at)
            parts.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return parts;
}

std::string join(const std::vector<std::string>& parts, std::size_t from = 0) {
    std::string path;
    for (std::size_t i = from; i < parts.size(); ++i)
        path += (path.empty() ? "" : "/") + parts[i];
    return path;
}

std::string parentOf(const std::string& path) {
    const std::size_t cut = path.rfind('/');
    return cut == std::string::npos ? "" : path.substr(0, cut);
}

std::string relative(const std::string& from, const std::string& to) {
    const std::vector<std::string> a = split(from), b = split(to);
    std::size_t common = 0;
    while (common < a.size() && common < b.size() && a[common] == b[common])
        ++common;
    std::string path;
    for (std::size_t i = common; i < a.size(); ++i)
        path += "../";
    path += join(b, common);
    if (path.empty())
        return ".";
    return path.back() == '/' ? path.substr(0, path.size() - 1) : path;
}

std::u16string wide(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

bool sameName(const std::string& name, const std::u16string& sought) {
    return name.size() == sought.size() &&
           std::equal(name.begin(), name.end(), sought.begin(), [](char a, char16_t b) {
               const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; };
               return lower(static_cast<char16_t>(a)) == lower(b);
           });
}

// Entries a search neither matches nor enters: dot-names are hidden on both builds.
bool hidden(const std::string& name) {
    return name[0] == '.';
}

// The folder below the tree that a link in folder reaches: a relative target from there, an
// absolute one ("...@/<tree>/<path>") from the tree's own folder.
std::string resolve(const std::string& folder, const std::string& target) {
    const std::size_t at = target.find('@');
    std::vector<std::string> parts =
        at == std::string::npos ? split(folder) : std::vector<std::string>{};
    std::vector<std::string> steps =
        split(at == std::string::npos ? target : target.substr(at + 1));
    if (at != std::string::npos)
        steps.erase(steps.begin()); // the tree's own name
    for (const std::string& step : steps) {
        if (step == "..")
            parts.pop_back();
        else if (step != ".")
            parts.push_back(step);
    }
    return join(parts);
}

} // namespace

std::vector<std::string> listNames(const fs::path& folder) {
    std::vector<std::string> names;
#ifdef _WIN32
    // The runtime's directory listing gives up on paths past 260 units (and lists the current
    // directory instead); the trees go deeper than that, though the search doesn't.
    WIN32_FIND_DATAW data;
    std::wstring pattern = L"\\\\?\\" + folder.wstring();
    while (pattern.back() == L'\\')
        pattern.pop_back(); // such a path is taken as written, an empty component included
    pattern += L"\\*";
    const HANDLE find = FindFirstFileW(pattern.c_str(), &data);
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

Tree randomTree(std::uint64_t seed) {
    Random random(seed);
    static const char* const kFolders[] = {"a", "b",  "cc",
                                           "d", ".h", "folder-with-a-long-name-0123456789"};
    static const char* const kFiles[] = {"t.txt", "u.txt", ".t.txt"};
    static const char* const kLinks[] = {"l", "m", "t.txt", "link-with-a-long-name-0123456789"};
    // Every other tree has a long name, so that paths below it run into the length limit.
    Tree tree{"random-" + std::to_string(seed) + std::string(seed % 2 ? 140 : 0, 'p'), {}};
    std::vector<std::string> folders{""};
    std::map<std::string, std::set<std::string>> taken;
    const auto name = [&](const std::string& folder, const char* const* pool,
                          std::size_t n) -> std::optional<std::string> {
        const std::string candidate = pool[random.below(n)];
        if (!taken[folder].insert(candidate).second)
            return std::nullopt;
        return candidate;
    };
    const auto below = [](const std::string& folder, const std::string& entry) {
        return folder.empty() ? entry : folder + "/" + entry;
    };
    for (std::size_t n = 1 + random.below(8); folders.size() < n;) {
        const std::string parent = folders[random.below(folders.size())];
        if (const auto folder = name(parent, kFolders, std::size(kFolders))) {
            folders.push_back(below(parent, *folder));
            tree.entries.push_back(folders.back() + "/");
        }
    }
    for (const std::string& folder : std::vector<std::string>(folders))
        for (std::size_t n = random.below(3); n > 0; --n)
            if (const auto file = name(folder, kFiles, std::size(kFiles)))
                tree.entries.push_back(below(folder, *file));
    for (std::size_t n = random.below(6); n > 0; --n) {
        const std::string& folder = folders[random.below(folders.size())];
        const std::string& target = folders[random.below(folders.size())];
        if (const auto link = name(folder, kLinks, std::size(kLinks)))
            tree.entries.push_back(below(folder, *link) + ">" + relative(folder, target));
    }
    return tree;
}

void make(const fs::path& root, const std::vector<Tree>& trees) {
    for (const Tree& tree : trees) {
        fs::create_directories(root / tree.name);
        for (const std::string& entry : tree.entries) {
            const std::size_t arrow = entry.find('>');
            const fs::path path = root / tree.name / entry.substr(0, arrow);
            fs::create_directories(entry.back() == '/' ? path : path.parent_path());
            if (arrow != std::string::npos) {
                std::string target = entry.substr(arrow + 1);
                if (const std::size_t at = target.find('@'); at != std::string::npos)
                    target.replace(at, 1, root.generic_string());
                fs::create_directory_symlink(target, path);
            } else if (entry.back() != '/') {
                std::ofstream(path) << "x";
            }
        }
    }
}

Model::Model(const fs::path& root, const Tree& tree) {
    folders_.push_back({"", {}});
    std::map<std::string, std::size_t> index{{"", 0}};
    const auto folder = [&](const std::string& path) {
        std::vector<std::string> chain;
        for (std::string at = path; !at.empty() && !index.count(at); at = parentOf(at))
            chain.push_back(at);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            index[*it] = folders_.size();
            folders_.push_back({*it, {}});
        }
        return index.at(path);
    };
    for (const std::string& entry : tree.entries) {
        const std::string path = entry.substr(0, std::min(entry.find('>'), entry.size()));
        folder(entry.back() == '/' ? path.substr(0, path.size() - 1) : parentOf(path));
    }
    // Every name each folder holds, with what it is, then in the order the folder lists them.
    std::vector<std::map<std::string, Item>> held(folders_.size());
    for (std::size_t i = 1; i < folders_.size(); ++i) {
        const std::string& path = folders_[i].path;
        const std::size_t cut = path.rfind('/');
        const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
        held[index.at(parentOf(path))][name] = {name, i, false};
    }
    for (const std::string& entry : tree.entries) {
        if (entry.back() == '/')
            continue;
        const std::size_t arrow = entry.find('>');
        const std::string path = entry.substr(0, std::min(arrow, entry.size()));
        const std::string name = path.substr(path.rfind('/') + 1);
        auto& item = held[index.at(parentOf(path))][name];
        item.name = name;
        item.file = arrow == std::string::npos;
        if (!item.file)
            item.folder = folderAt(resolve(parentOf(path), entry.substr(arrow + 1)));
    }
    for (std::size_t i = 0; i < folders_.size(); ++i) {
        const fs::path where = root / tree.name / fs::path(folders_[i].path).make_preferred();
        for (const std::string& name : listNames(where)) {
            if (const auto it = held[i].find(name); it != held[i].end())
                folders_[i].items.push_back(it->second);
        }
        if (folders_[i].items.size() != held[i].size())
            throw std::runtime_error(tree.name + "/" + folders_[i].path + " lists other entries");
    }
}

std::size_t Model::folderAt(const std::string& path) const {
    for (std::size_t i = 0; i < folders_.size(); ++i)
        if (folders_[i].path == path)
            return i;
    throw std::runtime_error("no folder " + path);
}

bool Model::cyclic() const {
    enum { Unseen, Open, Done };
    std::vector<int> state(folders_.size(), Unseen);
    const auto visit = [&](const auto& self, std::size_t folder) -> bool {
        state[folder] = Open;
        for (const Item& item : folders_[folder].items) {
            if (item.file || hidden(item.name))
                continue;
            if (state[item.folder] == Open ||
                (state[item.folder] == Unseen && self(self, item.folder)))
                return true;
        }
        state[folder] = Done;
        return false;
    };
    for (std::size_t i = 0; i < folders_.size(); ++i)
        if (state[i] == Unseen && visit(visit, i))
            return true;
    return false;
}

std::optional<std::u16string> Model::walk(std::size_t folder, const std::u16string& path,
                                          const std::u16string& sought) const {
    for (const Item& item : folders_[folder].items) {
        if (hidden(item.name))
            continue;
        if (sameName(item.name, sought))
            return path + u"\\" + sought;
        if (item.file || path.size() + 1 + item.name.size() + 2 >= 260)
            continue;
        if (auto found = walk(item.folder, path + u"\\" + wide(item.name), sought))
            return found;
    }
    return std::nullopt;
}

std::optional<std::u16string> Model::firstMatch(const std::u16string& start,
                                                const std::string& below,
                                                const std::u16string& sought) const {
    return walk(folderAt(below), start, sought);
}

Model::Reach Model::reach(const std::u16string& start, const std::string& below,
                          const std::u16string& sought) const {
    Reach reach;
    std::set<std::pair<std::size_t, std::size_t>> seen{{folderAt(below), start.size()}};
    std::deque<std::pair<std::size_t, std::size_t>> queue(seen.begin(), seen.end());
    for (; !queue.empty(); queue.pop_front()) {
        const auto [folder, length] = queue.front();
        for (const Item& item : folders_[folder].items) {
            if (hidden(item.name))
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

} // namespace tavlo::test::links
