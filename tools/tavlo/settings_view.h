// Every setting the library resolves, by its kebab-case name, with where the answer came from.
#pragma once

#include "failure.h"

#include <optional>
#include <string>
#include <vector>

namespace tavlo::cli {

struct Resolved {
    std::string name;
    std::string value;
    bool present = false; // a value was resolved (not empty)
    std::string origin;   // the registry value it was read from, or the default and why
    std::vector<std::string> reports;
    std::optional<std::string> nativePath; // where a path is on this machine (Linux build)
    bool nativeExists = false;
    std::optional<LibraryFailure> raised; // what the library raised instead of answering
    std::u16string appKey;                // the key it was read for: as found, when none was given
};

// The names, in the order show prints them.
std::vector<std::string> settingNames();
// Resolves one setting for the host whose app key is appKey (empty: let the library find it).
std::optional<Resolved> resolveSetting(const std::string& name, const std::u16string& appKey);

} // namespace tavlo::cli
