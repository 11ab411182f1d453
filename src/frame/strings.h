// Small text operations the subsystems share.
#pragma once

#include <string>

namespace tavlo::frame {

// Directory results never end in a backslash: all trailing ones go.
void dropTrailingBackslashes(std::u16string& text);
// A lower-case copy, by the platform's case mapping (the one the library compares names with).
std::u16string lowered(std::u16string text);

// What an operation that writes its answer into a string gives, as a value.
template <void (*Write)(std::u16string&)> std::u16string written() {
    std::u16string out;
    Write(out);
    return out;
}

} // namespace tavlo::frame
