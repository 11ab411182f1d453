// Splitting a path into drive, directory, file name and extension, and putting one together, with
// exactly the C runtime's _wsplitpath_s / _wmakepath_s answers on both builds: the names the
// library derives from a module path must not depend on which build computed them.
#pragma once

#include <cstddef>
#include <string_view>

namespace tavlo {

inline constexpr int kPathEinval = 22;
inline constexpr int kPathErange = 34;

// The four parts of path, in order and without gaps: they join to path again.
struct PathParts {
    std::u16string_view drive, dir, fname, ext;
};
PathParts splitPathParts(std::u16string_view path);
// The parts splitPath gives in the runtime's own buffers of 3 (drive) and 256 units: all of
// them empty when one doesn't fit.
PathParts splitPathInBuffers(std::u16string_view path);

// Each buffer comes with its size in units, the terminator included; a null buffer with a size
// of 0 means the caller does not want that part. Returns 0, kPathEinval when the path is null or
// a buffer and its size disagree (nothing is written then), or kPathErange when a wanted part does
// not fit, in which case every wanted buffer is left empty.
int splitPath(const char16_t* path, char16_t* drive, std::size_t driveCount, char16_t* dir,
              std::size_t dirCount, char16_t* fname, std::size_t fnameCount, char16_t* ext,
              std::size_t extCount);

// Writes drive letter, ':', dir, a '\' unless dir already ends in a separator, fname, and ext
// with a '.' put in front unless it has one; null or empty parts are left out. Only the first
// unit of drive is used. Returns 0, kPathEinval for a null buffer or a size of 0, or kPathErange
// with buffer[0] == 0 when the result and its terminator do not fit in count units.
int makePath(char16_t* buffer, std::size_t count, const char16_t* drive, const char16_t* dir,
             const char16_t* fname, const char16_t* ext);

} // namespace tavlo
