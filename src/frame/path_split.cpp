#include "frame/path_split.h"

#include <algorithm>
#include <string_view>

namespace tavlo {
namespace {

bool isSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

// A buffer and its size must agree on whether the part is wanted at all.
bool consistent(const char16_t* buffer, std::size_t count) {
    return (buffer == nullptr) == (count == 0);
}

bool fits(std::u16string_view part, const char16_t* buffer, std::size_t count) {
    return !buffer || part.size() < count;
}

void store(std::u16string_view part, char16_t* buffer) {
    if (!buffer)
        return;
    std::copy(part.begin(), part.end(), buffer);
    buffer[part.size()] = u'\0';
}

} // namespace

PathParts splitPathParts(std::u16string_view path) {
    std::u16string_view rest = path;
    // Any first character counts as a drive letter, as it does for the runtime ("1:a" too).
    const std::size_t driveLength = rest.size() >= 2 && rest[1] == u':' ? 2 : 0;
    const std::u16string_view drivePart = rest.substr(0, driveLength);
    rest.remove_prefix(driveLength);

    const auto lastSeparator = std::find_if(rest.rbegin(), rest.rend(), isSeparator);
    const std::size_t dirLength = static_cast<std::size_t>(rest.rend() - lastSeparator);
    const std::u16string_view dirPart = rest.substr(0, dirLength);
    rest.remove_prefix(dirLength);

    // The last dot of the final component starts the extension, even when it is the first unit
    // (".cache" is all extension) or the last ("file." has the extension ".").
    const std::size_t dot = rest.rfind(u'.');
    const std::size_t nameLength = dot == std::u16string_view::npos ? rest.size() : dot;
    const std::u16string_view namePart = rest.substr(0, nameLength);
    const std::u16string_view extPart = rest.substr(nameLength);

    return {drivePart, dirPart, namePart, extPart};
}

PathParts splitPathInBuffers(std::u16string_view path) {
    constexpr std::size_t kDriveUnits = 3, kPartUnits = 256;
    const PathParts parts = splitPathParts(path);
    if (parts.drive.size() >= kDriveUnits || parts.dir.size() >= kPartUnits ||
        parts.fname.size() >= kPartUnits || parts.ext.size() >= kPartUnits)
        return {};
    return parts;
}

int splitPath(const char16_t* path, char16_t* drive, std::size_t driveCount, char16_t* dir,
              std::size_t dirCount, char16_t* fname, std::size_t fnameCount, char16_t* ext,
              std::size_t extCount) {
    if (!path || !consistent(drive, driveCount) || !consistent(dir, dirCount) ||
        !consistent(fname, fnameCount) || !consistent(ext, extCount))
        return kPathEinval;

    const auto [drivePart, dirPart, namePart, extPart] = splitPathParts(path);

    if (!fits(drivePart, drive, driveCount) || !fits(dirPart, dir, dirCount) ||
        !fits(namePart, fname, fnameCount) || !fits(extPart, ext, extCount)) {
        // No half-split result: a caller that ignores the error still sees no stale parts.
        for (char16_t* buffer : {drive, dir, fname, ext})
            if (buffer)
                buffer[0] = u'\0';
        return kPathErange;
    }
    store(drivePart, drive);
    store(dirPart, dir);
    store(namePart, fname);
    store(extPart, ext);
    return 0;
}

int makePath(char16_t* buffer, std::size_t count, const char16_t* drive, const char16_t* dir,
             const char16_t* fname, const char16_t* ext) {
    if (!buffer || count == 0)
        return kPathEinval;

    const std::u16string_view dirPart = dir ? dir : u"";
    const std::u16string_view namePart = fname ? fname : u"";
    const std::u16string_view extPart = ext ? ext : u"";
    const bool hasDrive = drive && drive[0];
    const bool dirNeedsSeparator = !dirPart.empty() && !isSeparator(dirPart.back());
    const bool extNeedsDot = !extPart.empty() && extPart.front() != u'.';

    const std::size_t length = (hasDrive ? 2 : 0) + dirPart.size() + dirNeedsSeparator +
                               namePart.size() + extNeedsDot + extPart.size();
    if (length >= count) {
        buffer[0] = u'\0';
        return kPathErange;
    }

    char16_t* out = buffer;
    if (hasDrive) {
        *out++ = drive[0];
        *out++ = u':';
    }
    out = std::copy(dirPart.begin(), dirPart.end(), out);
    if (dirNeedsSeparator)
        *out++ = u'\\';
    out = std::copy(namePart.begin(), namePart.end(), out);
    if (extNeedsDot)
        *out++ = u'.';
    out = std::copy(extPart.begin(), extPart.end(), out);
    *out = u'\0';
    return 0;
}

} // namespace tavlo
