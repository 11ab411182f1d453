// Registry path texts: how a message names the key or value it is about.
#pragma once

#include "platform/status.h"

#include <string>

namespace tavlo::registry {

// Root label, key path and value name joined by backslashes (nothing is removed or doubled),
// shortened to 100 characters.
std::u16string FormatRegPath(platform::Root root, const char16_t* key, const char16_t* value);

// Keeps the root label, marks the cut with "...", and ends with the longest run of whole
// trailing components that fits in 100 characters, or else with the bare last characters.
std::u16string AbbreviatePathText(const std::u16string& text);

} // namespace tavlo::registry
