// Enumerating a key of HKEY_CLASSES_ROOT that both sides hold, against enumerating its two sides
// alone: the merged view must cost about what its sides cost.
#include "comparisons.h"

#include "platform/portable/memory_registry.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

namespace tavlo::bench {

namespace {

using platform::KeyHandle;
using platform::Root;
using platform::portable::Hive;
using platform::portable::MemoryRegistry;
using platform::status::success;

std::u16string numbered(const char16_t* stem, std::size_t i) {
    std::u16string name = stem;
    for (const char c : std::to_string(i))
        name += static_cast<char16_t>(c);
    return name;
}

// 20,000 machine classes and 50 of the user's, half of those shadowing machine ones; and a class
// with 32,000 values on each side, half of the user's shadowing.
std::unique_ptr<MemoryRegistry> classTree() {
    auto registry = std::make_unique<MemoryRegistry>();
    const std::vector<std::uint8_t> data{'v', 0, 0, 0};
    for (std::size_t i = 0; i < 20000; ++i)
        registry->createKey(Hive::LocalMachine, u"Software\\Classes\\" + numbered(u".m", i));
    for (std::size_t i = 0; i < 50; ++i)
        registry->createKey(Hive::CurrentUser,
                            u"Software\\Classes\\" + numbered(i % 2 ? u".u" : u".m", i));
    for (std::size_t i = 0; i < 32000; ++i) {
        registry->setValue(Hive::LocalMachine, u"Software\\Classes\\Both", numbered(u"m", i),
                           platform::regtype::sz, data);
        registry->setValue(Hive::CurrentUser, u"Software\\Classes\\Both",
                           numbered(i % 2 ? u"u" : u"m", i), platform::regtype::sz, data);
    }
    return registry;
}

// Walks a key's sub-keys and values by index, as a caller of RegEnumKeyExW and RegEnumValueW.
std::size_t walk(MemoryRegistry& registry, Root root, const char16_t* path) {
    KeyHandle key = nullptr;
    if (registry.openKey(root, path, &key) != success)
        return 0;
    char16_t name[256];
    std::uint8_t data[16];
    std::size_t seen = 0;
    for (std::uint32_t i = 0;; ++i, ++seen) {
        std::uint32_t count = 256;
        if (registry.enumKey(key, i, name, &count) != success)
            break;
    }
    for (std::uint32_t i = 0;; ++i, ++seen) {
        std::uint32_t count = 256, size = sizeof data, type = 0;
        if (registry.enumValue(key, i, name, &count, &type, data, &size) != success)
            break;
    }
    registry.closeKey(key);
    return seen;
}

template <typename Fn> double timed(Fn&& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

void registerMergedView(std::vector<Row>& rows) {
    std::shared_ptr<MemoryRegistry> registry = classTree();
    auto both = [registry](benchmark::State& state) {
        double merged = 0, sides = 0;
        for (auto _ : state) {
            const double ours = timed([&] {
                benchmark::DoNotOptimize(walk(*registry, Root::ClassesRoot, u""));
                benchmark::DoNotOptimize(walk(*registry, Root::ClassesRoot, u"Both"));
            });
            const double theirs = timed([&] {
                for (const Root root : {Root::LocalMachine, Root::CurrentUser}) {
                    benchmark::DoNotOptimize(walk(*registry, root, u"Software\\Classes"));
                    benchmark::DoNotOptimize(walk(*registry, root, u"Software\\Classes\\Both"));
                }
            });
            merged += ours;
            sides += theirs;
            state.SetIterationTime(ours + theirs);
        }
        const auto n = static_cast<double>(state.iterations());
        state.counters["merged"] = merged / n;
        state.counters["sides"] = sides / n;
    };
    benchmark::RegisterBenchmark("classes/merged", both)->UseManualTime()->MinTime(0.5);
    rows.push_back({"enumerate HKCR and a class, 20,050 classes, 64,000 values",
                    "classes/merged#merged", "classes/merged#sides", "", "", "<= 2.0", 2.0});
}

} // namespace tavlo::bench
