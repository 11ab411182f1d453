// What a stat of a registry file says about whether it is still the file that was loaded:
// wineserver writes a new file and renames it over the old one (a new inode), and anything else
// may rewrite a file in place (a new size or modification time).
#pragma once

#include <cstdint>
#include <string>

namespace tavlo::platform::portable {

struct FileStamp {
    bool exists = false;
    bool regular = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0; // nanoseconds since the epoch
    std::int64_t changed = 0;  // of the inode, nanoseconds since the epoch

    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const std::string& path);

// The wall clock in the units of a stamp.
std::int64_t wallClockNow();

// Whether a rewrite in place might have kept this stamp: the file was modified within its file
// system's timestamp granularity of the moment it was read, so a write right after could carry
// the same time and size.
bool mayChangeUnseen(const FileStamp& stamp, std::int64_t readAt);

} // namespace tavlo::platform::portable
