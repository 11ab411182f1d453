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
        s.config = configFromEnvironment();
        s.configured.store(true, std::memory_order_release);
    }
    return s.config;
}

} // namespace

PortableConfig configFromEnvironment() {
    PortableConfig config;
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        config.prefix = prefix;
    else if (const char* home = std::getenv("HOME"); home && *home)
        config.prefix = std::string(home) + "/.wine";
    config.prefix = trimSlashes(config.prefix);
    if (const char* files = std::getenv("TAVLO_REGISTRY"); files && *files) {
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
    }
    return config;
}

void configure(PortableConfig config) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    config.prefix = trimSlashes(std::move(config.prefix));
    s.config = std::move(config);
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
        if (!config.registryFiles.empty()) {
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
