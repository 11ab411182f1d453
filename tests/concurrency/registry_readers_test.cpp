// Concurrent readers of the portable registry. Windows' registry may be read from any number of
// threads at once, and hosts do; the portable one reads a key's value lines (and in Wine files
// the key lines below a key three levels down) from its file on first use, under a lock, and keeps
// merged views of HKEY_CLASSES_ROOT keys per open key. Here 8 threads read the same freshly loaded
// keys at once, through shared and own handles, and must each see exactly what one thread alone
// sees. The thread-checking build (the tsan preset) runs this program to find the races a plain run
// can't show.
#include "platform/portable/reg_file.h"

#ifndef _WIN32
#include "platform/portable/environment_posix.h"
#include "platform/services.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <latch>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tavlo::platform::portable {
namespace {

constexpr int kThreads = 8;
constexpr int kClasses = 300;

std::u16string wide(const std::string& text) {
    return {text.begin(), text.end()};
}

// Machine classes .c0 .. .c299 with a few values each and a sub-key with one of its own, and
// every third one again on the user's side with values that shadow some of the machine's; one
// line in ten keys that can't be read. As regedit exports them, or as Wine keeps them (where the
// sub-keys of a class wait until first needed).
std::string registryText(bool wine) {
    std::string text =
        wine ? "WINE REGISTRY Version 2\n" : "Windows Registry Editor Version 5.00\n";
    for (const char* side : {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"}) {
        const bool user = side[5] == 'C';
        if (wine)
            text += user ? ";; All keys relative to \\\\User\\\\S-1\n"
                         : ";; All keys relative to \\\\Machine\n";
        const std::string classes =
            wine ? "[Software\\\\Classes\\\\" : "[" + std::string(side) + "\\Software\\Classes\\";
        const std::string separator = wine ? "\\\\" : "\\";
        for (int i = 0; i < kClasses; ++i) {
            if (user && i % 3 != 0)
                continue;
            const std::string n = std::to_string(i);
            text += classes + ".c" + n + "]\n";
            text += "@=\"" + std::string(user ? "user " : "machine ") + n + "\"\n";
            for (int v = user ? 2 : 0; v < (user ? 6 : 4); ++v)
                text += "\"v" + std::to_string(v) + "\"=\"" + side + " " + n + "\"\n";
            char dword[32];
            std::snprintf(dword, sizeof dword, "\"n\"=dword:%08x\n", static_cast<unsigned>(i));
            text += dword;
            if (i % 10 == 0)
                text += "\"bad\"=hex:zz\n";
            text += classes + ".c" + n + separator + "Sub]\n\n";
            text += classes + ".c" + n + separator + "Sub" + separator + (user ? "U" : "M") +
                    "]\n\"w\"=\"" + n + "\"\n";
        }
    }
    return text;
}

// Everything a reader can learn of a key: its values by index with their data, each value again
// by name, and its sub-keys.
void describe(MemoryRegistry& registry, KeyHandle key, std::string& out) {
    char16_t name[64];
    std::uint8_t data[128];
    std::vector<std::u16string> names;
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t count = 64, size = sizeof data, type = 0;
        const Status result = registry.enumValue(key, index, name, &count, &type, data, &size);
        out += std::to_string(result) + ";";
        if (result != status::success)
            break;
        names.emplace_back(name, count);
        out.append(reinterpret_cast<const char*>(data), size);
    }
    for (const std::u16string& value : names) {
        std::uint32_t size = sizeof data, type = 0;
        out += std::to_string(registry.queryValue(key, value.c_str(), &type, data, &size)) + ";";
        out.append(reinterpret_cast<const char*>(data), size);
    }
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t count = 64;
        const Status result = registry.enumKey(key, index, name, &count);
        out += std::to_string(result) + ";";
        if (result != status::success)
            break;
        out.append(reinterpret_cast<const char*>(name), 2 * count);
    }
}

struct Keys {
    std::vector<std::pair<Root, std::u16string>> paths;
    Keys() {
        paths.emplace_back(Root::ClassesRoot, u"");
        for (int i = 0; i < kClasses; ++i) {
            const std::u16string name = wide(".c" + std::to_string(i));
            paths.emplace_back(Root::ClassesRoot, name);
            paths.emplace_back(Root::LocalMachine, u"Software\\Classes\\" + name);
            if (i % 3 == 0)
                paths.emplace_back(Root::CurrentUser, u"Software\\Classes\\" + name);
        }
    }
};

// Every key through a handle opened now, and through the handle shared by all readers. All
// readers walk the keys in the same order, so that they meet at each key's first reads.
std::string readAll(MemoryRegistry& registry, const Keys& keys,
                    const std::vector<KeyHandle>& shared) {
    std::string out;
    for (std::size_t i = 0; i < keys.paths.size(); ++i) {
        const auto& [root, path] = keys.paths[i];
        KeyHandle own = nullptr;
        EXPECT_EQ(registry.openKey(root, path.c_str(), &own), status::success);
        std::string mine, theirs;
        describe(registry, shared[i], theirs); // first, so that all meet at its first reads
        describe(registry, own, mine);
        EXPECT_EQ(mine, theirs);
        registry.closeKey(own);
        out += mine;
    }
    return out;
}

std::vector<KeyHandle> openAll(MemoryRegistry& registry, const Keys& keys) {
    std::vector<KeyHandle> handles;
    for (const auto& [root, path] : keys.paths) {
        KeyHandle key = nullptr;
        EXPECT_EQ(registry.openKey(root, path.c_str(), &key), status::success);
        handles.push_back(key);
    }
    return handles;
}

// Both registries read the file; it goes once they are gone (a file still open can't be
// removed on Windows).
void readConcurrently(const std::filesystem::path& file) {
    const Keys keys;
    std::string expected;
    MemoryRegistry alone;
    ASSERT_TRUE(loadRegistryFile(alone, file.string(), Hive::LocalMachine));
    {
        const std::vector<KeyHandle> shared = openAll(alone, keys);
        expected = readAll(alone, keys, shared);
        for (KeyHandle key : shared)
            alone.closeKey(key);
    }
    const auto lines = [](const MemoryRegistry& r) {
        std::string out;
        for (const Diagnostic& d : r.diagnostics())
            out += std::to_string(d.line) + ": " + d.message + "\n";
        return out;
    };
    EXPECT_FALSE(lines(alone).empty());
    // A few times over, each on a freshly loaded registry: a race shows only when two readers
    // meet at a key's first reads.
    for (int round = 0; round < 4; ++round) {
        MemoryRegistry registry;
        ASSERT_TRUE(loadRegistryFile(registry, file.string(), Hive::LocalMachine));
        const std::vector<KeyHandle> shared = openAll(registry, keys);
        std::vector<std::string> seen(kThreads);
        std::latch start(kThreads);
        std::vector<std::thread> readers;
        for (int t = 0; t < kThreads; ++t)
            readers.emplace_back([&, t] {
                start.arrive_and_wait();
                seen[t] = readAll(registry, keys, shared);
            });
        for (std::thread& reader : readers)
            reader.join();
        for (int t = 0; t < kThreads; ++t)
            EXPECT_TRUE(seen[t] == expected) << "reader " << t << " saw something else";
        // Each bad line reported once, as one reader alone reports it.
        EXPECT_EQ(lines(registry), lines(alone));
        for (KeyHandle key : shared)
            registry.closeKey(key);
    }
}

TEST(ConcurrentReaders, SeeWhatOneReaderSees) {
    for (const bool wine : {false, true}) {
        const auto file = std::filesystem::temp_directory_path() /
                          ("tavlo-readers-" + std::to_string(std::random_device{}()) + ".reg");
        std::ofstream(file, std::ios::binary) << registryText(wine);
        readConcurrently(file);
        std::filesystem::remove(file);
    }
}

#ifndef _WIN32
// The process registry follows its files while a host runs: 4 threads read one key while
// user.reg is replaced over and over, as wineserver saves it. Each reading is one whole file
// (the key's two values agree), no reader goes back to an older file, a key opened before keeps
// its own reading, and all end on the last file.
TEST(ConcurrentReaders, ReadWhileTheFilesAreReplaced) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("tavlo-followed-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    const auto save = [&](int n) {
        const std::string number = std::to_string(n);
        std::ofstream(dir / "user.tmp", std::ios::binary)
            << "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0\n\n"
               "[T] 1764950400\n\"s\"=\""
            << number << "\"\n\"n\"=dword:" << std::hex << n << "\n";
        fs::rename(dir / "user.tmp", dir / "user.reg");
    };
    save(0);
    std::ofstream(dir / "system.reg", std::ios::binary) << "WINE REGISTRY Version 2\n";
    configure({{}, dir.string()});
    RegistryService& registry = *defaultServices().registry;
    // -1 when the two values disagree.
    const auto read = [&](KeyHandle key) {
        std::uint32_t n = 0, size = sizeof n;
        char16_t text[16] = {};
        std::uint32_t textSize = sizeof text - 2;
        if (registry.queryValue(key, u"n", nullptr, reinterpret_cast<std::uint8_t*>(&n), &size) !=
                status::success ||
            registry.queryValue(key, u"s", nullptr, reinterpret_cast<std::uint8_t*>(text),
                                &textSize) != status::success ||
            std::u16string(text) != wide(std::to_string(n)))
            return -1;
        return static_cast<int>(n);
    };
    constexpr int kThreads = 4, kFiles = 30;
    std::atomic<bool> saved = false;
    std::vector<std::string> wrong(kThreads);
    std::latch start(kThreads + 1);
    std::vector<std::thread> readers;
    for (int t = 0; t < kThreads; ++t)
        readers.emplace_back([&, t] {
            KeyHandle before = nullptr;
            if (registry.openKey(Root::CurrentUser, u"T", &before) != status::success)
                wrong[t] += "can't open the key at first; ";
            start.arrive_and_wait();
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            for (int last = 0; last != kFiles && std::chrono::steady_clock::now() < deadline;) {
                KeyHandle key = nullptr;
                const bool done = saved.load();
                if (registry.openKey(Root::CurrentUser, u"T", &key) != status::success) {
                    wrong[t] += "can't open the key; ";
                    break;
                }
                const int n = read(key);
                registry.closeKey(key);
                if (n < last)
                    wrong[t] +=
                        "read " + std::to_string(n) + " after " + std::to_string(last) + "; ";
                last = std::max(last, n);
                if (read(before) != 0)
                    wrong[t] += "the key opened before changed; ";
                if (done && n != kFiles)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            registry.closeKey(before);
        });
    start.arrive_and_wait();
    for (int n = 1; n <= kFiles; ++n) {
        save(n);
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    saved = true;
    for (std::thread& reader : readers)
        reader.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(wrong[t], "") << "reader " << t;
    KeyHandle key = nullptr;
    ASSERT_EQ(registry.openKey(Root::CurrentUser, u"T", &key), status::success);
    EXPECT_EQ(read(key), kFiles);
    registry.closeKey(key);
    configure(configFromEnvironment());
    fs::remove_all(dir);
}
#endif

} // namespace
} // namespace tavlo::platform::portable
