// Where the Linux build reads its registry and resolves drive letters: TAVLO_REGISTRY (registry
// files separated by ':', later files overriding earlier ones), else the Wine prefix in
// WINEPREFIX, else ~/.wine. The library reads the environment once, at its first registry or
// file access; the command-line tool may configure it explicitly before that.
//
// TAVLO_FOLLOW=0 (or off, no, false) reads the registry files once and answers from that for
// the rest of the process; otherwise the files are followed (see processRegistry()).
//
// A variable set to the empty string counts as not set. TAVLO_REGISTRY set to nothing but
// separators names no file, which is taken as a mistake: no registry is read (not the prefix's,
// which the user meant not to read) and the registry's problems say why. So do they when
// neither a prefix nor a home folder is known.
#pragma once

#include "platform/portable/memory_registry.h"
#include "platform/portable/reg_file.h"

#include <string>
#include <vector>

namespace tavlo::platform::portable {

struct PortableConfig {
    std::vector<std::string> registryFiles; // when empty: the prefix's system.reg and user.reg
    std::string prefix;                     // the Wine prefix folder (for drive letters too)
    bool follow = true;                     // load files again that were replaced or changed
};

// problems, when given, receives why the environment names no registry to read.
PortableConfig configFromEnvironment(std::vector<Diagnostic>* problems = nullptr);

// Takes effect for everything loaded after the call: the registry is loaded again on its next
// use and drive letters resolve through the new prefix. With problems, no registry is read: it
// is empty, and they are its problems.
void configure(PortableConfig config, std::vector<Diagnostic> problems = {});

// The process's registry, loaded from the configuration on first use. While a host runs,
// wineserver rewrites the files: a use at least kFollowInterval after the last look stats them,
// and a file replaced or changed is loaded again, into a whole new registry that then takes the
// old one's place (open keys keep answering from the one they were opened in). A file that
// can't be read then keeps the last good registry, and the problem joins processDiagnostics().
//
// The reference stays good until the registry is replaced: for one thread's fixtures and
// checks. Readers that may meet a replacement use RegistryReading.
MemoryRegistry& processRegistry();

// Holds the process registry current when it began (after following its files) until it ends.
class RegistryReading {
public:
    RegistryReading();
    ~RegistryReading();
    RegistryReading(const RegistryReading&) = delete;
    RegistryReading& operator=(const RegistryReading&) = delete;

    MemoryRegistry& registry() const { return *registry_; }

private:
    MemoryRegistry* registry_;
};

// How long after the last look at the files the next use looks again. A look is a stat of each
// file, about 1.3 us here: twice every 100 ms is lost in the noise, and a use between looks pays
// only a clock read (about 25 ns). inotify would cost more for a library: a descriptor of the
// host's, a watch on each file's folder (a rename replaces the file), still a read of its queue
// on each look unless a thread of ours waits on it, and it misses writes from other machines to
// a shared prefix.
inline constexpr long long kFollowInterval = 100; // milliseconds

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
