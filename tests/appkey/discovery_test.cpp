// Discovery: the order of the sources, when each one gives up, and how the host executable is
// read from an open command.
#include "settings_sandbox.h"

#include "appkey/discovery.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace tavlo::test {
namespace {

using Strings = std::vector<std::u16string>;
using Sandbox = SettingsSandbox;

const std::u16string kHostCommand = u"\"D:\\Host\\host.exe\" /p \"%1\"";
const std::u16string kHostHook = u"D:\\Host\\userdata.dll";
const std::u16string kCatalogued = u"SOFTWARE\\Veltrane\\Corvida\\R1\\X-1";
const std::u16string kPc3 = u"Plot.pc3\\shell\\open\\command";
const std::u16string kStb = u"Plot.stb\\shell\\open\\command";

struct SourceCase {
    const char* what;
    void (*setup)(Sandbox&); // besides one catalogue application installed at D:\Host
    std::int32_t result;
    std::u16string key;
    Strings loads, classesOpened;
    bool catalogueRead;
};

// clang-format off
const SourceCase kSources[] = {
    {"hook beside the library: its key exactly, nothing else read",
     [](Sandbox& l) { l.hookBesideLibrary(u"Software\\Other\\Key-1"); l.associate(u".pc3", kHostCommand); },
     0, u"Software\\Other\\Key-1", {kLibraryHook}, {}, false},
    {"hook answers 0 after writing: associations next",
     [](Sandbox& l) { l.modules.addHook(kLibraryHook, {u"Software\\Ignored", 0}); l.associate(u".pc3", kHostCommand); },
     0, kCatalogued, {kLibraryHook, kHostHook}, {u".pc3", kPc3}, true},
    {"hook answers 1 with an empty key",
     [](Sandbox& l) { l.modules.addHook(kLibraryHook, {u"", 1}); l.associate(u".pc3", kHostCommand); },
     0, kCatalogued, {kLibraryHook, kHostHook}, {u".pc3", kPc3}, true},
    {"hook without the entry point; a command of any string type",
     [](Sandbox& l) { l.modules.addHook(kLibraryHook, {u"S\\I", 1, false}); l.associate(u".pc3", kHostCommand, platform::regtype::expand_sz); },
     0, kCatalogued, {kLibraryHook, kHostHook}, {u".pc3", kPc3}, true},
    {"no .pc3: .stb used, .ctb not read",
     [](Sandbox& l) { l.associate(u".stb", kHostCommand); l.associate(u".ctb", u"\"E:\\e.exe\""); },
     0, kCatalogued, {kLibraryHook, kHostHook}, {u".pc3", u".stb", kStb}, true},
    {".pc3 without a command key: .stb next",
     [](Sandbox& l) { l.scratch.setString(Root::ClassesRoot, u".pc3", nullptr, u"B.pc3"); l.associate(u".stb", kHostCommand); },
     0, kCatalogued, {kLibraryHook, kHostHook}, {u".pc3", u"B.pc3\\shell\\open\\command", u".stb", kStb}, true},
    {"hook beside the host executable",
     [](Sandbox& l) { l.modules.addHook(kHostHook, {u"SOFTWARE\\Hosted"}); l.associate(u".pc3", kHostCommand); },
     0, u"SOFTWARE\\Hosted", {kLibraryHook, kHostHook}, {u".pc3", kPc3}, false},
    {"host beside the library: its hook is asked twice",
     [](Sandbox& l) { l.modules.addHook(kLibraryHook, {u"", 0}); l.associate(u".pc3", u"\"C:\\Lib\\host.exe\""); },
     0, kCatalogued, {kLibraryHook, kLibraryHook}, {u".pc3", kPc3}, true},
    {"unquoted command without arguments: empty host path, no further association",
     [](Sandbox& l) { l.associate(u".pc3", u"D:\\Host\\host.exe"); l.associate(u".stb", kHostCommand); },
     0, kCatalogued, {kLibraryHook, u"userdata.dll"}, {u".pc3", kPc3}, true},
    {"no association: failure",
     [](Sandbox&) {}, 1, u"", {kLibraryHook}, {u".pc3", u".stb", u".ctb"}, false},
    {"library's path unknown: failure at once",
     [](Sandbox& l) { l.modules.libraryPath.clear(); l.associate(u".pc3", kHostCommand); }, 1, u"", {}, {}, false},
};
// clang-format on

TEST(Sources, AreTriedInOrder) {
    for (const SourceCase& c : kSources) {
        SCOPED_TRACE(c.what);
        Sandbox lib(u"");
        lib.registerApp(u"Veltrane\\Corvida\\R1\\X-1", u"D:\\Host");
        c.setup(lib);
        EXPECT_EQ(appkey::LookupAppKey(), c.result);
        EXPECT_EQ(lib.scope.get().appKeyCache, c.key);
        EXPECT_EQ(lib.modules.loads, c.loads);
        EXPECT_EQ(lib.registry.opensBelow(Root::ClassesRoot), c.classesOpened);
        const Strings machine = lib.registry.opensBelow(Root::LocalMachine);
        EXPECT_EQ(std::count(machine.begin(), machine.end(), kOutprintKey) > 0, c.catalogueRead);
        // Every hook is called with its own path in the 1024-character buffer, and freed.
        for (const auto& [buffer, capacity] : lib.modules.calls) {
            EXPECT_EQ(capacity, 1024u);
            EXPECT_NE(std::find(c.loads.begin(), c.loads.end(), buffer), c.loads.end());
        }
        EXPECT_EQ(lib.modules.frees, lib.modules.hookLoads);
        EXPECT_EQ(lib.reportIds(), "");
    }
}

TEST(Discovery, HostExecutableFromOpenCommand) {
    SettingsSandbox lib;
    const std::pair<std::u16string, std::u16string> commands[] = {
        {u"\"D:\\Host\\host.exe\" /p \"%1\"", u"D:\\Host\\host.exe"},
        {u"D:\\Host\\host.exe /p %1", u"D:\\HOST\\HOST.EXE"},
        {u"D:\\Host\\host.exe", u""},
        {u" \t\r\n\"D:\\Host\\host.exe\" /p", u"D:\\Host\\host.exe"},
        {u"  D:\\host.exe %1", u"D:\\HOST.EXE"},
        {u"\"D:\\Host\\host.exe /p", u"D:\\Host\\host.exe /p"},
        {u"D:\\Old.exe dir\\host.exe /p", u"D:\\OLD.EXE"},
        {u"D:\\host.exe\t/p", u""},
        {u"\"\" x", u""},
        {u"", u""},
    };
    for (const auto& [command, path] : commands)
        EXPECT_EQ(appkey::exePathFromCommand(command), path)
            << std::string(command.begin(), command.end());
}

} // namespace
} // namespace tavlo::test
