#include "comparisons.h"

#include "generate.h"

#include "frame/app.h"
#include "frame/state.h"
#include "platform/portable/environment_posix.h"
#include "platform/portable/reg_file.h"
#include "tavlo/tavlo.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tavlo::bench {

namespace {

namespace fs = std::filesystem;
using platform::KeyHandle;
using platform::RegistryService;
using platform::Root;
using platform::Status;
using platform::portable::Hive;
using platform::portable::MemoryRegistry;

std::u16string wide(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// Runs a program to its end, its output discarded or kept; throws when it fails.
std::string run(const std::vector<std::string>& args, bool keepOutput = false) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int out[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (keepOutput) {
        if (pipe(out) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    std::string output;
    if (keepOutput) {
        close(out[1]);
        char buffer[4096];
        for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
            output.append(buffer, static_cast<std::size_t>(n));
        close(out[0]);
    }
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + " failed");
    return output;
}

// Wall-clock time throughout: the peers are other processes. A load times itself (manual).
template <typename Fn>
benchmark::internal::Benchmark* add(const std::string& name, Fn&& fn, bool manual = false) {
    auto* registered = benchmark::RegisterBenchmark(name.c_str(), std::forward<Fn>(fn));
    return manual ? registered->UseManualTime() : registered->UseRealTime();
}

template <typename Fn> double timed(Fn&& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The sides of a comparison, measured in turn within every iteration so that all of them see
// the machine as busy as it is then: each one's mean becomes a counter.
class Sides {
public:
    void add(const std::string& side, double seconds) { totals_[side] += seconds; }
    void report(benchmark::State& state, double callsPerIteration = 1) const {
        const double calls = static_cast<double>(state.iterations()) * callsPerIteration;
        for (const auto& [side, total] : totals_)
            state.counters[side] = total / calls;
    }

private:
    std::map<std::string, double> totals_;
};

// --- the process registry ---------------------------------------------------------------------

std::string configured;

// Points the library at a Wine prefix, to be loaded on its next use.
void configurePrefix(const std::string& prefix) {
    platform::portable::configure({{}, prefix});
    configured = prefix;
}

// The same, loaded, unless that is done already: every comparison that reads a prefix makes
// sure it reads its own, whatever ran before it.
void usePrefix(const std::string& prefix) {
    if (configured != prefix)
        configurePrefix(prefix);
    platform::portable::processRegistry();
}

// --- 1. file search ---------------------------------------------------------------------------

void fileSearch(const std::string& dataDir, std::vector<Row>& rows) {
    const std::string empty = dataDir + "/empty";
    fs::create_directories(empty);
    for (const std::size_t entries : {10000, 100000, 200000}) {
        const SearchTree tree = searchTree(dataDir, entries);
        // find's walk must end where the plain listing-order walk ends, and both searches
        // must stop at that one entry.
        const std::string walk = run({"find", tree.root}, true);
        const std::string last = tree.root + "/" + tree.found + "\n";
        if (walk.size() < last.size() || walk.compare(walk.size() - last.size(), last.size(), last))
            throw std::runtime_error("find walks " + tree.root + " in another order");
        std::u16string expected = wide(tree.found);
        std::replace(expected.begin(), expected.end(), u'/', u'\\');
        expected = wide(tree.root) + u'\\' + expected;
        expected.replace(expected.rfind(u'\\') + 1, std::u16string::npos, wide(tree.sought));
        const std::u16string root = wide(tree.root), sought = wide(tree.sought);
        char16_t buffer[1024] = {};
        if (!FindFilePath(root.c_str(), sought.c_str(), buffer, 1024) || buffer != expected)
            throw std::runtime_error("FindFilePath misses the last entry of " + tree.root);

        const std::string size = std::to_string(entries / 1000) + "k", id = "search/" + size;
        auto search = [root, sought, tree, empty](benchmark::State& state) {
            Sides sides;
            char16_t out[1024];
            for (auto _ : state) {
                const double ours = timed([&] {
                    benchmark::DoNotOptimize(FindFilePath(root.c_str(), sought.c_str(), out, 1024));
                });
                const double find = timed([&] {
                    run({"find", tree.root, "-iname", tree.sought, "-print", "-quit"});
                });
                const double startup = timed([&] {
                    run({"find", empty, "-iname", "x", "-print", "-quit"});
                });
                sides.add("tavlo", ours);
                sides.add("find", find);
                sides.add("startup", startup);
                state.SetIterationTime(ours + find + startup);
            }
            sides.report(state);
        };
        add(id, search, true);
        rows.push_back({"file search, " + size + " entries", id + "#tavlo", id + "#find",
                        id + "#startup", "", "<= 1.0", 1.0});
    }
}

// --- 2. getters -------------------------------------------------------------------------------

// One registry call as a getter made it, to be made again straight on the backend.
struct Call {
    enum class Op { Open, Query, Close } op;
    std::size_t key = 0; // which of the recorded opens
    Root root = Root::LocalMachine;
    std::u16string path, name;
    bool named = false, typed = false, withData = false, sized = false;
    std::uint32_t size = 0;
};

class RecordingRegistry final : public RegistryService {
public:
    explicit RecordingRegistry(RegistryService& real) : real_(real) {}
    RegistryService& real() { return real_; }
    std::vector<Call> calls;

    Status openKey(Root root, const char16_t* subKey, KeyHandle* key) override {
        const Status result = real_.openKey(root, subKey, key);
        calls.push_back({Call::Op::Open, opened_, root, subKey ? subKey : u"", u""});
        if (result == platform::status::success)
            keys_[*key] = opened_;
        ++opened_;
        return result;
    }
    Status queryValue(KeyHandle key, const char16_t* name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override {
        calls.push_back({Call::Op::Query, keys_.at(key), Root::LocalMachine, u"", name ? name : u"",
                         name != nullptr, type != nullptr, data != nullptr, size != nullptr,
                         size ? *size : 0});
        return real_.queryValue(key, name, type, data, size);
    }
    Status enumValue(KeyHandle, std::uint32_t, char16_t*, std::uint32_t*, std::uint32_t*,
                     std::uint8_t*, std::uint32_t*) override {
        throw std::logic_error("a getter enumerates values");
    }
    Status enumKey(KeyHandle, std::uint32_t, char16_t*, std::uint32_t*) override {
        throw std::logic_error("a getter enumerates keys");
    }
    void closeKey(KeyHandle key) override {
        calls.push_back({Call::Op::Close, keys_.at(key), Root::LocalMachine, u"", u""});
        real_.closeKey(key);
    }

private:
    RegistryService& real_;
    std::map<KeyHandle, std::size_t> keys_;
    std::size_t opened_ = 0;
};

// The recorded calls made again: the least any getter giving the same answers must do.
void replay(const std::vector<Call>& calls, RegistryService& backend, std::vector<KeyHandle>& keys,
            std::vector<std::uint8_t>& buffer) {
    for (const Call& call : calls) {
        switch (call.op) {
        case Call::Op::Open:
            backend.openKey(call.root, call.path.c_str(), &keys[call.key]);
            break;
        case Call::Op::Query: {
            std::uint32_t type = 0, size = call.size;
            backend.queryValue(keys[call.key], call.named ? call.name.c_str() : nullptr,
                               call.typed ? &type : nullptr,
                               call.withData ? buffer.data() : nullptr,
                               call.sized ? &size : nullptr);
            break;
        }
        case Call::Op::Close:
            backend.closeKey(keys[call.key]);
            break;
        }
    }
}

void getters(std::vector<Row>& rows) {
    static char16_t buffer[1024];
    static std::uint32_t number;
    // Every flat export that reads the registry once the app key is known.
    const std::pair<const char*, std::function<void()>> getters[] = {
        {"_GetAppDirectory", [] { benchmark::DoNotOptimize(_GetAppDirectory()); }},
        {"_GetAutospoolCommandString",
         [] { benchmark::DoNotOptimize(_GetAutospoolCommandString()); }},
        {"_GetCurrentPlotStylePolicy",
         [] { benchmark::DoNotOptimize(_GetCurrentPlotStylePolicy()); }},
        {"_GetDefaultLoginName", [] { benchmark::DoNotOptimize(_GetDefaultLoginName()); }},
        {"_GetDefaultPlotStyleTable",
         [] { benchmark::DoNotOptimize(_GetDefaultPlotStyleTable()); }},
        {"_GetDefaultPlotToFile", [] { benchmark::DoNotOptimize(_GetDefaultPlotToFile()); }},
        {"_GetDriverDirectory", [] { benchmark::DoNotOptimize(_GetDriverDirectory()); }},
        {"_GetHKeyLocalMachineString",
         [] { _GetHKeyLocalMachineString(buffer, u"ProductName", 1024); }},
        {"_GetHelpDirectory", [] { benchmark::DoNotOptimize(_GetHelpDirectory()); }},
        {"_GetHideSystemPrinters", [] { benchmark::DoNotOptimize(_GetHideSystemPrinters()); }},
        {"_GetLanguage", [] { benchmark::DoNotOptimize(_GetLanguage()); }},
        {"_GetLogFileDirectory", [] { benchmark::DoNotOptimize(_GetLogFileDirectory()); }},
        {"_GetPMPDirectory", [] { benchmark::DoNotOptimize(_GetPMPDirectory()); }},
        {"_GetPlotSpoolerDirectory", [] { benchmark::DoNotOptimize(_GetPlotSpoolerDirectory()); }},
        {"_GetPlotStylesDirectory", [] { benchmark::DoNotOptimize(_GetPlotStylesDirectory()); }},
        {"_GetPlottersDirectory", [] { benchmark::DoNotOptimize(_GetPlottersDirectory()); }},
        {"_GetProductName", [] { benchmark::DoNotOptimize(_GetProductName()); }},
        {"_GetProfileDirectory",
         [] { _GetProfileDirectory(buffer, u"General", u"PrinterConfigDir", u"Plotters"); }},
        {"_GetProfileDirectoryFromPathname",
         [] { _GetProfileDirectoryFromPathname(buffer, u"General", u"KORAHELP", u"Help"); }},
        {"_GetProfileStr", [] { _GetProfileStr(buffer, u"General", u"KORA", 1024); }},
        {"_GetSupportFileSearchPath",
         [] { benchmark::DoNotOptimize(_GetSupportFileSearchPath()); }},
        {"__GetProfileDirectory",
         [] { __GetProfileDirectory(buffer, 1024, u"General", u"PrinterConfigDir", u"Plotters"); }},
        {"GetProfileDWord", [] { GetProfileDWord(&number, u"General", u"RASTERTHRESHOLD"); }},
    };
    const std::string demo = fs::canonical(TAVLO_DEMO_PREFIX).string();
    usePrefix(demo);
    if (std::u16string(_GetAppKey(nullptr)) != u"SOFTWARE\\Veltrane\\Corvida\\R1\\KORA-7:1")
        throw std::runtime_error("the demo prefix gives another app key");
    for (const auto& [name, getter] : getters) {
        // What a call does once the library is warm: the same state as the timed calls, its
        // registry watched for the second call.
        platform::RegistryService*& registry = frame::state().services.registry;
        RecordingRegistry recorder(*registry);
        getter();
        registry = &recorder;
        getter();
        registry = &recorder.real();
        std::uint32_t largest = 0;
        for (const Call& call : recorder.calls)
            largest = std::max(largest, call.size);
        // Both sides in turn, a batch at a time, so that both see the machine as it is then.
        const std::string id = std::string("getter/") + name;
        auto both = [demo, getter, calls = recorder.calls, largest](benchmark::State& state) {
            constexpr int kBatch = 256;
            usePrefix(demo);
            RegistryService& backend = *platform::defaultServices().registry;
            std::vector<KeyHandle> keys(calls.size());
            std::vector<std::uint8_t> data(largest);
            Sides sides;
            for (auto _ : state) {
                const double ours = timed([&] {
                    for (int i = 0; i < kBatch; ++i)
                        getter();
                });
                const double theirs = timed([&] {
                    for (int i = 0; i < kBatch; ++i)
                        replay(calls, backend, keys, data);
                });
                sides.add("tavlo", ours);
                sides.add("backend", theirs);
                state.SetIterationTime(ours + theirs);
            }
            sides.report(state, kBatch);
        };
        add(id, both, true)->MinTime(0.3);
        if (recorder.calls.empty())
            rows.push_back({std::string(name) + " (reads nothing once warm)", id + "#tavlo", "", "",
                            "", "-", INFINITY});
        else
            rows.push_back({name, id + "#tavlo", id + "#backend", "", "", "<= 1.3", 1.3});
    }
}

// --- 3. registry files ------------------------------------------------------------------------

void registryFiles(const std::string& dataDir, std::vector<Row>& rows) {
    const std::string empty = dataDir + "/empty.txt";
    std::ofstream{empty};
    struct Input {
        RegFormat format;
        RegShape shape;
        std::size_t megabytes;
    };
    constexpr Input kInputs[] = {
        {RegFormat::Wine, RegShape::Mixed, 10},     {RegFormat::Wine, RegShape::Mixed, 100},
        {RegFormat::Wine, RegShape::KeyDense, 10},  {RegFormat::Regedit, RegShape::Mixed, 10},
        {RegFormat::Regedit, RegShape::Mixed, 100},
    };
    for (const auto& [format, shape, megabytes] : kInputs) {
        const std::string path = registryFile(dataDir, format, megabytes * 1000000, shape);
        const std::string kind = std::string(format == RegFormat::Wine ? "Wine" : "regedit") +
                                 (shape == RegShape::KeyDense ? " key-dense" : "");
        const std::string size = std::to_string(megabytes) + "MB";
        // In a fresh process each time, as a program loads it: the pages a load takes
        // cost what they cost the first time.
        auto load = [path, empty](benchmark::State& state) {
            Sides sides;
            double bytes = 0;
            for (auto _ : state) {
                std::istringstream measured(run({"/proc/self/exe", "--load", path}, true));
                double ours = 0, all = 0;
                measured >> ours >> bytes >> all;
                const double wc = timed([&] { run({"wc", "-l", path}); });
                const double startup = timed([&] { run({"wc", "-l", empty}); });
                sides.add("tavlo", ours);
                sides.add("wc", wc);
                sides.add("startup", startup);
                sides.add("all", all);
                state.SetIterationTime(ours + wc + startup);
            }
            sides.report(state);
            state.counters["bytes"] = bytes;
        };
        std::string id = "load/" + kind + "/" + size;
        std::replace(id.begin(), id.end(), ' ', '-');
        add(id, load, true);
        rows.push_back({"load " + kind + " file, " + size, id + "#tavlo", id + "#wc",
                        id + "#startup", "", "<= 3.0", 3.0});
        rows.push_back({"the same, then every value read", id + "#all", "", "", "", "-", INFINITY});
        rows.push_back({"peak memory, " + kind + " file, " + size, id, "", "", "bytes", "<= 3.0",
                        3.0, static_cast<double>(fs::file_size(path))});
    }
    // What any load pays for the memory it fills, whatever its code: on a virtual machine a
    // page's first touch can cost far more than reading a page of a cached file.
    add(
        "machine/fresh-memory",
        [](benchmark::State& state) {
            for (auto _ : state)
                state.SetIterationTime(std::stod(run({"/proc/self/exe", "--touch"}, true)));
        },
        true);
    rows.push_back({"reference: writing 100 MB of fresh memory", "machine/fresh-memory", "", "", "",
                    "-", INFINITY});
}

// --- 4. discovery -----------------------------------------------------------------------------

void discovery(const std::string& dataDir, std::vector<Row>& rows) {
    constexpr std::size_t kApps = 1000;
    const std::string prefix = cataloguePrefix(dataDir, kApps);
    // A fresh library state, as in a process that hasn't asked yet.
    auto firstCall = [] {
        const frame::LibraryState& loaded = frame::state();
        frame::ScopedState fresh(platform::defaultServices());
        fresh.get().instance = loaded.instance;
        fresh.get().resourceModule = loaded.resourceModule;
        return std::u16string(_GetAppKey(nullptr));
    };
    usePrefix(prefix);
    if (!firstCall().ends_with(u"\\TSL-1000:1"))
        throw std::runtime_error("the catalogue prefix gives another app key");
    add("discovery/tavlo", [prefix, firstCall](benchmark::State& state) {
        usePrefix(prefix);
        for (auto _ : state)
            benchmark::DoNotOptimize(firstCall());
    });
    add("discovery/tavlo/with-load", [prefix, firstCall](benchmark::State& state) {
        for (auto _ : state) {
            state.PauseTiming();
            configurePrefix(prefix);
            state.ResumeTiming();
            benchmark::DoNotOptimize(firstCall());
        }
    });
    rows.push_back({"first _GetAppKey, 1000 installed applications", "discovery/tavlo", "", "", "",
                    "<= 5 ms", 5e-3});
    rows.push_back({"the same, loading the prefix's files first", "discovery/tavlo/with-load", "",
                    "", "", "-", INFINITY});
}

// --- 5. following the registry files -------------------------------------------------------

void following(const std::string& dataDir, std::vector<Row>& rows) {
    const std::string demo = fs::canonical(TAVLO_DEMO_PREFIX).string();
    // A getter on a registry whose files are followed against one read once: the difference is
    // the look at the clock on each open, and the throttled stat.
    auto getter = [demo](benchmark::State& state) {
        constexpr int kBatch = 256;
        std::uint32_t number = 0;
        Sides sides;
        for (auto _ : state) {
            double seconds[2];
            for (const bool follow : {true, false}) {
                platform::portable::configure({{}, demo, follow});
                // Warm: the key's values read from the file once.
                GetProfileDWord(&number, u"General", u"RASTERTHRESHOLD");
                seconds[follow] = timed([&] {
                    for (int i = 0; i < kBatch; ++i)
                        GetProfileDWord(&number, u"General", u"RASTERTHRESHOLD");
                });
            }
            sides.add("on", seconds[1]);
            sides.add("off", seconds[0]);
            state.SetIterationTime(seconds[0] + seconds[1]);
        }
        configured.clear();
        sides.report(state, kBatch);
    };
    add("follow/getter", getter, true)->MinTime(0.3);
    rows.push_back({"GetProfileDWord, files followed", "follow/getter#on", "follow/getter#off", "",
                    "", "<= 1.1", 1.1});
    // What a look that finds system.reg replaced costs: a new registry loaded from it, the old
    // one freed.
    const std::string system = registryFile(dataDir, RegFormat::Wine, 2000000);
    add("follow/reload", [system](benchmark::State& state) {
        platform::portable::configure({{system}, "", true});
        platform::portable::processRegistry();
        for (auto _ : state) {
            platform::portable::configure({{system}, "", true});
            platform::portable::processRegistry();
        }
        configured.clear();
    });
    rows.push_back(
        {"reload of a 2 MB Wine system.reg", "follow/reload", "", "", "", "-", INFINITY});
}

} // namespace

std::vector<Row> registerComparisons(const std::string& dataDir) {
    fs::create_directories(dataDir);
    // What the library's start-up does when it is loaded: the resource module, beside us.
    frame::LibraryState& s = frame::state();
    if (!frame::theApp().InitInstance(
            s.services.modules->moduleContaining(reinterpret_cast<const void*>(&frame::state))))
        throw std::runtime_error("tavlo9Res.dll is not beside the program");
    std::fprintf(stderr, "Preparing the inputs in %s (once)...\n", dataDir.c_str());
    std::vector<Row> rows;
    fileSearch(dataDir, rows);
    getters(rows);
    registryFiles(dataDir, rows);
    discovery(dataDir, rows);
    registerMergedView(rows);
    following(dataDir, rows);
    return rows;
}

int measureFreshMemory() {
    constexpr std::size_t kBytes = 100000000;
    const auto start = std::chrono::steady_clock::now();
    auto* memory = static_cast<char*>(std::malloc(kBytes));
    std::memset(memory, 1, kBytes);
    benchmark::DoNotOptimize(memory);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.9f\n", took.count());
    std::free(memory);
    return 0;
}

int measureLoad(const char* path) {
    // The high-water mark of this address space only: getrusage's maximum would carry over the
    // spawning process's across exec.
    auto status = [](const std::string& field) {
        std::ifstream in("/proc/self/status");
        for (std::string line; std::getline(in, line);)
            if (line.rfind(field + ":", 0) == 0)
                return std::stol(line.substr(field.size() + 1)) * 1024;
        throw std::runtime_error("no " + field + " in /proc/self/status");
    };
    const long before = status("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    auto* registry = new MemoryRegistry;
    const bool loaded = loadRegistryFile(*registry, path, Hive::LocalMachine);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const long peak = status("VmHWM") - before;
    // What a program that went on to ask about every key would have paid in all.
    registry->readAllValues();
    const std::chrono::duration<double> all = std::chrono::steady_clock::now() - start;
    std::printf("%.9f %ld %.9f\n", took.count(), peak, all.count());
    std::fflush(stdout);
    // Without tearing the registry down: a program keeps it to its end.
    std::_Exit(loaded && registry->diagnostics().empty() ? 0 : 1);
}

} // namespace tavlo::bench
