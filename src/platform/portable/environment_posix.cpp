#include "platform/portable/environment_posix.h"

#include "platform/portable/file_stamp_posix.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <utility>

namespace tavlo::platform::portable {

namespace {

// One loading of the configured files: the registry and, for each file, what its stat said
// before it was read and whether it was read.
struct Snapshot {
    MemoryRegistry registry;
    std::vector<std::string> files;
    std::vector<FileStamp> stamps;
    std::vector<bool> read;
    std::int64_t readAt = 0; // wall clock
};

// Every registry call asks for the registry. Once it is loaded its readers take the current
// snapshot with one atomic load, after one acquire load (a plain load on x86) and a clock read
// that say no look at the files is due; everything else happens under the lock.
//
// A replaced snapshot is kept until no reader is between taking it and leaving (readers counts
// them), then freed; open keys hold the storage they read, not the snapshot. A reader counts
// itself before it takes the pointer, and the replacer publishes before it counts the readers,
// both in one total order: a count of zero means no reader can still take the old one.
struct State {
    std::mutex mutex;
    std::atomic<bool> configured = false;
    PortableConfig config;
    std::vector<Diagnostic> problems; // why no registry is read
    std::atomic<bool> loaded = false;
    std::atomic<Snapshot*> current = nullptr;
    std::vector<std::unique_ptr<Snapshot>> retired;
    std::atomic<int> readers = 0;
    // Steady clock, in nanoseconds: no look before then. Zero while nothing is loaded.
    std::atomic<std::int64_t> nextLook = 0;
    std::vector<FileStamp> seen;      // what the last look saw
    std::vector<Diagnostic> followed; // why the current snapshot is older than the files

    ~State() { delete current.load(); }
};

State& state() {
    static State instance;
    return instance;
}

std::int64_t steadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
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

// What the configuration reads, and into which hive.
std::vector<std::pair<std::string, Hive>> filesOf(const State& s) {
    std::vector<std::pair<std::string, Hive>> files;
    if (!s.problems.empty()) {
        // Nothing is read: the registry is empty, and its problems say why.
    } else if (!s.config.registryFiles.empty()) {
        for (const auto& file : s.config.registryFiles)
            files.emplace_back(file, Hive::LocalMachine);
    } else if (!s.config.prefix.empty()) {
        // A prefix that doesn't exist simply gives an empty registry: the library then
        // answers as on a machine where nothing is installed.
        files.emplace_back(s.config.prefix + "/system.reg", Hive::LocalMachine);
        files.emplace_back(s.config.prefix + "/user.reg", Hive::CurrentUser);
    }
    return files;
}

std::unique_ptr<Snapshot> load(const State& s) {
    auto snapshot = std::make_unique<Snapshot>();
    for (const Diagnostic& problem : s.problems)
        snapshot->registry.report(problem);
    snapshot->readAt = wallClockNow();
    for (const auto& [file, hive] : filesOf(s)) {
        snapshot->files.push_back(file);
        snapshot->stamps.push_back(stampOf(file));
        snapshot->read.push_back(loadRegistryFile(snapshot->registry, file, hive));
    }
    return snapshot;
}

// Under the lock.
void freeRetired(State& s) {
    if (!s.retired.empty() && s.readers.load() == 0)
        s.retired.clear();
}

// Under the lock.
void publish(State& s, std::unique_ptr<Snapshot> snapshot) {
    s.seen = snapshot->stamps;
    Snapshot* old = s.current.exchange(snapshot.release());
    if (old)
        s.retired.emplace_back(old);
    freeRetired(s);
}

// Files are followed when all are regular (or missing): reading a pipe or FIFO again would
// wait for a writer.
bool followable(const Snapshot& snapshot) {
    for (const FileStamp& stamp : snapshot.stamps)
        if (stamp.exists && !stamp.regular)
            return false;
    return !snapshot.files.empty();
}

// Under the lock: looks at the files, and loads them again when one changed.
void look(State& s) {
    freeRetired(s);
    const Snapshot& current = *s.current.load(std::memory_order_relaxed);
    bool changed = false;
    std::vector<FileStamp> now(current.files.size());
    for (std::size_t i = 0; i < now.size(); ++i) {
        now[i] = stampOf(current.files[i]);
        // A file read within its timestamps' granularity of a write is read again, until it was
        // read that long after its last write.
        changed |= now[i] != s.seen[i] || (now[i] == current.stamps[i] &&
                                           mayChangeUnseen(current.stamps[i], current.readAt));
    }
    if (!changed)
        return;
    std::vector<Diagnostic> problems;
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (now[i].exists && !now[i].regular)
            problems.push_back({current.files[i], 0,
                                "is no longer a regular file: what was read from it before "
                                "stays in use"});
        else if (!now[i].exists && current.read[i])
            problems.push_back(
                {current.files[i], 0, "is gone: what was read from it before stays in use"});
    }
    if (problems.empty()) {
        std::unique_ptr<Snapshot> next = load(s);
        for (std::size_t i = 0; i < next->files.size(); ++i) {
            if (!current.read[i] || next->read[i])
                continue;
            for (Diagnostic& d : next->registry.diagnostics())
                if (d.file == next->files[i])
                    problems.push_back(std::move(d));
            problems.push_back({current.files[i], 0,
                                "can't be read now: what was read from it before stays in use"});
        }
        if (problems.empty()) {
            s.followed.clear();
            publish(s, std::move(next));
            return;
        }
    }
    // Not looked at again until it changes again.
    s.seen = std::move(now);
    s.followed = std::move(problems);
}

// Under the lock.
void loadFirst(State& s) {
    currentConfig(s);
    s.followed.clear();
    publish(s, load(s));
    s.loaded.store(true, std::memory_order_release);
}

// The snapshot to read, after loading it or looking at its files when that is due.
void follow(State& s) {
    const std::int64_t now = steadyNow();
    if (now < s.nextLook.load(std::memory_order_acquire))
        return;
    std::unique_lock lock(s.mutex, std::defer_lock);
    if (s.loaded.load(std::memory_order_acquire)) {
        // Another thread is looking: this one reads what is there until then.
        if (!lock.try_lock() || now < s.nextLook.load(std::memory_order_relaxed))
            return;
        look(s);
    } else {
        lock.lock();
        if (!s.loaded)
            loadFirst(s);
    }
    const bool following = s.config.follow && followable(*s.current.load());
    s.nextLook.store(following ? steadyNow() + kFollowInterval * 1'000'000
                               : std::numeric_limits<std::int64_t>::max(),
                     std::memory_order_release);
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
    if (const char* follow = std::getenv("TAVLO_FOLLOW"); follow && *follow) {
        const std::string value(follow);
        config.follow = !(value == "0" || value == "off" || value == "no" || value == "false");
    }
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
    s.nextLook.store(0, std::memory_order_relaxed);
}

MemoryRegistry& processRegistry() {
    State& s = state();
    follow(s);
    return s.current.load()->registry;
}

RegistryReading::RegistryReading() {
    State& s = state();
    follow(s);
    s.readers.fetch_add(1);
    registry_ = &s.current.load()->registry;
}

RegistryReading::~RegistryReading() {
    state().readers.fetch_sub(1, std::memory_order_release);
}

std::vector<Diagnostic> processDiagnostics() {
    State& s = state();
    std::vector<Diagnostic> list = RegistryReading().registry().diagnostics();
    std::lock_guard lock(s.mutex);
    list.insert(list.end(), s.followed.begin(), s.followed.end());
    return list;
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
    publish(s, std::make_unique<Snapshot>());
    s.followed.clear();
    s.loaded = true;
    s.nextLook.store(std::numeric_limits<std::int64_t>::max(), std::memory_order_release);
}

} // namespace tavlo::platform::portable
