// Modules planted where the library must not look, and files named like modules that are none.
// The planted module leaves a trace file in the current directory the moment any of its code
// runs, so a test sees a load even when nothing else of it is used.
#include "host_registry.h"
#include "library_loader.h"
#include "stand_ins.h"
#include "test_folder.h"

#include "platform/services.h"
#include "platform/utf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#ifndef _WIN32
#include "platform/portable/module_search_posix.h"
#endif

namespace tavlo::test {
namespace {

namespace fs = std::filesystem;
using namespace std::literals;

platform::ModuleService& modules() {
    return *platform::defaultServices().modules;
}

// A folder of its own for the running test, made the current directory, left again at the end.
struct CurrentFolder {
    fs::path dir = test::freshTestFolder(
        fs::path("modules") / ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::path previous = fs::current_path();

    CurrentFolder() { changeDirectory(dir.string()); }
    ~CurrentFolder() { changeDirectory(previous.string()); }

    void plant(const std::string& below) const {
        fs::create_directories((dir / below).parent_path());
        fs::copy_file(TAVLO_TRACE_HOOK_FILE, dir / below, fs::copy_options::overwrite_existing);
    }
    bool traced() const { return fs::exists(dir / "hook-ran.trace"); }
};

// Whether path lies in folder, compared without regard to case and separator (both builds'
// spellings of the same folder).
bool inFolder(std::u16string path, const fs::path& folder) {
    std::u16string base = folder.u16string();
    for (auto* text : {&path, &base})
        for (auto& c : *text)
            c = c == u'\\' ? u'/' : (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    return path.rfind(base + u'/', 0) == 0;
}

TEST(PlantedModules, NothingIsLoadedFromTheCurrentDirectory) {
    CurrentFolder cwd;
    for (const char* planted : {"userdata.dll", "HHCTRL.OCX", "sub/UserData.DLL"})
        cwd.plant(planted);
    // Names as the library composes or reads them: bare, with the loader's default extension,
    // and relative to the current directory in both separators.
    const std::u16string rows[] = {u"userdata.dll",      u"USERDATA",        u"hhctrl.ocx",
                                   u"HHCTRL.OCX",        u".\\userdata.dll", u"./userdata.dll",
                                   u"sub\\userdata.dll", u"sub/USERDATA.DLL"};
    for (const auto& name : rows) {
        for (const bool resourcesOnly : {false, true}) {
            SCOPED_TRACE(narrow(name) + (resourcesOnly ? " (resources)" : ""));
            const platform::ModuleHandle module = resourcesOnly
                                                      ? modules().loadResources(name.c_str())
                                                      : modules().load(name.c_str());
            // Windows has a control of its own in its system folder: that one may load.
            if (module) {
                char16_t path[4096] = {};
                const auto n = modules().moduleFileName(module, path, 4096);
                EXPECT_FALSE(n < 4096 && inFolder(std::u16string(path, n), cwd.dir));
                modules().free(module);
            }
            EXPECT_FALSE(cwd.traced());
        }
    }
}

// Discovery composes the hook's name from the host program an association names: without a
// folder that is a name for the loader to search, with a relative one a path the current
// directory would complete. Neither may reach a hook planted there.
TEST(PlantedModules, DiscoveryRunsNoHookFromTheCurrentDirectory) {
    const std::pair<const char*, const char*> rows[] = {
        {"host.exe \"%1\"", "userdata.dll"},              // unquoted: HOST.EXE, no folder
        {"\"host.exe\" \"%1\"", "UserData.DLL"},          // quoted, no folder
        {"\"sub\\host.exe\" \"%1\"", "sub/userdata.dll"}, // a folder below the current one
        {"\".\\host.exe\" \"%1\"", "userdata.dll"},
    };
    const fs::path stage = test::freshTestFolder(fs::path("modules") / "library");
    const fs::path library = stage / fs::path(TAVLO_LIBRARY_FILE).filename();
    fs::copy_file(TAVLO_LIBRARY_FILE, library);
    fs::copy_file(TAVLO_RES_DLL, stage / "tavlo9Res.dll");
    for (const auto& [command, planted] : rows) {
        SCOPED_TRACE(command);
        CurrentFolder cwd;
        cwd.plant(planted);
        HostRegistry registry;
        registry.setString(Root::ClassesRoot, ".pc3", nullptr, "Host.PlotConfig");
        registry.setString(Root::ClassesRoot, "Host.PlotConfig\\shell\\open\\command", nullptr,
                           command);
        registry.publish();
        {
            LoadedLibrary lib(library.string());
            ASSERT_TRUE(lib.loaded());
            RecordingHandler handler;
            lib.function<void (*)(TavloErrorHandler*)>("tavlo_SetErrorHandler")(&handler);
            EXPECT_EQ(str(lib.function<decltype(&_GetAppKey)>("_GetAppKey")(nullptr)), u"");
            EXPECT_EQ(handler.calls.size(), 1u); // no app key: said once
        }
        EXPECT_FALSE(cwd.traced());
    }
}

// Files named like modules that are none for this process: each is refused, and the refusal
// names the file and says why. The reasons are this build's own; under Wine, the loader's.
TEST(RefusedModules, FilesThatAreNoModuleHereAreRefusedWithTheReason) {
    // An ELF header: word size (1: 32-bit, 2: 64-bit), byte order (1: little-, 2: big-endian),
    // object type and machine.
    const auto elf = [](char wordSize, char byteOrder, std::uint16_t type, std::uint16_t machine) {
        std::string header = "\x7f"s + "ELF" + wordSize + byteOrder + '\1' + std::string(57, '\0');
        const int low = byteOrder == 1 ? 0 : 1;
        for (const auto& [offset, value] : {std::pair{16, type}, std::pair{18, machine}}) {
            header[offset + low] = static_cast<char>(value & 0xFF);
            header[offset + 1 - low] = static_cast<char>(value >> 8);
        }
        return header;
    };
#if defined(__aarch64__)
    const std::uint16_t own = 183, other = 62;
#else
    const std::uint16_t own = 62, other = 183; // x86-64, AArch64
#endif
    const std::tuple<const char*, std::string, const char*> rows[] = {
        // what the Linux build says
        {"text.dll", "not a module at all\n", "neither an ELF shared object nor a PE file"},
        {"empty.dll", "", "neither an ELF shared object nor a PE file"},
        {"elf32.dll", elf(1, 1, 3, 3), "32-bit ELF object"},
        {"machine.dll", elf(2, 1, 3, other), "for machine 183"},
        {"program.dll", elf(2, 1, 2, own), "not a shared object (type 2)"},
        {"bigendian.dll", elf(2, 2, 3, own), "other byte order"},
        {"truncated.dll", elf(2, 1, 3, own).substr(0, 6), "truncated ELF header"},
        {"mz-only.dll", "MZ" + std::string(126, '\0'), "without a PE header"},
    };
    CurrentFolder cwd;
    const fs::path dir = cwd.dir / "modules";
    fs::create_directories(dir);
    for (const auto& [name, bytes, reason] : rows) {
        SCOPED_TRACE(name);
        const fs::path file = dir / name;
        std::ofstream(file, std::ios::binary) << bytes;
        const std::u16string path = file.u16string();
        // Asked twice, as a host asks again and again: told once.
        for (int attempt = 0; attempt < 2; ++attempt)
            EXPECT_EQ(modules().load(path.c_str()), nullptr);
        std::size_t told = 0;
        for (const auto& refusal : modules().refusals()) {
            if (!inFolder(platform::fromUtf8(refusal.path), dir) ||
                refusal.path.find(name) == std::string::npos)
                continue;
            ++told;
            EXPECT_FALSE(refusal.reason.empty());
#ifndef _WIN32
            EXPECT_NE(refusal.reason.find(reason), std::string::npos) << refusal.reason;
#endif
        }
        EXPECT_EQ(told, 1u);
    }
    EXPECT_FALSE(cwd.traced());
}

#ifndef _WIN32
// The Linux search: the library's folder, the installation's data folder (found from the library,
// or from the tool that carries the library's code), the program's folder, each matching names
// without regard to case; a relative name is looked for below them, never below the current
// directory. The installation is laid out as this build installs it.
TEST(ModuleSearch, TheInstalledFoldersInOrderAndNeverTheCurrentDirectory) {
    CurrentFolder cwd;
    const fs::path root = cwd.dir / "install";
    const fs::path lib = TAVLO_INSTALL_LIBDIR, bin = TAVLO_INSTALL_BINDIR,
                   data = fs::path(TAVLO_INSTALL_DATADIR) / "tavlo";
    for (const fs::path& file : {lib / "Only-Lib.dll", data / "Only-Data.dll", bin / "only-bin.dll",
                                 lib / "both.dll", bin / "both.dll", bin / "sub/Deep.DLL"}) {
        fs::create_directories((root / file).parent_path());
        std::ofstream(root / file) << "x";
    }
    cwd.plant("only-cwd.dll");
    cwd.plant("sub/deep.dll");
    using platform::portable::locateModule, platform::portable::moduleSearchFolders;
    const auto folders =
        moduleSearchFolders((root / lib / "libtavlo9.so").string(), (root / bin / "host").string());
    ASSERT_EQ(folders.size(), 3u);
    // The library's folder comes first; "." is the searched folder, not the current one.
    const std::pair<std::u16string, fs::path> rows[] = {
        {u"only-lib.dll", lib / "Only-Lib.dll"},
        {u"ONLY-DATA", data / "Only-Data.dll"},
        {u"only-bin.dll", bin / "only-bin.dll"},
        {u"both.dll", lib / "both.dll"},
        {u"sub\\deep.dll", bin / "sub/Deep.DLL"},
        {u".\\Only-Lib.dll", lib / "Only-Lib.dll"},
        {u"only-cwd.dll", ""},
        {u"missing.dll", ""},
    };
    for (const auto& [name, expected] : rows)
        EXPECT_EQ(locateModule(name, folders), expected.empty() ? "" : (root / expected).string())
            << narrow(name);
    // The data folder is found from the folder a link to the library's folder leads to (as /lib
    // is /usr/lib on a merged-/usr system), and from the program that carries the library's code
    // (the tool), whose folder is the only other one.
    fs::create_directory_symlink(root / lib, cwd.dir / "linked-lib");
    const auto linked = moduleSearchFolders((cwd.dir / "linked-lib" / "libtavlo9.so").string(),
                                            (root / bin / "host").string());
    const auto tool =
        moduleSearchFolders((root / bin / "tavlo").string(), (root / bin / "tavlo").string());
    EXPECT_EQ(tool.size(), 2u);
    for (const auto& searched : {linked, tool})
        EXPECT_EQ(locateModule(u"only-data.dll", searched),
                  (root / data / "Only-Data.dll").string());
}
#endif

} // namespace
} // namespace tavlo::test
