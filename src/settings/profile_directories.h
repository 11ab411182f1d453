// Directories kept in profile values, with their defaults: "Plotters" and "Plot Styles" below
// the user's roamable root folder, everything else below the application directory.
#pragma once

#include "tavlo/tavlo.h"
#include "values/setting_rows.h"

#include <string>

namespace tavlo::settings {

// The profile value holds a directory; trailing backslashes are removed.
TavloRetVal GetProfileDirectory(std::u16string& out, const char16_t* section, const char16_t* name,
                                const char16_t* subFolder);
// The profile value holds a file's pathname; the directory is its drive and folder.
TavloRetVal GetProfileDirectoryFromPathname(std::u16string& out, const char16_t* section,
                                            const char16_t* name, const char16_t* subFolder);
// The default directory for subFolder (empty: the application directory itself).
TavloRetVal GetFallbackDirectory(std::u16string& out, const char16_t* subFolder);
// A named setting's directory, read under name, with the default its row gives.
TavloRetVal readDirectory(std::u16string& out, const registry::SettingRow& row,
                          const char16_t* name);

} // namespace tavlo::settings
