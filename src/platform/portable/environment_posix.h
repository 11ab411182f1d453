// Where the Linux build reads its registry and resolves drive letters: TAVLO_REGISTRY (registry
// files separated by ':', later files overriding earlier ones), else the Wine prefix in
// WINEPREFIX, else ~/.wine. The library reads the environment once, at its first registry or
// file access; the command-line tool may configure it explicitly before that.
#pragma once

#include "platform/portable/memory_registry.h"
#include "platform/portable/reg_file.h"

#include <string>
#include <vector>

namespace tavlo::platform::portable {

struct PortableConfig {
    std::vector<std::string> registryFiles; // when empty: the prefix's system.reg and user.reg
    std::string prefix;                     // the Wine prefix folder (for drive letters too)
};

PortableConfig configFromEnvironment();

// Takes effect for everything loaded after the call: the registry is loaded again on its next
// use and drive letters resolve through the new prefix.
void configure(PortableConfig config);

// The process's registry, loaded from the configuration on first use.
MemoryRegistry& processRegistry();
// What its files reported so far (a key's value lines are read when first needed); loads it
// first.
std::vector<Diagnostic> processDiagnostics();
// Whether it has been loaded since the last configuration.
bool processRegistryLoaded();
// The Wine prefix folder drive letters resolve through; without a trailing slash.
const std::string& prefixDir();

// Test fixtures: replace the process registry by an empty one that no file is loaded into.
void useEmptyRegistry();

} // namespace tavlo::platform::portable
