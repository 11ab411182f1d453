// Small text operations the subsystems share.
#pragma once

#include <string>

namespace tavlo::frame {

// Directory results never end in a backslash: all trailing ones go.
void dropTrailingBackslashes(std::u16string& text);
// A lower-case copy, by the platform's case mapping (the one the library compares names with).
std::u16string lowered(std::u16string text);

} // namespace tavlo::frame
