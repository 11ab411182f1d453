// The Linux file service and the mapping of Windows paths onto the Wine prefix. Drive-letter
// paths are what the registry and the core hand around (they were written for Windows); inside
// a Wine prefix they name real files below <prefix>/dosdevices, and the library has to find
// those files the way Wine would, names compared without regard to case.
#pragma once

#include "platform/files.h"

#include <optional>
#include <string>
#include <string_view>

namespace tavlo::platform::portable {

// The Unix path for path:
// - "X:..." resolves through <prefixDir()>/dosdevices/x: (a drive-relative "X:name" is taken
//   from the drive's root: there is no per-drive current directory here);
// - "\name" (rooted, no drive) is taken on drive C:, the drive Windows software assumes;
// - "\\server\share\..." resolves through <prefix>/dosdevices/unc/server/share, where Wine keeps
//   UNC shares; "\\?\X:\..." and "\\.\X:\..." are the drive path they carry; "\\?\UNC\s\..." is
//   the UNC path; "\\?\unix\..." is Wine's own way to spell a Unix path. Any other device path
//   ("\\.\pipe\x", "\\.\COM1") has no file behind it and comes back unresolved (its UTF-8 text),
//   so that whatever uses it fails cleanly.
// - a path starting with '/' is already a Unix path, and a relative path stays relative to the
//   current directory; in both, backslashes separate components as slashes do.
// Below the drive, "." and ".." are removed as Windows removes them (never above the drive's
// root) and each component is matched as findInDirectory matches it. From the first component
// that matches nothing, the rest is appended as given, so a path to a missing file still names
// the file it would be.
std::string toUnixPath(std::u16string_view path);

// The name under which directory (a Unix path) holds name, matched as Wine matches file names:
// the exact name when it exists, else the first entry whose name is equal without regard to
// case. nullopt when there is none.
std::optional<std::string> findInDirectory(const std::string& directory, std::u16string_view name);

class PosixFiles final : public FileService {
public:
    Status openDirectory(const char16_t* directory, DirHandle* handle, DirEntry& first) override;
    bool nextEntry(DirHandle handle, DirEntry& entry) override;
    void closeDirectory(DirHandle handle) override;
    bool identify(DirHandle handle, DirIdentity& identity) override;
    Status openSubdirectory(DirHandle parent, std::u16string_view name, const char16_t* path,
                            DirHandle* handle, DirEntry& first) override;
    bool exists(const char16_t* path) override;
    std::vector<bool> existAll(const std::vector<std::u16string_view>& paths) override;
};

} // namespace tavlo::platform::portable
