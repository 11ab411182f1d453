#include "platform/portable/files_posix.h"

#include "platform/portable/casemap.h"
#include "platform/portable/environment_posix.h"
#include "platform/utf.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavlo::platform::portable {

namespace {

bool isSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool isDriveLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool hasDrive(std::u16string_view path) {
    return path.size() >= 2 && isDriveLetter(path[0]) && path[1] == u':';
}

bool equalNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upperUnit(a[i]) != upperUnit(b[i]))
            return false;
    }
    return true;
}

// candidate (UTF-8, as listed) equals a name whose folded form is folded, without regard to case.
// ASCII names, nearly all of them, are compared without being decoded.
bool equalFolded(std::string_view candidate, const std::u16string& folded) {
    if (std::any_of(candidate.begin(), candidate.end(),
                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return foldName(fromUtf8(candidate)) == folded;
    if (candidate.size() != folded.size())
        return false;
    for (std::size_t i = 0; i < candidate.size(); ++i)
        if (upperUnit(static_cast<char16_t>(candidate[i])) != folded[i])
            return false;
    return true;
}

bool startsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && equalNoCase(text.substr(0, prefix.size()), prefix);
}

// Splits below a root, dropping empty components and "." and resolving ".." as the Windows
// path functions do before a path ever reaches the file system.
std::vector<std::u16string_view> components(std::u16string_view rest) {
    std::vector<std::u16string_view> parts;
    std::size_t at = 0;
    while (at <= rest.size()) {
        std::size_t end = at;
        while (end < rest.size() && !isSeparator(rest[end]))
            ++end;
        const std::u16string_view part = rest.substr(at, end - at);
        if (part == u"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != u".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    return parts;
}

// How the components of a resolved path were found, and so how a name below it is.
enum class Naming {
    Verbatim, // a Unix or relative path: names are taken as they are
    Matched,  // each component was found in its folder: a name below is looked up the same way
    Other,    // a component matched nothing, or the path names no file: resolved afresh each time
};

struct Resolved {
    std::string path;
    Naming naming = Naming::Other;
};

Resolved resolveBelow(std::string base, std::u16string_view rest) {
    bool matching = true;
    for (const std::u16string_view part : components(rest)) {
        if (matching) {
            if (const auto found = findInDirectory(base, part)) {
                base += '/';
                base += *found;
                continue;
            }
            matching = false;
        }
        base += '/';
        base += toUtf8(part);
    }
    return {std::move(base), matching ? Naming::Matched : Naming::Other};
}

std::string driveRoot(char16_t letter) {
    std::string root = prefixDir();
    root += "/dosdevices/";
    root += static_cast<char>(letter | 0x20);
    root += ':';
    return root;
}

Resolved slashed(std::u16string_view path) {
    std::string text = toUtf8(path);
    for (char& c : text) {
        if (c == '\\')
            c = '/';
    }
    return {std::move(text), Naming::Verbatim};
}

Resolved resolve(std::u16string_view path) {
    const bool doubleSeparator = path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]);
    if (doubleSeparator && path.size() >= 4 && (path[2] == u'?' || path[2] == u'.') &&
        isSeparator(path[3])) {
        const std::u16string_view rest = path.substr(4);
        if (hasDrive(rest))
            return resolveBelow(driveRoot(rest[0]), rest.substr(2));
        if (path[2] == u'?' && startsWithNoCase(rest, u"UNC") && rest.size() > 3 &&
            isSeparator(rest[3]))
            return resolveBelow(prefixDir() + "/dosdevices/unc", rest.substr(4));
        if (path[2] == u'?' && startsWithNoCase(rest, u"unix") &&
            (rest.size() == 4 || isSeparator(rest[4])))
            return slashed(rest.size() == 4 ? std::u16string_view(u"/") : rest.substr(4));
        return {toUtf8(path), Naming::Other};
    }
    if (hasDrive(path))
        return resolveBelow(driveRoot(path[0]), path.substr(2));
    if (doubleSeparator)
        return resolveBelow(prefixDir() + "/dosdevices/unc", path.substr(2));
    if (!path.empty() && path[0] == u'\\')
        return resolveBelow(driveRoot(u'c'), path.substr(1));
    // A Unix path (or a relative one) stays as it is, but for backslashes: the library puts them
    // between the components it adds (a search's "<directory>\<entry>"), and they separate
    // there as they do in Wine.
    return slashed(path);
}

// One component that names an entry of its folder: what can be looked up there directly.
bool isPlainName(std::u16string_view name) {
    return !name.empty() && name != u"." && name != u".." &&
           name.find_first_of(std::u16string_view(u"\\/\0", 3)) == std::u16string_view::npos;
}

// As opendir() opens a directory.
constexpr int kDirectoryFlags = O_RDONLY | O_NONBLOCK | O_DIRECTORY | O_CLOEXEC;

Status openFailure() {
    return errno == EACCES ? status::access_denied : status::path_not_found;
}

bool isDots(std::string_view name) {
    return name == "." || name == "..";
}

// Calls fn(name, type) for each entry of the directory open as fd, in the order the file system
// lists them. The kernel hands over each entry's type with its name, so a listing costs a
// couple of calls however many entries it has. name is null-terminated.
template <typename Fn> void forEachEntry(int fd, Fn&& fn) {
    alignas(dirent64) char buffer[32768];
    for (;;) {
        const ssize_t size = getdents64(fd, buffer, sizeof buffer);
        if (size <= 0)
            return;
        for (ssize_t at = 0; at < size;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            fn(std::string_view(entry->d_name), entry->d_type);
            at += entry->d_reclen;
        }
    }
}

// Whether the entry exists once links are followed: only a link, or an entry whose type the file
// system didn't give, has to be asked about.
bool entryExists(int dirFd, const char* name, unsigned char type) {
    struct stat info {};
    return (type != DT_UNKNOWN && type != DT_LNK) || fstatat(dirFd, name, &info, 0) == 0;
}

std::uint32_t attributesOf(int dirFd, const char* name, unsigned char type) {
    bool directory = type == DT_DIR;
    // A link counts as what it points to, as Wine reports it; a dangling one as a plain file.
    if (type == DT_UNKNOWN || type == DT_LNK) {
        struct stat info {};
        directory = fstatat(dirFd, name, &info, 0) == 0 && S_ISDIR(info.st_mode);
    }
    std::uint32_t bits = directory ? attr::directory : 0;
    if (name[0] == '.' && !isDots(name))
        bits |= attr::hidden;
    return bits ? bits : attr::normal;
}

// A directory's entries as they were when it was opened. The directory stays open, so that its
// subdirectories are opened through it.
struct Listing {
    struct Item {
        std::size_t offset; // of the name in names
        std::size_t length;
        std::uint32_t attributes;
    };

    Listing(int fd, std::string path, Naming naming)
        : fd(fd), path(std::move(path)), naming(naming) {}
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;
    ~Listing() { ::close(fd); }

    void take(std::size_t index, DirEntry& entry) const {
        const Item& item = items[index];
        const std::string_view name(names.data() + item.offset, item.length);
        // Most names are ASCII, and those are widened into the entry's own storage, without a
        // decoder or a new string.
        entry.name.resize(name.size());
        for (std::size_t i = 0; i < name.size(); ++i) {
            const auto c = static_cast<unsigned char>(name[i]);
            if (c >= 0x80) {
                entry.name = fromUtf8(name);
                break;
            }
            entry.name[i] = c;
        }
        entry.attributes = item.attributes;
    }

    const int fd;
    const std::string path;
    const Naming naming;
    std::string names;
    std::vector<Item> items;
    std::size_t next = 0;
};

// Lists the directory open as fd (which the listing then owns), found at path.
Status list(int fd, std::string path, Naming naming, DirHandle* handle, DirEntry& first) {
    auto listing = std::make_unique<Listing>(fd, std::move(path), naming);
    std::vector<Listing::Item> dots;
    forEachEntry(fd, [&](std::string_view name, unsigned char type) {
        const Listing::Item item{listing->names.size(), name.size(),
                                 attributesOf(fd, name.data(), type)};
        listing->names += name;
        (isDots(name) ? dots : listing->items).push_back(item);
    });
    // "." and ".." come first, as both NTFS and Wine list them, whatever order the Unix file
    // system returns them in.
    std::sort(dots.begin(), dots.end(),
              [](const Listing::Item& a, const Listing::Item& b) { return a.length < b.length; });
    listing->items.insert(listing->items.begin(), dots.begin(), dots.end());
    if (listing->items.empty())
        return status::file_not_found;
    listing->take(0, first);
    listing->next = 1;
    *handle = listing.release();
    return status::success;
}

// Folders holding fewer of the paths asked about are not worth listing: each path costs one
// call on its own, a listing about five.
constexpr std::size_t kWorthListing = 4;

// The paths that a folder can tell about from one listing: drive-letter paths and absolute Unix
// paths, whose folder resolves as the path itself does up to its last component.
bool listable(std::u16string_view path, std::size_t cut) {
    return cut != std::u16string_view::npos && isPlainName(path.substr(cut + 1)) &&
           (hasDrive(path) || (path[0] == u'/' && cut > 0 && !isSeparator(path[1])));
}

// exists() of the paths at members, all in folder, from one listing of it; false when the folder
// can't tell (then nothing is set).
bool existInFolder(std::u16string_view folder, const std::vector<std::u16string_view>& paths,
                   const std::vector<std::size_t>& members, std::vector<bool>& found) {
    const Resolved where = resolve(folder);
    if (where.naming == Naming::Other)
        return false;
    const int fd = ::open(where.path.c_str(), kDirectoryFlags);
    if (fd < 0)
        return false;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    // An entry's path can be followed only where the folder can be searched.
    if (faccessat(fd, ".", X_OK, AT_EACCESS) != 0)
        return false;
    std::string names;
    std::vector<std::pair<std::size_t, unsigned char>> entries; // name offset, type
    forEachEntry(fd, [&](std::string_view name, unsigned char type) {
        entries.emplace_back(names.size(), type);
        names.append(name.data(), name.size() + 1);
    });
    auto nameAt = [&](std::size_t entry) { return names.c_str() + entries[entry].first; };
    std::unordered_map<std::string_view, std::size_t> exact;
    for (std::size_t i = entries.size(); i-- > 0;)
        exact[nameAt(i)] = i;
    std::unordered_map<std::u16string, std::size_t> folded; // the first of each name, when needed
    for (const std::size_t member : members) {
        const std::u16string_view path = paths[member];
        const std::u16string_view name = path.substr(path.find_last_of(u"\\/") + 1);
        // The entry the path resolves to, as findInDirectory finds it.
        auto it = exact.find(toUtf8(name));
        std::size_t entry = it == exact.end() ? entries.size() : it->second;
        if (entry == entries.size() && where.naming == Naming::Matched) {
            if (folded.empty()) {
                for (std::size_t i = entries.size(); i-- > 0;)
                    if (!isDots(nameAt(i)))
                        folded[foldName(fromUtf8(nameAt(i)))] = i;
            }
            if (const auto match = folded.find(foldName(name)); match != folded.end())
                entry = match->second;
        }
        found[member] =
            entry < entries.size() && entryExists(fd, nameAt(entry), entries[entry].second);
    }
    return true;
}

} // namespace

std::optional<std::string> findInDirectory(const std::string& directory, std::u16string_view name) {
    if (name.empty())
        return std::nullopt;
    std::string exact = toUtf8(name);
    struct stat info {};
    if (lstat((directory + '/' + exact).c_str(), &info) == 0)
        return exact;
    DIR* dir = opendir(directory.c_str());
    if (!dir)
        return std::nullopt;
    const std::u16string folded = foldName(name);
    std::optional<std::string> found;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view candidate = entry->d_name;
        if (isDots(candidate))
            continue;
        if (equalFolded(candidate, folded)) {
            found = std::string(candidate);
            break;
        }
    }
    closedir(dir);
    return found;
}

std::string toUnixPath(std::u16string_view path) {
    return resolve(path).path;
}

Status PosixFiles::openDirectory(const char16_t* directory, DirHandle* handle, DirEntry& first) {
    if (!handle)
        return status::invalid_parameter;
    *handle = nullptr;
    if (!directory || !*directory)
        return status::path_not_found;
    Resolved where = resolve(directory);
    const int fd = ::open(where.path.c_str(), kDirectoryFlags);
    if (fd < 0)
        return openFailure();
    return list(fd, std::move(where.path), where.naming, handle, first);
}

Status PosixFiles::openSubdirectory(DirHandle parent, std::u16string_view name,
                                    const char16_t* path, DirHandle* handle, DirEntry& first) {
    if (!handle)
        return status::invalid_parameter;
    *handle = nullptr;
    const auto* above = static_cast<const Listing*>(parent);
    // Below a folder whose every component was found, the name as listed is what the whole
    // path resolves to when it opens: its exact spelling wins there.
    if (above && above->naming != Naming::Other && isPlainName(name)) {
        std::string unixName = toUtf8(name);
        const int fd = openat(above->fd, unixName.c_str(), kDirectoryFlags);
        if (fd >= 0)
            return list(fd, above->path + '/' + unixName, above->naming, handle, first);
    }
    // Everything else, failures included, goes the long way, which also tells why it failed.
    return openDirectory(path, handle, first);
}

bool PosixFiles::nextEntry(DirHandle handle, DirEntry& entry) {
    auto* listing = static_cast<Listing*>(handle);
    if (!listing || listing->next >= listing->items.size())
        return false;
    listing->take(listing->next++, entry);
    return true;
}

void PosixFiles::closeDirectory(DirHandle handle) {
    delete static_cast<Listing*>(handle);
}

// The listing keeps its directory open, so the answer is the directory listed even when a
// link on its path has been changed since.
bool PosixFiles::identify(DirHandle handle, DirIdentity& identity) {
    const auto* listing = static_cast<const Listing*>(handle);
    struct stat info {};
    if (!listing || fstat(listing->fd, &info) != 0)
        return false;
    identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                0};
    return true;
}

bool PosixFiles::exists(const char16_t* path) {
    if (!path || !*path)
        return false;
    struct stat info {};
    return stat(toUnixPath(path).c_str(), &info) == 0;
}

std::vector<bool> PosixFiles::existAll(const std::vector<std::u16string_view>& paths) {
    std::vector<bool> found(paths.size(), false);
    std::unordered_map<std::u16string_view, std::vector<std::size_t>> folders;
    std::vector<std::size_t> alone;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::u16string_view path = paths[i];
        const std::size_t cut = path.find_last_of(u"\\/");
        if (listable(path, cut))
            folders[path.substr(0, cut)].push_back(i);
        else
            alone.push_back(i);
    }
    for (const auto& [folder, members] : folders) {
        if (members.size() < kWorthListing || !existInFolder(folder, paths, members, found))
            alone.insert(alone.end(), members.begin(), members.end());
    }
    for (const std::size_t i : alone)
        found[i] = exists(std::u16string(paths[i]).c_str());
    return found;
}

} // namespace tavlo::platform::portable
