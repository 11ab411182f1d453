// Registry files as users' machines hand them over: things that aren't regular files (pipes,
// FIFOs nobody writes to, directories, devices), UTF-16 files with a byte too many or too few,
// line ends of every kind, key names no program can name, and environments that name no
// registry. The loader and its registry are built into the Windows test programs too: what can
// exist on Windows runs there under Wine as well. Standard C++ but for POSIX-only cases.
#include "platform/portable/reg_file.h"
#include "reg_file_views.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include "platform/portable/environment_posix.h"
#include "platform/services.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using namespace tavlo::platform;
using namespace tavlo::platform::portable;
using namespace std::literals;
namespace fs = std::filesystem;

// A fresh folder for the running test, and a file's path in it.
struct TempDir {
    fs::path path = tavlo::test::freshTestFolder(
        fs::path("registry_files") /
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

using tavlo::test::utf16File;
using tavlo::test::valueList;
using tavlo::test::writeFile;

// Every problem as "line: message" ("file:line: message"), after every key's values are read.
std::string problems(MemoryRegistry& registry, bool file = false) {
    registry.readAllValues();
    return tavlo::test::problemLines(registry.diagnostics(), file);
}

// The tree below HKEY_CURRENT_USER\T, from T\path on.
std::u16string tree(RegistryService& registry, const std::u16string& path = u"") {
    return tavlo::test::keyTree(registry, Root::CurrentUser, u"T", path);
}

// A test's text loaded from memory and from a file (read in blocks, its values read again from
// the file): both must give the same.
template <class Check> void loadBothWays(const std::string& text, Check&& check) {
    TempDir dir;
    writeFile(dir / "t.reg", text);
    for (const bool file : {false, true}) {
        SCOPED_TRACE(file ? "from a file" : "from memory");
        MemoryRegistry registry;
        file ? loadRegistryFile(registry, dir / "t.reg", Hive::CurrentUser)
             : loadRegistryText(registry, text, "t.reg", Hive::CurrentUser);
        check(registry);
    }
}

TEST(HostileRegistryFiles, WhatCantBeReadIsRefusedWithItsReason) {
    TempDir dir;
    writeFile(dir / "file.reg", "REGEDIT4\n");
    fs::create_directory(dir.path / "folder.reg");
    struct Row {
        std::string path;
        std::string message;
    };
    std::vector<Row> rows = {
        {dir / "missing.reg", "the file can't be opened: no such file"},
        {dir / "folder.reg", "the file can't be read: it is a directory"},
    };
#ifndef _WIN32
    rows.push_back({dir / "file.reg/x", "the file can't be opened: a folder on its path is not "
                                        "a folder"});
    rows.push_back({"/dev/null", "the file can't be read: it is a device"});
    ASSERT_EQ(mknod((dir / "socket.reg").c_str(), S_IFSOCK | 0600, 0), 0);
    rows.push_back({dir / "socket.reg", "the file can't be read: it is a socket"});
    // Permissions don't hold back the superuser.
    if (geteuid() != 0) {
        writeFile(dir / "locked.reg", "REGEDIT4\n");
        chmod((dir / "locked.reg").c_str(), 0);
        rows.push_back({dir / "locked.reg", "the file can't be opened: permission denied"});
    }
#endif
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        MemoryRegistry registry;
        EXPECT_FALSE(loadRegistryFile(registry, row.path, Hive::LocalMachine));
        EXPECT_EQ(problems(registry, true), row.path + ":0: " + row.message + "\n");
    }
}

// Each line end in turn from the row's list, across files big enough to be read in several
// blocks, so that a carriage return and its line feed also fall into different blocks.
TEST(HostileRegistryFiles, LineEndsOfEveryKind) {
    constexpr int kKeys = 2500;
    const std::vector<std::string_view> endings[] = {
        {"\n"},
        {"\r\n"},
        {"\r"},
        // Never a line feed right after a lone carriage return: those two are one line end.
        {"\r", "\r\n", "\n", "\n", "\r", "\r", "\r\n"},
    };
    struct Format {
        std::vector<std::string> header;
        std::string key, keyEnd; // a key line, around the key's number
        bool utf16 = false;
    };
    const std::string regedit5 = "Windows Registry Editor Version 5.00",
                      user = "[HKEY_CURRENT_USER\\T\\K";
    const Format formats[] = {
        {{regedit5}, user, "]"},
        {{regedit5}, user, "]", true},
        {{"REGEDIT4"}, user, "]"},
        {{"WINE REGISTRY Version 2", ";; All keys relative to \\\\User\\\\S-1"}, "[T\\\\K", "] 1"},
    };
    for (const auto& ends : endings) {
        for (const Format& format : formats) {
            SCOPED_TRACE(std::to_string(&ends - endings) + " " + std::to_string(&format - formats));
            std::size_t lines = 0;
            std::string text;
            auto line = [&](const std::string& content) {
                text += content;
                text += ends[lines++ % ends.size()];
            };
            for (const std::string& header : format.header)
                line(header);
            for (int i = 0; i < kKeys; ++i) {
                const std::string n = std::to_string(i);
                line(format.key + n + format.keyEnd);
                line("\"v\"=\"" + n + "\"");
                if (i % 3 == 0)
                    line("");
                line("\"h\"=hex:3" + n.substr(n.size() - 1) + ",\\");
                line("  00,01");
            }
            line("bad");
            const std::string file = format.utf16 ? utf16File(text) : text;
            loadBothWays(file, [&](MemoryRegistry& registry) {
                EXPECT_EQ(problems(registry),
                          std::to_string(lines) + ": line not understood: skipped\n");
                for (int i = 0; i < kKeys; i += 499) {
                    const std::string digits = std::to_string(i);
                    const std::u16string n(digits.begin(), digits.end());
                    EXPECT_EQ(tree(registry, u"\\K" + n), u"K" + n + u" v=" + n + u" h=#3" +
                                                              n.substr(n.size() - 1) + u"0001\n");
                }
            });
        }
    }
}

// A file is read in blocks of 64 KiB: a carriage return that ends the first block may be half of
// a line end whose line feed only the next block holds, after a key line or a value line. The
// key after it, and the line numbers of its lines, come from the count of the load.
TEST(HostileRegistryFiles, LineEndSplitBetweenBlocks) {
    for (const bool utf16 : {false, true}) {
        for (const bool keyLine : {false, true}) {
            SCOPED_TRACE(std::string(utf16 ? "UTF-16" : "8-bit") + (keyLine ? ", key" : ", value"));
            std::string text = "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\T]\r\n";
            const std::string last = keyLine ? "[HKEY_CURRENT_USER\\T\\K]" : "\"g\"=\"2\"";
            // Where the carriage return must lie, in units after the byte order mark.
            const std::size_t at = utf16 ? 32766 : 65535;
            text += "\"f\"=\"" + std::string(at - text.size() - last.size() - 8, 'x') + "\"\r\n";
            text += last + "\r\n[HKEY_CURRENT_USER\\T\\L]\r\n\"v\"=\"1\"\r\n\r\nbad\r\n";
            ASSERT_EQ(text.find(last + "\r") + last.size(), at);
            loadBothWays(utf16 ? utf16File(text) : text, [&](MemoryRegistry& registry) {
                EXPECT_EQ(problems(registry), "8: line not understood: skipped\n");
                EXPECT_TRUE(tree(registry).ends_with(keyLine ? u"\nK\nL v=1\n" : u" g=2\nL v=1\n"));
            });
        }
    }
}

// Lines 2-12 of a UTF-16 file with a byte added just before before (else the byte before it
// lost); key V's line is line 8, line 12 can't be read.
std::string outOfStep(std::u16string_view before, bool insert) {
    const std::u16string text = u"Windows Registry Editor Version 5.00\r\n"
                                u"[HKEY_CURRENT_USER\\T]\r\n\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n"
                                u"\"c\"=\"3\"\r\n[HKEY_CURRENT_USER\\T\\U]\r\n\"d\"=\"4\"\r\n"
                                u"[HKEY_CURRENT_USER\\T\\V]\r\n\"e\"=\"5\"\r\n"
                                u"[HKEY_CURRENT_USER\\T\\W]\r\n\"f\"=\"6\"\r\nbad\r\n";
    std::string file = utf16File(text);
    const std::size_t at = 2 + 2 * text.find(before);
    return insert ? file.insert(at, 1, 'Z') : file.erase(at - 1, 1);
}

// A stray byte in UTF-16 costs its own line and nothing more: the rest of the file reads in step
// again, and a key line it damages takes its values with it rather than giving them to the key
// before. Windows keeps a key whose name holds an unpaired surrogate: it is named by its UTF-16
// units like any other. A null in a name is another matter: no program can name that key, and
// opening it by the name enumeration gives opens the key the name stops at.
TEST(HostileRegistryFiles, StrayBytesAndKeyNamesNoProgramCanName) {
    const std::string wine = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1\n";
    const std::u16string regedit = u"Windows Registry Editor Version 5.00\r\n";
    const std::string
        nullSkipped = "key name holds a null character, which no program can name: key skipped\n",
        stray = ": a byte too many or too few in this UTF-16 line: ",
        bad = "12: line not understood: skipped\n";
    const struct {
        const char* what;
        std::string text;
        std::string problems;
        std::u16string tree;
    } rows[] = {
        // clang-format off
        {"byte added in a value line", outOfStep(u"=\"2\"", true), "4" + stray + "line skipped\n" + bad, u". a=1 c=3\nU d=4\nV e=5\nW f=6\n"},
        {"byte lost in a value line", outOfStep(u"=\"2\"", false), "4" + stray + "line skipped\n" + bad, u". a=1 c=3\nU d=4\nV e=5\nW f=6\n"},
        {"byte added in a key line", outOfStep(u"\\V]", true), "8" + stray + "key skipped\n" + bad, u". a=1 b=2 c=3\nU d=4\nW f=6\n"},
        {"byte lost in the last line", outOfStep(u"d\r\n", false), "12" + stray + "line skipped\n", u". a=1 b=2 c=3\nU d=4\nV e=5\nW f=6\n"},
        {"Wine, \\x escape", wine + "[T\\\\A\\x0000B]\n\"v\"=\"nul\"\n[T\\\\A\\x0000B\\\\Sub]\n\"w\"=\"sub\"\n[T\\\\A]\n\"a\"=\"A\"\n",
         "3: " + nullSkipped + "5: " + nullSkipped, u".\nA a=A\n"},
        {"Wine, octal escape", wine + "[T\\\\A]\n\"a\"=\"A\"\n[T\\\\A\\0]\n\"v\"=\"nul\"\n", "5: " + nullSkipped, u".\nA a=A\n"},
        {"regedit, UTF-16", utf16File(regedit + u"[HKEY_CURRENT_USER\\T\\A]\r\n\"a\"=\"A\"\r\n[HKEY_CURRENT_USER\\T\\A\0B]\r\n\"v\"=\"nul\"\r\n"s),
         "4: " + nullSkipped, u".\nA a=A\n"},
        {"regedit, 8-bit", "REGEDIT4\n[HKEY_CURRENT_USER\\T\\A\0B]\n\"v\"=\"nul\"\n[HKEY_CURRENT_USER\\T\\A]\n"s, "2: " + nullSkipped, u".\nA\n"},
        {"Wine, unpaired surrogates", wine + "[T\\\\S\\xd800]\n\"s\"=\"hi\"\n[T\\\\S\\xd800\\\\\\xdc00]\n\"t\"=\"lo\"\n[T\\\\S]\n\"u\"=\"plain\"\n",
         "", u".\nS\xD800 s=hi\nS\xD800\\\xDC00 t=lo\nS u=plain\n"},
        {"regedit, UTF-16 units out of order", utf16File(regedit + u"[HKEY_CURRENT_USER\\T\\\xDC00\xD800]\r\n\"\xDC00\"=\"x\"\r\n"), "",
         u".\n\xDC00\xD800 \xDC00=x\n"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        loadBothWays(row.text, [&](MemoryRegistry& registry) {
            EXPECT_EQ(problems(registry), row.problems);
            EXPECT_EQ(tree(registry), row.tree);
        });
    }
}

// The key lines below a key three levels down are read when its sub-keys are first needed, from
// the file as it is then. A file rewritten in place since gives what its lines say, but only
// below that key: no other key, nor the key itself, changes under readers that may be at them.
TEST(HostileRegistryFiles, WaitingKeyLinesOfAFileChangedInPlace) {
    const std::string head = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1\n"
                             "[T\\\\A\\\\B] 0\n\"v\"=\"b\"\n";
    const std::string text = head + "[T\\\\A\\\\B\\\\C] 0\n\"v\"=\"c\"\n[T\\\\A\\\\B\\\\C\\\\D] 0\n"
                                    "[T\\\\Z] 0\n\"v\"=\"z\"\n";
    const std::string kSkipped = ": line not understood: skipped\n";
    const struct {
        const char* what;
        std::string from; // the lines from the first below T\A\B on
        std::string problems;
        std::u16string tree;
    } rows[] = {
        // clang-format off
        {"unchanged", text.substr(head.size()), "", u".\nA\nA\\B v=b\nA\\B\\C v=c\nA\\B\\C\\D\nZ v=z\n"},
        // The first line spells the key's path for the others.
        {"keys elsewhere", "[T\\\\A\\\\B\\\\E] 0\n[X] 0\n[T\\\\Q\\\\B\\\\C]\n", "6" + kSkipped + "7" + kSkipped, u".\nA\nA\\B v=b\nA\\B\\E\nZ\n"},
        {"the key itself", "[T\\\\A\\\\B\\\\\\x5c]\n\"v\"=\"x\"\n[T\\\\A\\\\B]\n\"v\"=\"y\"\n", "5" + kSkipped + "7" + kSkipped, u".\nA\nA\\B v=b\nZ\n"},
        {"another spelling", "[t\\\\a\\\\b\\\\F]\n[t\\\\a\\\\b\\\\G\\\\H]\n", "", u".\nA\nA\\B v=b\nA\\B\\F\nA\\B\\G\nA\\B\\G\\H\nZ\n"},
        {"cut short", "[T\\\\A", "5" + kSkipped, u".\nA\nA\\B v=b\nZ\n"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        writeFile(dir / "user.reg", text);
        MemoryRegistry registry;
        ASSERT_TRUE(loadRegistryFile(registry, dir / "user.reg", Hive::CurrentUser));
        {
            std::fstream file(dir / "user.reg", std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(static_cast<std::streamoff>(head.size()));
            file << row.from << std::string(text.size() - head.size(), ' ').substr(row.from.size());
        }
        EXPECT_EQ(tree(registry), row.tree);
        EXPECT_EQ(problems(registry), row.problems);
    }
}

#ifndef _WIN32

// The running registry's problems, as "file: message" lines.
std::string processProblems() {
    std::string lines;
    for (const Diagnostic& d : processDiagnostics())
        lines += d.file + ": " + d.message + "\n";
    return lines;
}

// A regedit file of many keys (more than a pipe holds at once), line 3006 bad.
std::string manyKeys() {
    std::string text = "Windows Registry Editor Version 5.00\n";
    for (int i = 0; i < 1000; ++i)
        text += "[HKEY_CURRENT_USER\\T\\K" + std::to_string(i) + "]\n\"v\"=\"" +
                std::string(100, 'x') + "\"\n\"n\"=\"" + std::to_string(i) + "\"\n";
    return text + "\n\n\n[HKEY_CURRENT_USER\\T]\nbad\n";
}

// Pipes and FIFOs are read once, into memory, and never waited on for ever.
TEST(HostileRegistryFiles, PipesAndFifos) {
    std::signal(SIGPIPE, SIG_IGN); // a writer whose reader gave up gets an error instead
    const std::string text = manyKeys();
    enum class Source { Pipe, Fifo, IdleFifo, DribblingPipe };
    struct Row {
        const char* what;
        Source source;
        StreamLimits limits;
        std::string problems; // those of the file as a whole, then of its lines
    };
    const auto ms = [](int n) { return std::chrono::milliseconds(n); };
    const std::string never = "0: the file can't be read: ";
    // clang-format off
    const Row rows[] = {
        {"pipe", Source::Pipe, {}, "3006: line not understood: skipped\n"},
        {"FIFO", Source::Fifo, {}, "3006: line not understood: skipped\n"},
        {"FIFO nobody writes to", Source::IdleFifo, {1 << 20, ms(200), ms(5000)},
         never + "nothing came through the pipe for 200 ms (is anything writing to it?)\n"},
        {"pipe over the limit", Source::Pipe, {100000, ms(5000), ms(5000)},
         never + "more than 0 MiB came through the pipe (what a pipe gives is held in memory, up to that much)\n"},
        {"pipe that never ends", Source::DribblingPipe, {1 << 20, ms(5000), ms(300)},
         never + "the pipe was still sending after 300 ms\n"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        std::string path;
        int fds[2] = {-1, -1};
        std::thread writer;
        if (row.source == Source::Pipe || row.source == Source::DribblingPipe) {
            ASSERT_EQ(pipe(fds), 0);
            path = "/dev/fd/" + std::to_string(fds[0]);
            writer = std::thread([&, out = fds[1]] {
                if (row.source == Source::DribblingPipe) {
                    while (write(out, " ", 1) == 1)
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                } else {
                    for (std::size_t at = 0; at < text.size();) {
                        const ssize_t n = write(out, text.data() + at, text.size() - at);
                        if (n <= 0)
                            break;
                        at += static_cast<std::size_t>(n);
                    }
                }
                close(out);
            });
        } else {
            path = dir / "fifo.reg";
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
            if (row.source == Source::Fifo)
                writer = std::thread([&] { std::ofstream(path, std::ios::binary) << text; });
        }
        MemoryRegistry registry;
        auto loading = std::async(std::launch::async, [&] {
            return loadRegistryFile(registry, path, Hive::CurrentUser, row.limits);
        });
        if (loading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "the load still waits after 10 seconds";
            close(open(path.c_str(), O_WRONLY | O_NONBLOCK)); // lets a waiting open go on
        }
        const bool loaded = loading.get();
        if (fds[0] >= 0)
            close(fds[0]); // a writer still sending now gets an error
        if (writer.joinable())
            writer.join();
        EXPECT_EQ(loaded, row.problems.rfind(never, 0) != 0);
        EXPECT_EQ(problems(registry), row.problems);
        if (loaded) {
            EXPECT_EQ(tree(registry, u"\\K999"),
                      u"K999 v=" + std::u16string(100, u'x') + u" n=999\n");
        }
    }
}

// The environment names the registry; where it names none, the registry is empty and says why,
// rather than falling back on a prefix the user didn't mean.
TEST(HostileRegistryFiles, EnvironmentThatNamesNoRegistry) {
    TempDir dir;
    fs::create_directories(dir.path / "prefix");
    writeFile(dir / "prefix/user.reg", "WINE REGISTRY Version 2\n[T]\n");
    writeFile(dir / "a.reg", "REGEDIT4\n[HKEY_CURRENT_USER\\T\\A]\n");
    const std::string prefix = dir / "prefix", list = ":" + (dir / "a.reg") + "::";
    struct Row {
        const char* registry; // TAVLO_REGISTRY, null: not set
        const char* prefix;   // WINEPREFIX
        const char* home;     // HOME
        std::string problems; // "file: message" lines
        std::u16string tree;
    };
    const std::string
        noFile = "TAVLO_REGISTRY: names no file, only ':' separators: no registry is read\n",
        noneSet = "WINEPREFIX: not set, nor HOME (for ~/.wine), nor TAVLO_REGISTRY: no registry is "
                  "read\n";
    const std::u16string none = u" (can't be opened)\n";
    // clang-format off
    const Row rows[] = {
        {":", prefix.c_str(), "/nonexistent", noFile, none},
        {"::", nullptr, nullptr, noFile, none},
        {nullptr, nullptr, nullptr, noneSet, none},
        {"", "", "", noneSet, none},
        {"", prefix.c_str(), nullptr, prefix + "/system.reg: the file can't be opened: no such file\n", u".\n"},
        {list.c_str(), prefix.c_str(), nullptr, "", u".\nA\n"},
    };
    // clang-format on
    const char* const names[] = {"TAVLO_REGISTRY", "WINEPREFIX", "HOME"};
    std::optional<std::string> saved[3];
    for (int i = 0; i < 3; ++i)
        if (const char* value = std::getenv(names[i]))
            saved[i] = value;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.problems);
        const char* values[] = {row.registry, row.prefix, row.home};
        for (int i = 0; i < 3; ++i)
            values[i] ? setenv(names[i], values[i], 1) : unsetenv(names[i]);
        std::vector<Diagnostic> found;
        PortableConfig config = configFromEnvironment(&found);
        configure(std::move(config), std::move(found));
        EXPECT_EQ(processProblems(), row.problems);
        EXPECT_EQ(tree(processRegistry()), row.tree);
    }
    for (int i = 0; i < 3; ++i)
        saved[i] ? setenv(names[i], saved[i]->c_str(), 1) : unsetenv(names[i]);
    configure(configFromEnvironment());
}

// While a host runs, wineserver rewrites user.reg: the next read after the change (within a
// second) answers what the file says now, a key opened before keeps its own reading, and a file
// that can't be read for the moment keeps the last good reading and says why.
TEST(HostileRegistryFiles, FilesChangedWhileRunningAreFollowed) {
    TempDir dir;
    const std::string user = dir / "user.reg";
    const auto wineUserReg = [](const char* value) {
        return "WINE REGISTRY Version 2\n;; All keys relative to "
               "\\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
               "[T] 1764950400\n\"v\"=\""s +
               value + "\"\n";
    };
    // As wineserver saves it: a new file renamed over the old one.
    const auto saveAsWine = [&](const std::string& bytes) {
        writeFile(user + ".tmp", bytes);
        fs::rename(user + ".tmp", user);
    };
    writeFile(dir / "system.reg", "WINE REGISTRY Version 2\n");
    writeFile(user, wineUserReg("40"));
    configure({{}, dir.path.string()});
    RegistryService& registry = *defaultServices().registry;
    ASSERT_EQ(tree(registry), u". v=40\n");
    RegKey before;
    ASSERT_EQ(before.open(registry, Root::CurrentUser, u"T"), status::success);

    struct Row {
        const char* change;
        std::function<void()> apply;
        std::u16string tree;
        std::string problems;
    };
    const std::string kept = ": what was read from it before stays in use\n",
                      unread = user + ": not a registry file: the first line is no known header\n";
    // clang-format off
    const Row rows[] = {
        {"renamed over", [&] { saveAsWine(wineUserReg("99")); }, u". v=99\n", ""},
        // Same size, likely the same timestamp tick as the load just before.
        {"rewritten in place", [&] { writeFile(user, wineUserReg("98")); }, u". v=98\n", ""},
        {"grown in place", [&] { std::ofstream(user, std::ios::app) << "\"w\"=\"1\"\n"; }, u". v=98 w=1\n", ""},
        {"removed", [&] { fs::remove(user); }, u". v=98 w=1\n", user + ": is gone" + kept},
        {"replaced by no registry file", [&] { saveAsWine("half a file"); }, u". v=98 w=1\n", unread + user + ": can't be read now" + kept},
        {"replaced by a folder", [&] { fs::remove(user), fs::create_directory(user); }, u". v=98 w=1\n", user + ": is no longer a regular file" + kept},
        {"back", [&] { fs::remove(user), saveAsWine(wineUserReg("7")); }, u". v=7\n", ""},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.change);
        row.apply();
        // A second, and slack for a busy machine.
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while ((tree(registry) != row.tree || processProblems() != row.problems) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        EXPECT_EQ(tree(registry), row.tree);
        EXPECT_EQ(processProblems(), row.problems);
    }
    EXPECT_EQ(valueList(before), u" v=40"); // a key opened before keeps its own reading

    configure(configFromEnvironment());
}

#endif

} // namespace
