// Discovery: the order of the sources, when each one gives up, and how the host executable is
// read from an open command.
#include "discovery_stand_ins.h"

#include "appkey/discovery.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace tavlo::test {
namespace {

using Strings = std::vector<std::u16string>;

const std::u16string kHostCommand = u"\"D:\\Apps\\Host\\host.exe\" /p \"%1\"";
const std::u16string kHostHook = u"D:\\Apps\\Host\\userdata.dll";
const std::u16string kCatalogued = u"Veltrane\\Corvida\\R1\\X-1";
const std::u16string kCataloguedKey = u"SOFTWARE\\" + kCatalogued;
const std::u16string kPc3Command = u"Plot.pc3\\shell\\open\\command";

struct SourceCase {
    const char* what;
    std::function<void(LibrarySandbox&)> setup; // besides one installed catalogue application
    std::int32_t result;
    std::u16string key;
    Strings loads;
    Strings classesOpened;
    bool catalogueRead;
};

const SourceCase kSources[] = {
    {"hook beside the library: its key exactly, nothing else read",
     [](LibrarySandbox& l) {
         l.hookBesideLibrary(u"Software\\Other\\Key-1");
         l.associate(u".pc3", kHostCommand);
     },
     0,
     u"Software\\Other\\Key-1",
     {kLibraryHook},
     {},
     false},
    {"hook answers 0 after writing: associations next",
     [](LibrarySandbox& l) {
         l.modules.addHook(kLibraryHook, {u"Software\\Ignored", 0});
         l.associate(u".pc3", kHostCommand);
     },
     0,
     kCataloguedKey,
     {kLibraryHook, kHostHook},
     {u".pc3", kPc3Command},
     true},
    {"hook answers 1 with an empty key",
     [](LibrarySandbox& l) {
         l.modules.addHook(kLibraryHook, {u"", 1});
         l.associate(u".pc3", kHostCommand);
     },
     0,
     kCataloguedKey,
     {kLibraryHook, kHostHook},
     {u".pc3", kPc3Command},
     true},
    {"hook without the entry point",
     [](LibrarySandbox& l) {
         l.modules.addHook(kLibraryHook, {u"Software\\Ignored", 1, false});
         l.associate(u".pc3", kHostCommand, platform::regtype::expand_sz);
     },
     0,
     kCataloguedKey,
     {kLibraryHook, kHostHook},
     {u".pc3", kPc3Command},
     true},
    {"no .pc3: .stb used, .ctb not read",
     [](LibrarySandbox& l) {
         l.associate(u".stb", kHostCommand);
         l.associate(u".ctb", u"\"E:\\Else\\else.exe\"");
     },
     0,
     kCataloguedKey,
     {kLibraryHook, kHostHook},
     {u".pc3", u".stb", u"Plot.stb\\shell\\open\\command"},
     true},
    {".pc3 without a command key: .stb next",
     [](LibrarySandbox& l) {
         l.scratch.setString(Root::ClassesRoot, u".pc3", nullptr, u"Broken.pc3");
         l.associate(u".stb", kHostCommand);
     },
     0,
     kCataloguedKey,
     {kLibraryHook, kHostHook},
     {u".pc3", u"Broken.pc3\\shell\\open\\command", u".stb", u"Plot.stb\\shell\\open\\command"},
     true},
    {"hook beside the host executable",
     [](LibrarySandbox& l) {
         l.modules.addHook(kHostHook, {u"SOFTWARE\\Veltrane\\Hosted"});
         l.associate(u".pc3", kHostCommand);
     },
     0,
     u"SOFTWARE\\Veltrane\\Hosted",
     {kLibraryHook, kHostHook},
     {u".pc3", kPc3Command},
     false},
    {"host beside the library: its hook is asked twice",
     [](LibrarySandbox& l) {
         l.modules.addHook(kLibraryHook, {u"", 0});
         l.associate(u".pc3", u"\"" + kLibraryDir + u"host.exe\"");
     },
     0,
     kCataloguedKey,
     {kLibraryHook, kLibraryHook},
     {u".pc3", kPc3Command},
     true},
    {"unquoted command without arguments: empty host path ends the search",
     [](LibrarySandbox& l) {
         l.associate(u".pc3", u"D:\\Apps\\Host\\host.exe");
         l.associate(u".stb", kHostCommand);
     },
     0,
     kCataloguedKey,
     {kLibraryHook, u"userdata.dll"},
     {u".pc3", kPc3Command},
     true},
    {"unquoted command with arguments: upper-case host path",
     [](LibrarySandbox& l) { l.associate(u".pc3", u"D:\\Apps\\Host\\host.exe /p %1"); },
     0,
     kCataloguedKey,
     {kLibraryHook, u"D:\\APPS\\HOST\\userdata.dll"},
     {u".pc3", kPc3Command},
     true},
    {"no association: failure",
     [](LibrarySandbox&) {},
     1,
     u"",
     {kLibraryHook},
     {u".pc3", u".stb", u".ctb"},
     false},
    {"library's path unknown: failure at once",
     [](LibrarySandbox& l) {
         l.modules.libraryPath.clear();
         l.associate(u".pc3", kHostCommand);
     },
     1,
     u"",
     {},
     {},
     false},
};

class SourceTable : public ::testing::TestWithParam<SourceCase> {};

TEST_P(SourceTable, TriesTheSourcesInOrder) {
    const SourceCase& c = GetParam();
    LibrarySandbox lib;
    lib.registerApp(kCatalogued, u"D:\\Apps\\Host");
    c.setup(lib);

    EXPECT_EQ(appkey::LookupAppKey(), c.result) << c.what;
    EXPECT_EQ(lib.scope.get().appKeyCache, c.key) << c.what;
    EXPECT_EQ(lib.modules.loads, c.loads) << c.what;
    EXPECT_EQ(lib.registry.opensBelow(Root::ClassesRoot), c.classesOpened) << c.what;
    const Strings machine = lib.registry.opensBelow(Root::LocalMachine);
    EXPECT_EQ(std::count(machine.begin(), machine.end(), kOutprintKey) > 0, c.catalogueRead)
        << c.what;
    // Every hook is called with its own path in the 1024-character buffer, and freed.
    for (const auto& call : lib.modules.calls) {
        EXPECT_EQ(call.capacity, 1024u);
        EXPECT_NE(std::find(c.loads.begin(), c.loads.end(), call.bufferOnEntry), c.loads.end());
    }
    EXPECT_EQ(lib.modules.frees, lib.modules.hookLoads) << c.what;
    EXPECT_TRUE(lib.handler.calls.empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Sources, SourceTable, ::testing::ValuesIn(kSources));

struct CommandCase {
    std::u16string command;
    std::u16string path;
};

const CommandCase kCommands[] = {
    {u"\"D:\\Apps\\Host\\host.exe\" /p \"%1\"", u"D:\\Apps\\Host\\host.exe"},
    {u"D:\\Apps\\Host\\host.exe /p %1", u"D:\\APPS\\HOST\\HOST.EXE"},
    {u"D:\\Apps\\Host\\host.exe", u""},
    {u" \t\r\n\"D:\\Apps\\Host\\host.exe\" /p", u"D:\\Apps\\Host\\host.exe"},
    {u"  D:\\Apps\\host.exe %1", u"D:\\APPS\\HOST.EXE"},
    {u"\"D:\\Apps\\Host\\host.exe /p", u"D:\\Apps\\Host\\host.exe /p"},
    {u"D:\\Old.exe dir\\host.exe /p", u"D:\\OLD.EXE"},
    {u"D:\\Apps\\host.exe\t/p", u""},
    {u"D:\\Apps\\host.exe  /p", u"D:\\APPS\\HOST.EXE"},
    {u"\"\" x", u""},
    {u"", u""},
};

class CommandTable : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandTable, HostExecutableFromOpenCommand) {
    LibrarySandbox lib;
    EXPECT_EQ(appkey::exePathFromCommand(GetParam().command), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandTable, ::testing::ValuesIn(kCommands));

} // namespace
} // namespace tavlo::test
