#include "help/help_search.h"

#include "appkey/app_key.h"
#include "frame/path_split.h"
#include "frame/state.h"
#include "frame/strings.h"
#include "identity/identity.h"
#include "settings/named_settings.h"
#include "settings/profile_directories.h"

#include <algorithm>
#include <array>

namespace tavlo::help {

namespace {

namespace attr = platform::attr;
using frame::lowered;

// Patterns and sub-directory paths are composed in 260 characters with the terminator, so a
// directory is searched only while "<directory>\*" fits: the walk ends on every tree, links
// that loop back included, and never searches a directory under a cut-off name.
constexpr std::size_t kPathUnits = 260;

struct PathParts {
    std::array<char16_t, 3> drive{};
    std::array<char16_t, 256> dir{};
    std::array<char16_t, 256> name{};
    std::array<char16_t, 256> ext{};
};

// Parts that don't fit their buffers all count as empty.
PathParts split(const char16_t* path) {
    PathParts parts;
    splitPath(path ? path : u"", parts.drive.data(), parts.drive.size(), parts.dir.data(),
              parts.dir.size(), parts.name.data(), parts.name.size(), parts.ext.data(),
              parts.ext.size());
    return parts;
}

struct Search {
    std::u16string soughtLower;
    const char16_t* sought;
    char16_t* out;
    std::size_t size;
};

enum class Outcome { NotFound, Found, Unwritable };

Outcome searchDirectory(const std::u16string& directory, const Search& search) {
    if (directory.size() + 2 >= kPathUnits)
        return Outcome::NotFound;
    platform::FileService& files = *frame::state().services.files;
    platform::DirListing listing;
    platform::DirEntry entry;
    if (listing.open(files, directory.c_str(), entry) != platform::status::success)
        return Outcome::NotFound;
    do {
        if (entry.attributes & (attr::hidden | attr::system | attr::offline))
            continue;
        const PathParts parts = split(entry.name.c_str());
        const std::u16string fullName = std::u16string(parts.name.data()) + parts.ext.data();
        if (lowered(fullName) == search.soughtLower) {
            const std::u16string result = directory + u"\\" + search.sought;
            // A result that doesn't fit the caller's buffer is not written at all: the caller
            // never sees a partial path.
            if (search.size != kNoLimit && result.size() >= search.size)
                return Outcome::Unwritable;
            std::copy(result.begin(), result.end(), search.out);
            search.out[result.size()] = 0;
            return Outcome::Found;
        }
        if ((entry.attributes & attr::directory) && !fullName.empty() && fullName[0] != u'.') {
            const std::u16string sub = directory + u"\\" + fullName;
            if (sub.size() >= kPathUnits)
                continue;
            if (const Outcome outcome = searchDirectory(sub, search); outcome != Outcome::NotFound)
                return outcome;
        }
    } while (listing.next(entry));
    return Outcome::NotFound;
}

} // namespace

bool FindFilePath(const char16_t* directory, const char16_t* name, char16_t* out,
                  std::size_t size) {
    std::u16string start;
    if (directory) {
        start = directory;
    } else {
        if (appkey::SetAppKey(nullptr) != 0)
            return false;
        start = identity::GetAppDirectory();
        if (start.empty())
            return false;
    }
    if (!name || !out || size == 0)
        return false;
    Search search{lowered(name), name, out, size};
    return searchDirectory(start, search) == Outcome::Found;
}

bool FindHelpPathname(const char16_t* name, std::u16string& result) {
    if (name) {
        std::array<char16_t, kPathUnits> buffer{};
        if (FindFilePath(nullptr, name, buffer.data(), buffer.size())) {
            result = buffer.data();
            return true;
        }
    }
    result = name ? name : u"";
    return false;
}

bool ResolveHelpPath(const char16_t* name, std::u16string& path) {
    if (!name)
        return false;
    const PathParts parts = split(name);
    if (parts.drive[0] || parts.dir[0]) {
        path = name;
        return true;
    }
    if (appkey::SetAppKey(nullptr) != 0)
        return false;
    const std::u16string helpDirectory = settings::GetHelpDirectory();
    if (!helpDirectory.empty()) {
        path = helpDirectory + u"\\" + name;
        return true;
    }
    return FindHelpPathname(name, path);
}

std::u16string GetDefaultHelpFile() {
    if (!appkey::ensureAppKey())
        return {};
    const bool kora = appkey::isKoraKey(frame::state().appKeyCache);
    std::u16string path;
    if (settings::GetProfileDirectory(path, u"General", kora ? u"KORAHELP" : u"HELP", u"Help") != 0)
        return {};
    const PathParts parts = split(path.c_str());
    if (!parts.name[0])
        return {};
    return std::u16string(parts.name.data()) + parts.ext.data();
}

} // namespace tavlo::help
