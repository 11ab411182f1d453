// The user's profiles below HKEY_CURRENT_USER\<app key>: the current profile's string and
// number values, and the numbers of the fixed profile shared by all profiles.
#pragma once

#include "frame/errors.h"
#include "tavlo/tavlo.h"

#include <cstdint>
#include <string>

namespace tavlo::registry {

// <app key>\Profiles\<current profile>; raises TAVLO_Key_Error (61) when it can't be read.
std::u16string GetActiveProfileKey();
// The same, or the empty string, without a report.
std::u16string GetCurrentProfileKey();
// GetActiveProfileKey into key, handing back what it would raise.
frame::Failure activeProfileKey(std::u16string& key);
// A REG_SZ value of a section of the current profile; raises on failure (61).
TavloRetVal GetProfileStr(std::u16string& out, const char16_t* section, const char16_t* name,
                          std::uint32_t initialSize);
// The same read, handing back what it would raise.
frame::Failure readProfileStr(std::u16string& out, const char16_t* section, const char16_t* name,
                              std::uint32_t initialSize);
// A REG_DWORD value of a section of the current profile, read straight into out; 0 or 1.
TavloRetVal GetProfileDWord(std::uint32_t* out, const char16_t* section, const char16_t* name);
// A REG_DWORD value below <app key>\FixedProfile; 0 or 1.
TavloRetVal GetFixedProfileDWord(std::uint32_t& out, const char16_t* key, const char16_t* name);

} // namespace tavlo::registry
