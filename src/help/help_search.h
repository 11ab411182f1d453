// Finding help files: by pathname, in the help directory, or by a depth-first search below the
// application directory that ignores case and skips hidden, system and offline entries.
#pragma once

#include <cstddef>
#include <string>

namespace tavlo::help {

// No limit on the caller's buffer: FindFile's size.
inline constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

// Searches directory (null: the application directory) for name; on a match writes
// "<directory>\<name as passed>" to out, within size characters, and returns true. out is
// written only then. A directory reached again through links is not searched again where that
// can't change the first match, so the search ends in time linear in the directories it can
// reach (times the path lengths they are reached at), not in the paths that lead to them.
bool FindFilePath(const char16_t* directory, const char16_t* name, char16_t* out, std::size_t size);
// The pathname of name found below the application directory, or name itself (false).
bool FindHelpPathname(const char16_t* name, std::u16string& result);
// A pathname for a help file name: as given when it has a drive or folder, else in the help
// directory, else found below the application directory.
bool ResolveHelpPath(const char16_t* name, std::u16string& path);
// The file name and extension of the host's help file setting, or the empty string.
std::u16string GetDefaultHelpFile();

} // namespace tavlo::help
