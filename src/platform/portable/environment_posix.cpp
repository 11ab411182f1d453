#include "platform/portable/environment_posix.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace tavlo::platform::portable {

namespace {

// Every registry call asks for the registry, so once it is loaded (and once the configuration is
// read) the answer is given without the lock: the registry and the configuration stay where
// they are, only their contents change, and only under the lock.
struct State {
    std::mutex mutex;
    std::atomic<bool> configured = false;
    PortableConfig config;
    std::vector<Diagnostic> problems; // why no registry is read
    std::atomic<bool> loaded = false;
    MemoryRegistry registry;
};

State& state() {
    static State instance;
    return instance;
}

std::string trimSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

const PortableConfig& currentConfig(State& s) {
    if (!s.configured) {
        s.config = configFromEnvironment(&s.problems);
        s.configured.store(true, std::memory_order_release);
    }
    return s.config;
}

} // namespace

PortableConfig configFromEnvironment(std::vector<Diagnostic>* problems) {
    PortableConfig config;
    std::vector<Diagnostic> found;
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        config.prefix = prefix;
    else if (const char* home = std::getenv("HOME"); home && *home)
        config.prefix = std::string(home) + "/.wine";
    config.prefix = trimSlashes(config.prefix);
    const char* files = std::getenv("TAVLO_REGISTRY");
    if (files && *files) {
        // Empty entries (a doubled or trailing ':') are passed over, as in a search path.
        std::string list(files);
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(':', start);
            if (end == std::string::npos)
                end = list.size();
            if (end > start)
                config.registryFiles.push_back(list.substr(start, end - start));
            start = end + 1;
        }
        if (config.registryFiles.empty())
            found.push_back(
                {"TAVLO_REGISTRY", 0, "names no file, only ':' separators: no registry is read"});
    } else if (config.prefix.empty()) {
        found.push_back({"WINEPREFIX", 0,
                         "not set, nor HOME (for ~/.wine), nor TAVLO_REGISTRY: no "
                         "registry is read"});
    }
    if (problems)
        *problems = std::move(found);
    return config;
}

void configure(PortableConfig config, std::vector<Diagnostic> problems) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    config.prefix = trimSlashes(std::move(config.prefix));
    s.config = std::move(config);
    s.problems = std::move(problems);
    s.configured = true;
    s.loaded = false;
}

MemoryRegistry& processRegistry() {
    State& s = state();
    if (s.loaded.load(std::memory_order_acquire))
        return s.registry;
    std::lock_guard lock(s.mutex);
    if (!s.loaded) {
        const PortableConfig& config = currentConfig(s);
        s.registry.clear();
        for (const Diagnostic& problem : s.problems)
            s.registry.report(problem);
        if (!s.problems.empty()) {
            // Nothing is read: the registry is empty, and its problems say why.
        } else if (!config.registryFiles.empty()) {
            for (const auto& file : config.registryFiles)
                loadRegistryFile(s.registry, file, Hive::LocalMachine);
        } else if (!config.prefix.empty()) {
            // A prefix that doesn't exist simply gives an empty registry: the library then
            // answers as on a machine where nothing is installed.
            loadRegistryFile(s.registry, config.prefix + "/system.reg", Hive::LocalMachine);
            loadRegistryFile(s.registry, config.prefix + "/user.reg", Hive::CurrentUser);
        }
        s.loaded.store(true, std::memory_order_release);
    }
    return s.registry;
}

std::vector<Diagnostic> processDiagnostics() {
    return processRegistry().diagnostics();
}

bool processRegistryLoaded() {
    return state().loaded.load(std::memory_order_acquire);
}

const std::string& prefixDir() {
    State& s = state();
    if (s.configured.load(std::memory_order_acquire))
        return s.config.prefix;
    std::lock_guard lock(s.mutex);
    return currentConfig(s).prefix;
}

void useEmptyRegistry() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.registry.clear();
    s.loaded = true;
}

} // namespace tavlo::platform::portable
