// Directory listing and existence tests, as FindFirstFileW / FindNextFileW / FindClose and the
// runtime's stat see the file system. Paths are the platform's own: drive-letter paths on
// Windows, and on Linux either Unix paths or drive-letter paths of the Wine prefix.
#pragma once

#include "platform/handle.h"
#include "platform/status.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavlo::platform {

using DirHandle = void*;

struct DirEntry {
    std::u16string name;
    std::uint32_t attributes = 0; // attr:: bits
};

// Which directory a listing lists, whatever path reached it: listings of one directory through
// a link, a junction or a bind mount have equal identities, listings of two directories not.
struct DirIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    // What else the backend knows of the directory, where volume numbers can repeat.
    std::uint64_t stamp = 0;
    friend bool operator==(const DirIdentity&, const DirIdentity&) = default;
};

class FileService {
public:
    virtual ~FileService() = default;

    // Lists directory (no pattern; "." and ".." are listed as FindFirstFileW lists them).
    // On success the first entry is already in first.
    virtual Status openDirectory(const char16_t* directory, DirHandle* handle, DirEntry& first) = 0;
    // False after the last entry.
    virtual bool nextEntry(DirHandle handle, DirEntry& entry) = 0;
    virtual void closeDirectory(DirHandle handle) = 0;
    // The identity of the directory an open listing lists; false when the backend can't tell,
    // and a walk can then not notice a directory it has reached before.
    virtual bool identify(DirHandle /*handle*/, DirIdentity& /*identity*/) { return false; }
    // Lists what openDirectory(path) lists, path being the directory parent lists, a backslash
    // and name. A walk asks for every directory this way, so a backend that can reach name
    // through parent need not resolve the whole path again.
    virtual Status openSubdirectory(DirHandle parent, std::u16string_view name,
                                    const char16_t* path, DirHandle* handle, DirEntry& first) {
        return openDirectory(path, handle, first);
    }

    // Something (file or directory) exists at path.
    virtual bool exists(const char16_t* path) = 0;
    // exists() of each path. Many paths often share a folder, which a backend may list once
    // instead of asking for each of them.
    virtual std::vector<bool> existAll(const std::vector<std::u16string_view>& paths) {
        std::vector<bool> found;
        found.reserve(paths.size());
        for (const std::u16string_view path : paths)
            found.push_back(exists(std::u16string(path).c_str()));
        return found;
    }
};

struct ListingTraits {
    using Service = FileService;
    using Raw = DirHandle;
    static void close(FileService& service, DirHandle listing) noexcept {
        service.closeDirectory(listing);
    }
};

// Move-only owner of a directory listing.
class DirListing {
public:
    Status open(FileService& service, const char16_t* directory, DirEntry& first) {
        listing_.reset();
        DirHandle handle = nullptr;
        const Status result = service.openDirectory(directory, &handle, first);
        if (result == status::success)
            listing_.reset(service, handle);
        return result;
    }
    // The subdirectory name of the directory parent lists (see openSubdirectory); a parent of
    // another service is no help to this one.
    Status open(FileService& service, const DirListing& parent, std::u16string_view name,
                const char16_t* path, DirEntry& first) {
        listing_.reset();
        DirHandle handle = nullptr;
        const Status result = service.openSubdirectory(
            parent.listing_.service() == &service ? parent.listing_.get() : nullptr, name, path,
            &handle, first);
        if (result == status::success)
            listing_.reset(service, handle);
        return result;
    }
    bool next(DirEntry& entry) {
        return listing_ && listing_.service()->nextEntry(listing_.get(), entry);
    }
    bool identify(DirIdentity& identity) const {
        return listing_ && listing_.service()->identify(listing_.get(), identity);
    }
    void close() { listing_.reset(); }

private:
    Handle<ListingTraits> listing_;
};

} // namespace tavlo::platform
