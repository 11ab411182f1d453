// Registry files: regedit exports ("REGEDIT4" and "Windows Registry Editor Version 5.00", UTF-16LE
// with a BOM or 8-bit) and Wine's own registry files ("WINE REGISTRY Version 2"), told apart by
// their first line. Loading never fails on bad content: what can't be read is skipped and
// described in the registry's diagnostics, and everything else is loaded. A load takes in the
// keys; each key's values are read from the file when first needed (the registry keeps the file
// open), so problems in value lines are reported from then on.
//
// Lines end with a line feed, a carriage return, or the two together, mixed as they come; line
// numbers in diagnostics count them so. In UTF-16 text a byte too many or too few (a stray
// byte) garbles the rest of its line: that line is reported and skipped, and reading goes on in
// step from the line feed that ends it (which reads as U+0A00 out of step, a unit no text holds).
#pragma once

#include "platform/portable/memory_registry.h"
#include "platform/portable/reg_file_format.h"
#include "platform/portable/reg_file_open.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace tavlo::platform::portable {

// Loads the bytes of one file into registry. A Wine file's keys go to the hive its
// ";; All keys relative to" line names (\\Machine: HKEY_LOCAL_MACHINE, \\User\\...:
// HKEY_CURRENT_USER), or to defaultHive when that line is missing. regedit files name their
// roots; HKEY_CLASSES_ROOT goes to HKEY_LOCAL_MACHINE\Software\Classes as regedit imports it.
// Returns false when the format isn't recognised (nothing is loaded then).
// The registry keeps a copy of bytes.
bool loadRegistryText(MemoryRegistry& registry, std::string_view bytes, const std::string& name,
                      Hive defaultHive);

// Reads path and loads it; a file that can't be read gives a diagnostic with the reason, and
// false. A pipe or FIFO is read whole into memory first, within limits.
bool loadRegistryFile(MemoryRegistry& registry, const std::string& path, Hive defaultHive,
                      const StreamLimits& limits = {});

} // namespace tavlo::platform::portable
