// Unicode simple case mapping, as Windows' CharLowerBuffW and CharUpperBuffW map text (tables
// generated from the real API and checked against it under Wine): the unit functions map single
// UTF-16 units, the in-place ones also map surrogate pairs as those calls do. Registry names
// compare by their upper-case forms, unit by unit, as the registry itself compares them.
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
