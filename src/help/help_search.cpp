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
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace tavlo::help {

namespace {

namespace attr = platform::attr;
using frame::lowered;

// Patterns and sub-directory paths are composed in 260 characters with the terminator, so a
// directory is searched only while "<directory>\*" fits: no directory is searched under a
// cut-off name.
constexpr std::size_t kPathUnits = 260;

// Directories whose backend can't tell what they are (no identity) are listed at most this many
// times in one search: with links among them nothing else would bound the walk short of the
// path length, and that bound alone allows exponentially many paths.
constexpr std::size_t kBlindListings = std::size_t{1} << 16;

struct IdentityHash {
    std::size_t operator()(const platform::DirIdentity& id) const {
        const std::uint64_t mixed = (id.volume * 0x9E3779B97F4A7C15ull) ^ id.file ^ (id.stamp << 1);
        return static_cast<std::size_t>(mixed ^ (mixed >> 29));
    }
};

struct Search {
    std::u16string soughtLower;
    const char16_t* sought;
    char16_t* out;
    std::size_t size;
    std::u16string candidate; // an entry's lower-cased name, reused across entries
    // The directories being searched, outermost first. One met again below itself (through a
    // link, a junction or a bind mount) is not searched there, as find does not descend into a
    // directory that is its own ancestor: that search is already under way.
    std::vector<platform::DirIdentity> chain;
    // Directories whose whole search found nothing, each with the shortest path length it was
    // searched at. A directory reached again by another path of at least that length is not
    // searched again: the names it can reach are those it reached then or fewer, so it fails
    // again and skipping it leaves the match order unchanged. On a tree of links that fan out
    // and join again this bounds the work: each directory is searched at most once per shorter
    // length it is reached at, instead of once per path to it.
    std::unordered_map<platform::DirIdentity, std::size_t, IdentityHash> failed;
    std::size_t blindListings = 0;
};

enum class Outcome { NotFound, Found, Unwritable };

// The name and extension a split in the runtime's buffers takes from a listed name: the name
// itself, unless it has a separator or a drive's colon or is too long to split.
std::u16string_view listedName(const std::u16string& name, std::u16string& spare) {
    const auto plain = [](char16_t c) { return c != u'\\' && c != u'/' && c != 0; };
    if (name.size() < 256 && (name.size() < 2 || name[1] != u':') &&
        std::all_of(name.begin(), name.end(), plain))
        return name;
    const PathParts parts = splitPathInBuffers(name.c_str());
    spare.assign(parts.fname);
    spare += parts.ext;
    return spare;
}

bool matches(std::u16string_view name, Search& search) {
    // Lower-casing keeps the length, so most names are told apart without it.
    if (name.size() != search.soughtLower.size())
        return false;
    search.candidate.assign(name);
    frame::state().services.text->toLower(search.candidate);
    return search.candidate == search.soughtLower;
}

Outcome searchBelow(platform::DirListing& listing, platform::DirEntry& first,
                    const std::u16string& directory, Search& search);

Outcome searchListing(platform::DirListing& listing, platform::DirEntry& entry,
                      const std::u16string& directory, Search& search) {
    platform::FileService& files = *frame::state().services.files;
    std::u16string spare;
    do {
        if (entry.attributes & (attr::hidden | attr::system | attr::offline))
            continue;
        const std::u16string_view name = listedName(entry.name, spare);
        if (matches(name, search)) {
            const std::u16string result = directory + u"\\" + search.sought;
            // A result that doesn't fit the caller's buffer is not written at all: the caller
            // never sees a partial path.
            if (search.size != kNoLimit && result.size() >= search.size)
                return Outcome::Unwritable;
            std::copy(result.begin(), result.end(), search.out);
            search.out[result.size()] = 0;
            return Outcome::Found;
        }
        if ((entry.attributes & attr::directory) && !name.empty() && name[0] != u'.') {
            // A sub-directory is searched only while "<sub>\*" fits as well.
            if (directory.size() + 1 + name.size() + 2 >= kPathUnits)
                continue;
            std::u16string sub = directory;
            sub += u'\\';
            sub += name;
            platform::DirListing below;
            platform::DirEntry first;
            if (below.open(files, listing, name, sub.c_str(), first) != platform::status::success)
                continue;
            if (const Outcome outcome = searchBelow(below, first, sub, search);
                outcome != Outcome::NotFound)
                return outcome;
        }
    } while (listing.next(entry));
    return Outcome::NotFound;
}

// A subdirectory, unless it is already being searched or already failed at this length or a
// shorter one.
Outcome searchBelow(platform::DirListing& listing, platform::DirEntry& first,
                    const std::u16string& directory, Search& search) {
    platform::DirIdentity identity;
    if (!listing.identify(identity)) {
        if (++search.blindListings > kBlindListings)
            return Outcome::NotFound;
        return searchListing(listing, first, directory, search);
    }
    if (std::find(search.chain.begin(), search.chain.end(), identity) != search.chain.end())
        return Outcome::NotFound;
    const auto known = search.failed.find(identity);
    if (known != search.failed.end() && known->second <= directory.size())
        return Outcome::NotFound;
    search.chain.push_back(identity);
    const Outcome outcome = searchListing(listing, first, directory, search);
    search.chain.pop_back();
    if (outcome == Outcome::NotFound)
        search.failed[identity] = directory.size();
    return outcome;
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
        identity::GetAppDirectory(start);
        if (start.empty())
            return false;
    }
    if (!name || !out || size == 0)
        return false;
    if (start.size() + 2 >= kPathUnits)
        return false;
    Search search{lowered(name), name, out, size, {}, {}, {}, 0};
    platform::DirListing listing;
    platform::DirEntry first;
    if (listing.open(*frame::state().services.files, start.c_str(), first) !=
        platform::status::success)
        return false;
    return searchBelow(listing, first, start, search) == Outcome::Found;
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
    const PathParts parts = splitPathInBuffers(name);
    if (!parts.drive.empty() || !parts.dir.empty()) {
        path = name;
        return true;
    }
    if (appkey::SetAppKey(nullptr) != 0)
        return false;
    const std::u16string helpDirectory = frame::written<settings::GetHelpDirectory>();
    if (!helpDirectory.empty()) {
        path = helpDirectory + u"\\" + name;
        return true;
    }
    return FindHelpPathname(name, path);
}

std::u16string GetDefaultHelpFile() {
    if (!appkey::ensureAppKey())
        return {};
    const bool kora = appkey::hostIsKora();
    std::u16string path;
    if (settings::GetProfileDirectory(path, u"General", kora ? u"KORAHELP" : u"HELP", u"Help") != 0)
        return {};
    const PathParts parts = splitPathInBuffers(path.c_str());
    if (parts.fname.empty())
        return {};
    std::u16string file(parts.fname);
    file += parts.ext;
    return file;
}

} // namespace tavlo::help
