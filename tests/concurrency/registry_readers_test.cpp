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
            text += "\"n\"=dword:" + n + "\n";
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
    // The count is read once the call is done (the call is an argument beside it).
    const auto add = [&](Status result, const void* bytes, const std::uint32_t& count,
                         std::uint32_t unit = 1) {
        out += std::to_string(result) + ";";
        out.append(static_cast<const char*>(bytes), result == status::success ? unit * count : 0);
        return result == status::success;
    };
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t count = 64, size = sizeof data, type = 0;
        if (!add(registry.enumValue(key, index, name, &count, &type, data, &size), data, size))
            break;
        const std::u16string value(name, count);
        size = sizeof data;
        add(registry.queryValue(key, value.c_str(), &type, data, &size), data, size);
    }
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t count = 64;
        if (!add(registry.enumKey(key, index, name, &count), name, count, 2))
            break;
    }
}

std::vector<std::pair<Root, std::u16string>> allKeys() {
    std::vector<std::pair<Root, std::u16string>> keys{{Root::ClassesRoot, u""}};
    for (int i = 0; i < kClasses; ++i) {
        const std::u16string name = wide(".c" + std::to_string(i));
        keys.emplace_back(Root::ClassesRoot, name);
        keys.emplace_back(Root::LocalMachine, u"Software\\Classes\\" + name);
        if (i % 3 == 0)
            keys.emplace_back(Root::CurrentUser, u"Software\\Classes\\" + name);
    }
    return keys;
}

struct Seen {
    std::vector<std::string> readers; // what each reader saw
    std::string diagnostics;
};

// The file freshly loaded, every key opened once for all readers to share, and `threads`
// readers started together. Each reads every key through the shared handle and through one of
// its own; all walk the keys in the same order, so that they meet at each key's first reads.
Seen readTogether(const std::filesystem::path& file, int threads) {
    static const auto keys = allKeys();
    MemoryRegistry registry;
    EXPECT_TRUE(loadRegistryFile(registry, file.string(), Hive::LocalMachine));
    std::vector<KeyHandle> shared;
    for (const auto& [root, path] : keys) {
        EXPECT_EQ(registry.openKey(root, path.c_str(), &shared.emplace_back()), status::success);
    }
    Seen seen{std::vector<std::string>(threads), ""};
    std::latch start(threads);
    std::vector<std::thread> readers;
    for (int t = 0; t < threads; ++t)
        readers.emplace_back([&, t] {
            start.arrive_and_wait();
            for (std::size_t i = 0; i < keys.size(); ++i) {
                KeyHandle own = nullptr;
                EXPECT_EQ(registry.openKey(keys[i].first, keys[i].second.c_str(), &own),
                          status::success);
                std::string mine, theirs;
                describe(registry, shared[i], theirs); // first, so that all meet at its first reads
                describe(registry, own, mine);
                EXPECT_EQ(mine, theirs);
                registry.closeKey(own);
                seen.readers[t] += mine;
            }
        });
    for (std::thread& reader : readers)
        reader.join();
    for (KeyHandle key : shared)
        registry.closeKey(key);
    for (const Diagnostic& d : registry.diagnostics())
        seen.diagnostics += std::to_string(d.line) + ": " + d.message + "\n";
    return seen;
}

TEST(ConcurrentReaders, SeeWhatOneReaderSees) {
    for (const bool wine : {false, true}) {
        SCOPED_TRACE(wine ? "Wine file" : "regedit file");
        const auto file = std::filesystem::temp_directory_path() /
                          ("tavlo-readers-" + std::to_string(std::random_device{}()) + ".reg");
        std::ofstream(file, std::ios::binary) << registryText(wine);
        const Seen alone = readTogether(file, 1);
        EXPECT_FALSE(alone.diagnostics.empty());
        // A few times over, each on a freshly loaded registry: a race shows only when two
        // readers meet at a key's first reads. Each bad line is reported once, as one reader
        // alone reports it.
        for (int round = 0; round < 4; ++round) {
            const Seen seen = readTogether(file, kThreads);
            for (int t = 0; t < kThreads; ++t)
                EXPECT_TRUE(seen.readers[t] == alone.readers[0]) << "reader " << t << " differs";
            EXPECT_EQ(seen.diagnostics, alone.diagnostics);
        }
        // The registries are gone, so the file can go (a file still open can't be removed on
        // Windows).
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
        std::ofstream(dir / "user.tmp", std::ios::binary)
            << "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0\n\n"
               "[T] 1764950400\n\"s\"=\""
            << n << "\"\n\"n\"=dword:" << std::hex << n << "\n";
        fs::rename(dir / "user.tmp", dir / "user.reg");
    };
    save(0);
    std::ofstream(dir / "system.reg", std::ios::binary) << "WINE REGISTRY Version 2\n";
    configure({{}, dir.string()});
    RegistryService& registry = *defaultServices().registry;
    // The file's number as the key shows it now; -1 when it can't be read or the values disagree.
    const auto read = [&](KeyHandle key) {
        std::uint32_t n = 0, size = sizeof n, textSize = 30;
        char16_t text[16] = {};
        const bool whole =
            registry.queryValue(key, u"n", nullptr, reinterpret_cast<std::uint8_t*>(&n), &size) ==
                status::success &&
            registry.queryValue(key, u"s", nullptr, reinterpret_cast<std::uint8_t*>(text),
                                &textSize) == status::success &&
            std::u16string(text) == wide(std::to_string(n));
        return whole ? static_cast<int>(n) : -1;
    };
    const auto readAnew = [&] {
        KeyHandle key = nullptr;
        if (registry.openKey(Root::CurrentUser, u"T", &key) != status::success)
            return -2;
        const int n = read(key);
        registry.closeKey(key);
        return n;
    };
    constexpr int kReaders = 4, kFiles = 30;
    std::atomic<bool> saved = false;
    std::vector<std::string> wrong(kReaders);
    std::latch start(kReaders + 1);
    std::vector<std::thread> readers;
    for (int t = 0; t < kReaders; ++t)
        readers.emplace_back([&, t] {
            KeyHandle before = nullptr;
            if (registry.openKey(Root::CurrentUser, u"T", &before) != status::success)
                wrong[t] += "can't open the key at first; ";
            start.arrive_and_wait();
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            for (int last = 0; last != kFiles && std::chrono::steady_clock::now() < deadline;) {
                const bool done = saved.load();
                const int n = readAnew();
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
    for (int t = 0; t < kReaders; ++t)
        EXPECT_EQ(wrong[t], "") << "reader " << t;
    EXPECT_EQ(readAnew(), kFiles);
    configure(configFromEnvironment());
    fs::remove_all(dir);
}
#endif

} // namespace
} // namespace tavlo::platform::portable
