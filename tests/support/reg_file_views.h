// Registry files as the loader's tests write them, and what a loaded registry reads back as.
#pragma once

#include "platform/portable/diagnostic_log.h"
#include "platform/registry.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavlo::test {

// UTF-16LE with a byte order mark, as regedit writes it; units as given (or the text's UTF-8
// decoded), line ends too.
std::string utf16File(std::u16string_view units);
std::string utf16File(std::string_view utf8);

// Every problem as "line: message", or "file:line: message".
std::string problemLines(const std::vector<platform::portable::Diagnostic>& problems,
                         bool withFile = false);

// A key's values in enumeration order, " name=text" for a string, " name=#hex" for other data.
std::u16string valueList(platform::RegKey& key);

// The tree below root\base, from base\path on (path "" or "\\..."): each key's path below base
// ("." for base itself) and values, in enumeration order, opened by the names enumeration gives.
std::u16string keyTree(platform::RegistryService& registry, platform::Root root,
                       const std::u16string& base, const std::u16string& path = u"");

} // namespace tavlo::test
