// Registry path texts: how a message names the key or value it is about.
#pragma once

#include "frame/errors.h"
#include "platform/status.h"

#include <string>

namespace tavlo::registry {

// Root label, key path and value name joined by backslashes (nothing is removed or doubled),
// shortened to 100 characters.
std::u16string FormatRegPath(platform::Root root, const char16_t* key, const char16_t* value);
// The failure of an operation on key (and value), its argument the path text FormatRegPath gives,
// built in storage the library keeps: most such failures are dropped at once.
frame::Failure regPathFailure(frame::Failure::Kind kind, std::u16string_view operation,
                              std::uint32_t messageId, platform::Root root, std::u16string_view key,
                              const char16_t* value);

// Keeps the root label, marks the cut with "...", and ends with the longest run of whole
// trailing components that fits in 100 characters, or else with the bare last characters.
std::u16string AbbreviatePathText(const std::u16string& text);

} // namespace tavlo::registry
