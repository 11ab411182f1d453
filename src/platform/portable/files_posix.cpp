#include "platform/portable/files_posix.h"

#include "platform/portable/casemap.h"
#include "platform/portable/environment_posix.h"
#include "platform/portable/utf.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

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

std::string resolveBelow(std::string base, std::u16string_view rest) {
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
    return base;
}

std::string driveRoot(char16_t letter) {
    std::string root = prefixDir();
    root += "/dosdevices/";
    root += static_cast<char>(letter | 0x20);
    root += ':';
    return root;
}

std::string slashed(std::u16string_view path) {
    std::string text = toUtf8(path);
    for (char& c : text) {
        if (c == '\\')
            c = '/';
    }
    return text;
}

struct Listing {
    std::vector<DirEntry> entries;
    std::size_t next = 0;
};

std::uint32_t attributesOf(int dirFd, const dirent& entry) {
    bool directory = entry.d_type == DT_DIR;
    // A link counts as what it points to, as Wine reports it; a dangling one as a plain file.
    if (entry.d_type == DT_UNKNOWN || entry.d_type == DT_LNK) {
        struct stat info {};
        directory = fstatat(dirFd, entry.d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
    }
    std::uint32_t bits = directory ? attr::directory : 0;
    const std::string_view name = entry.d_name;
    if (name.front() == '.' && name != "." && name != "..")
        bits |= attr::hidden;
    return bits ? bits : attr::normal;
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
    std::optional<std::string> found;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view candidate = entry->d_name;
        if (candidate == "." || candidate == "..")
            continue;
        if (equalNoCase(fromUtf8(candidate), name)) {
            found = std::string(candidate);
            break;
        }
    }
    closedir(dir);
    return found;
}

std::string toUnixPath(std::u16string_view path) {
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
        return toUtf8(path);
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

Status PosixFiles::openDirectory(const char16_t* directory, DirHandle* handle, DirEntry& first) {
    if (!handle)
        return status::invalid_parameter;
    *handle = nullptr;
    if (!directory || !*directory)
        return status::path_not_found;
    const std::string unixPath = toUnixPath(directory);
    DIR* dir = opendir(unixPath.c_str());
    if (!dir)
        return errno == EACCES ? status::access_denied : status::path_not_found;

    auto listing = std::make_unique<Listing>();
    const int dirFd = dirfd(dir);
    std::size_t dots = 0;
    while (const dirent* entry = readdir(dir)) {
        DirEntry item{fromUtf8(entry->d_name), attributesOf(dirFd, *entry)};
        // "." and ".." come first, as both NTFS and Wine list them, whatever order the Unix
        // file system returns them in.
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            const auto at =
                listing->entries.begin() + static_cast<std::ptrdiff_t>(name == "." ? 0 : dots);
            listing->entries.insert(at, std::move(item));
            ++dots;
        } else {
            listing->entries.push_back(std::move(item));
        }
    }
    closedir(dir);
    if (listing->entries.empty())
        return status::file_not_found;
    first = listing->entries[0];
    listing->next = 1;
    *handle = listing.release();
    return status::success;
}

bool PosixFiles::nextEntry(DirHandle handle, DirEntry& entry) {
    auto* listing = static_cast<Listing*>(handle);
    if (!listing || listing->next >= listing->entries.size())
        return false;
    entry = listing->entries[listing->next++];
    return true;
}

void PosixFiles::closeDirectory(DirHandle handle) {
    delete static_cast<Listing*>(handle);
}

bool PosixFiles::exists(const char16_t* path) {
    if (!path || !*path)
        return false;
    struct stat info {};
    return stat(toUnixPath(path).c_str(), &info) == 0;
}

} // namespace tavlo::platform::portable
