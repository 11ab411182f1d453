// Unicode simple case mapping of single UTF-16 units, as Windows' CharLowerBuffW and
// CharUpperBuffW map them (tables generated from the real API and checked against it under
// Wine). Registry names compare by their upper-case forms, as the registry itself compares them.
#pragma once

#include <string>
#include <string_view>

namespace tavlo::platform::portable {

char16_t lowerUnit(char16_t c);
char16_t upperUnit(char16_t c);
void lowerInPlace(std::u16string& text);
void upperInPlace(std::u16string& text);
// The key under which a registry name is looked up.
std::u16string foldName(std::u16string_view name);

} // namespace tavlo::platform::portable
