// The app key: discovery's sources in order and the host executable read from an open command;
// the entry points (the cache, the ignored arguments, the wizard-only flag, the host test); and the
// catalogue: which registrations count, records of one location merged, the application chosen.
#include "settings_sandbox.h"

#include "appkey/app_key.h"
#include "appkey/catalogue.h"
#include "appkey/discovery.h"
#include "appkey/discovery_trace.h"
#include "frame/strings.h"
#include "tavlo/tavlo.hpp"

namespace tavlo::test {
namespace {

using Strings = std::vector<std::u16string>;
using Sandbox = SettingsSandbox;
using appkey::HookResult;
using appkey::Reason;
using appkey::Rule;
using appkey::Verdict;

const std::u16string kHostCommand = u"\"D:\\Host\\host.exe\" /p \"%1\"";
const std::u16string kHostHook = u"D:\\Host\\userdata.dll";
const std::u16string kCatalogued = u"SOFTWARE\\Veltrane\\Corvida\\R1\\X-1";
const std::u16string kPc3 = u"Plot.pc3\\shell\\open\\command";
const std::u16string kStb = u"Plot.stb\\shell\\open\\command";
// Identifiers that leave their command key's path 1023 characters, and one more.
const std::u16string kId1004(1004, u'p'), kId1005(1005, u'p');

struct SourceCase {
    const char* what;
    void (*setup)(Sandbox&); // besides one catalogue application installed at D:\Host
    std::int32_t result;
    std::u16string key;
    Strings loads, classesOpened;
    bool catalogueRead;
    // As traced: the rule, the extension whose open command was read, the library's hook.
    Rule rule;
    std::u16string followed;
    std::optional<HookResult> libraryHook;
};

const Strings kBoth = {kLibraryHook, kHostHook};
#define SETUP(...) [](Sandbox& l) { __VA_ARGS__; }
// clang-format off
const SourceCase kSources[] = {
    {"hook beside the library: its key exactly, nothing else read", SETUP(l.hookBesideLibrary(u"Software\\Other\\Key-1"); l.associate(u".pc3", kHostCommand)),
     0, u"Software\\Other\\Key-1", {kLibraryHook}, {}, false, Rule::HookLibrary, u"", HookResult::Answered},
    {"hook answers 0 after writing: associations next", SETUP(l.modules.addHook(kLibraryHook, {u"Software\\Ignored", 0}); l.associate(u".pc3", kHostCommand)),
     0, kCatalogued, kBoth, {u".pc3", kPc3}, true, Rule::Catalogue, u".pc3", HookResult::Declined},
    {"hook answers 1 with an empty key", SETUP(l.modules.addHook(kLibraryHook, {u"", 1}); l.associate(u".pc3", kHostCommand)),
     0, kCatalogued, kBoth, {u".pc3", kPc3}, true, Rule::Catalogue, u".pc3", HookResult::Declined},
    {"hook without the entry point; a command of any string type", SETUP(l.modules.addHook(kLibraryHook, {u"S\\I", 1, false}); l.associate(u".pc3", kHostCommand, regtype::expand_sz)),
     0, kCatalogued, kBoth, {u".pc3", kPc3}, true, Rule::Catalogue, u".pc3", HookResult::NoEntryPoint},
    {"no .pc3: .stb used, .ctb not read", SETUP(l.associate(u".stb", kHostCommand); l.associate(u".ctb", u"\"E:\\e.exe\"")),
     0, kCatalogued, kBoth, {u".pc3", u".stb", kStb}, true, Rule::Catalogue, u".stb", HookResult::NotLoaded},
    {".pc3 without a command key: .stb next", SETUP(l.scratch.setString(Root::ClassesRoot, u".pc3", nullptr, u"B.pc3"); l.associate(u".stb", kHostCommand)),
     0, kCatalogued, kBoth, {u".pc3", u"B.pc3\\shell\\open\\command", u".stb", kStb}, true, Rule::Catalogue, u".stb", HookResult::NotLoaded},
    {"hook beside the host executable", SETUP(l.modules.addHook(kHostHook, {u"SOFTWARE\\Hosted"}); l.associate(u".pc3", kHostCommand)),
     0, u"SOFTWARE\\Hosted", kBoth, {u".pc3", kPc3}, false, Rule::HookHost, u".pc3", HookResult::NotLoaded},
    {"host beside the library: its hook is asked twice", SETUP(l.modules.addHook(kLibraryHook, {u"", 0}); l.associate(u".pc3", u"\"C:\\Lib\\host.exe\"")),
     0, kCatalogued, {kLibraryHook, kLibraryHook}, {u".pc3", kPc3}, true, Rule::Catalogue, u".pc3", HookResult::Declined},
    {"unquoted command without arguments: empty host path, no further association", SETUP(l.associate(u".pc3", u"D:\\Host\\host.exe"); l.associate(u".stb", kHostCommand)),
     0, kCatalogued, {kLibraryHook, u"userdata.dll"}, {u".pc3", kPc3}, true, Rule::Catalogue, u".pc3", HookResult::NotLoaded},
    {"an identifier that leaves the command key's path 1023 characters: the key is looked up", SETUP(l.scratch.setString(Root::ClassesRoot, u".pc3", nullptr, kId1004); l.associate(u".stb", kHostCommand)),
     0, kCatalogued, kBoth, {u".pc3", kId1004 + u"\\shell\\open\\command", u".stb", kStb}, true, Rule::Catalogue, u".stb", HookResult::NotLoaded},
    {"one character more: not looked up", SETUP(l.scratch.setString(Root::ClassesRoot, u".pc3", nullptr, kId1005); l.associate(u".stb", kHostCommand)),
     0, kCatalogued, kBoth, {u".pc3", u".stb", kStb}, true, Rule::Catalogue, u".stb", HookResult::NotLoaded},
    {"no association: failure", SETUP(), 1, u"", {kLibraryHook}, {u".pc3", u".stb", u".ctb"}, false, Rule::None, u"", HookResult::NotLoaded},
    {"library's path unknown: failure at once", SETUP(l.modules.libraryPath.clear(); l.associate(u".pc3", kHostCommand)), 1, u"", {}, {}, false, Rule::None, u"", std::nullopt},
};
// clang-format on
#undef SETUP

// Traced or not, discovery takes the same course; traced, it tells the rule that chose its key.
// Every hook is called with its own path in the 1024-character buffer, and freed.
TEST(Sources, AreTriedInOrder) {
    for (const SourceCase& c : kSources)
        for (const bool traced : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (traced ? ", traced" : ""));
            Sandbox lib(u"");
            lib.registerApp(u"Veltrane\\Corvida\\R1\\X-1", u"D:\\Host");
            c.setup(lib);
            appkey::DiscoveryTrace trace;
            EXPECT_EQ(appkey::LookupAppKey(traced ? &trace : nullptr), c.result);
            EXPECT_EQ(lib.scope.get().appKeyCache, c.key);
            EXPECT_EQ(lib.modules.loads(), c.loads);
            EXPECT_EQ(lib.registry.opensBelow(Root::ClassesRoot), c.classesOpened);
            const Strings machine = lib.registry.opensBelow(Root::LocalMachine);
            const bool catalogueRead = std::count(machine.begin(), machine.end(), kOutprintKey);
            EXPECT_EQ(catalogueRead, c.catalogueRead);
            for (const auto& [buffer, capacity] : lib.modules.hookCalls) {
                EXPECT_EQ(capacity, 1024u);
                EXPECT_NE(std::find(c.loads.begin(), c.loads.end(), buffer), c.loads.end());
            }
            EXPECT_EQ(lib.modules.outstanding, 0);
            EXPECT_EQ(lib.reportIds(), "");
            if (!traced)
                continue;
            EXPECT_EQ(std::tie(trace.rule, trace.key, trace.catalogueRead),
                      std::tie(c.rule, c.key, c.catalogueRead));
            const appkey::AssociationAttempt* followed = trace.followed();
            EXPECT_EQ(followed ? followed->extension : u"", c.followed);
            EXPECT_EQ(trace.libraryHook ? std::optional(trace.libraryHook->result) : std::nullopt,
                      c.libraryHook);
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
        EXPECT_EQ(appkey::exePathFromCommand(command), path) << narrow(command);
}

TEST(AppKey, ArgumentsAreNotUsedAndDiscoveryRunsOnce) {
    SettingsSandbox lib(u"");
    lib.hookBesideLibrary(kKoraKey);
    for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u"", u"SOFTWARE\\Other"})
        EXPECT_EQ(str(_GetAppKey(tc(name))), kKoraKey);
    EXPECT_EQ(SetAppKey(tc(u"SOFTWARE\\Veltrane\\Other\\R2")), 0);
    EXPECT_EQ(SetAppKeyFromPlotterWizardOnly(1), 0);
    TavloBool isKora = 0;
    EXPECT_EQ(IsKORAApp(&isKora), 0);
    EXPECT_EQ(isKora, 1);
    EXPECT_EQ(appkey::GetAppKey(nullptr), kKoraKey);
    EXPECT_EQ(lib.modules.fileNameQueries, 1);
    EXPECT_TRUE(lib.registry.opens.empty());
    EXPECT_EQ(lib.scope.get().wizardOnly, 0);
    EXPECT_EQ(lib.reportIds(), "");
}

// Without a key every call runs discovery again: when it fails, each call but IsKORAApp reports;
// when it finds two registrations and the host in neither, the key it chooses is empty, and that
// is no failure. The wizard's flag holds only for its call, which then chooses its registration.
TEST(AppKey, WithoutAKeyEveryCallRunsDiscoveryAgain) {
    for (const bool registrations : {false, true}) {
        SettingsSandbox lib(u"");
        if (registrations) { // A1 marked 1, A2 marked for the wizard, neither at the host
            lib.associate(u".pc3", u"\"D:\\Apps\\Host\\host.exe\"");
            lib.registerApp(u"Veltrane\\A1", u"E:\\Other", false, 1);
            lib.registerApp(u"Veltrane\\A2", u"F:\\Else", false, 9);
        }
        const std::int32_t result = registrations ? 0 : 1;
        EXPECT_EQ(appkey::GetAppKey(nullptr), u"");
        EXPECT_EQ(appkey::GetAppKey(nullptr), u"");
        EXPECT_EQ(appkey::SetAppKey(nullptr), result);
        EXPECT_EQ(SetAppKeyFromPlotterWizardOnly(0), result);
        bool isKora = true;
        EXPECT_EQ(appkey::IsKORAApp(&isKora), result);
        EXPECT_EQ(isKora, !registrations);
        EXPECT_EQ(lib.modules.fileNameQueries, 5);
        EXPECT_EQ(SetAppKeyFromPlotterWizardOnly(1), result);
        EXPECT_EQ(lib.scope.get().wizardOnly, 0);
        EXPECT_EQ(lib.scope.get().appKeyCache, registrations ? u"SOFTWARE\\Veltrane\\A2" : u"");
        EXPECT_EQ(lib.reportIds(), registrations ? "" : "57 57 57 57 57");
        if (!registrations) {
            EXPECT_EQ(lib.handler.calls[0].message, u"57[]");
        }
    }
}

TEST(AppKey, HostTestWantsTheProductsOwnComponent) {
    SettingsSandbox lib;
    // clang-format off
    const std::pair<std::u16string, bool> keys[] = {
        {kKoraKey, true}, {u"x\\corvida\\", true}, {kOtherKey, false},
        {u"SOFTWARE\\Veltrane\\XCorvida\\R1", false}, {u"SOFTWARE\\Corvida", false}, {u"Corvida\\R1", false}};
    // clang-format on
    for (const auto& [key, kora] : keys) {
        EXPECT_EQ(appkey::isKoraKey(key), kora) << narrow(key);
        lib.scope.get().appKeyCache = key; // the host's answer follows its key as that changes
        EXPECT_EQ(appkey::hostIsKora(), kora) << narrow(key);
    }
}

struct App {
    std::u16string name;
    const char16_t* location; // null: no machine key
    bool userKey = false;
    bool onDisk = true;
};

void install(SettingsSandbox& lib, const std::vector<App>& apps) {
    for (const App& app : apps) {
        lib.registerApp(app.name, app.location, app.userKey);
        // A location as long as the value's buffer is stored without its terminator, as a
        // registry may hold it: then only its length keeps it out.
        if (app.location && std::u16string_view(app.location).size() >= 512)
            lib.scratch.setRaw(Root::LocalMachine, u"Software\\" + app.name, u"Location",
                               regtype::sz, utf16Bytes(app.location, false));
        if (!app.onDisk)
            lib.files.tree.erase(app.location);
    }
}

const std::u16string A1 = u"Veltrane\\A1", A2 = u"Veltrane\\A2", A3 = u"Veltrane\\A3";
const std::u16string kCorvida = u"Veltrane\\Corvida\\R1\\X-1",
                     kCorvidaX = u"Veltrane\\CorvidaX\\R1";
// The longest location a registration's value can give, and one character more.
const std::u16string kLocation511 = u"D:\\" + std::u16string(508, u'L'),
                     kLocation512 = kLocation511 + u"L";

struct SelectCase {
    const char* what;
    std::vector<App> apps;
    std::u16string hostPath;
    std::u16string key;      // chosen, without "SOFTWARE\"; empty: none
    Reason reason;           // as traced
    const char* raises = ""; // the error raised and the operation it names
    // Traced verdicts of some candidates. Unless there are no apps, A3 has a location of the
    // wrong type.
    std::vector<std::pair<std::u16string, Verdict>> verdicts = {};
};

// clang-format off
const SelectCase kSelections[] = {
    {"one installed, unrelated host path", {{A1, u"D:\\Host"}}, u"E:\\x.exe", A1, Reason::OnlyInstalled},
    {"unregistered and missing locations skipped", {{A1, nullptr}, {A2, u"D:\\Host"}}, u"", A2, Reason::OnlyInstalled, "", {{A1, Verdict::NoMachineKey}, {A2, Verdict::Installed}, {A3, Verdict::NoLocation}}},
    {"one registered, not on disk", {{A1, u"D:\\Gone", false, false}}, u"", u"", Reason::NoneInstalled, "AppKey 57 GetOPAppsInfo", {{A1, Verdict::LocationMissing}, {A3, Verdict::NoLocation}}},
    {"no catalogue", {}, u"", u"", Reason::NoRegistration, "AppKey 57 GetOPAppsRegKeys"},
    {"trailing backslashes dropped", {{A1, u"D:\\Host\\\\"}, {A2, u"E:\\O"}}, u"D:\\Host\\h.exe\\", A1, Reason::FirstLocationInHostPath},
    {"plain substring: the first registered wins", {{A1, u"D:\\Host"}, {A2, u"D:\\Host2"}}, u"D:\\Host2\\h.exe", A1, Reason::FirstLocationInHostPath, "", {{A1, Verdict::Installed}, {A2, Verdict::Installed}}},
    {"case ignored", {{A1, u"E:\\O"}, {A2, u"d:\\host2"}}, u"D:\\HOST2\\H.EXE", A2, Reason::FirstLocationInHostPath},
    {"two installed, neither in the host path", {{A1, u"E:\\O"}, {A2, u"F:\\E"}}, u"D:\\Host\\h.exe", u"", Reason::NoLocationInHostPath},
    {"two installed, empty host path", {{A1, u"E:\\O"}, {A2, u"F:\\E"}}, u"", u"", Reason::NoHostPath},
    {"a location of 511 characters read, of 512 not", {{A1, kLocation512.c_str()}, {A2, kLocation511.c_str()}}, u"", A2, Reason::OnlyInstalled, "", {{A1, Verdict::NoLocation}, {A2, Verdict::Installed}}},
    {"the product's own key reads KoraLocation, a longer product folder Location", {{kCorvida, u"D:\\K"}, {kCorvidaX, u"D:\\X"}}, u"D:\\K\\k.exe", kCorvida, Reason::FirstLocationInHostPath},
};
// clang-format on

TEST(Selections, ChooseTheApplication) {
    for (const SelectCase& c : kSelections)
        for (const bool traced : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (traced ? ", traced" : ""));
            SettingsSandbox lib(u"");
            install(lib, c.apps);
            // A location of the wrong type, and the other host's value name, don't count.
            lib.scratch.setRaw(Root::LocalMachine, u"Software\\" + A3, u"Location",
                               regtype::expand_sz, utf16Bytes(u"D:\\Else"));
            lib.scratch.setString(Root::LocalMachine, u"Software\\" + kCorvida, u"Location",
                                  u"D:\\X");
            if (!c.apps.empty())
                lib.scratch.setDword(Root::LocalMachine, kOutprintKey, A3.c_str(), 0);
            lib.files.tree[u"D:\\Else"];
            appkey::DiscoveryTrace trace;
            EXPECT_EQ(raisedBy([&] {
                          EXPECT_EQ(appkey::SelectAppKey(c.hostPath, traced ? &trace : nullptr), 0);
                      }).text(),
                      c.raises);
            EXPECT_EQ(lib.scope.get().appKeyCache, c.key.empty() ? u"" : u"SOFTWARE\\" + c.key);
            if (!traced)
                continue;
            EXPECT_EQ(trace.key, lib.scope.get().appKeyCache);
            EXPECT_EQ(trace.rule, c.key.empty() ? Rule::None : Rule::Catalogue);
            EXPECT_EQ(trace.reason, c.reason);
            std::u16string chosen;
            std::map<std::u16string, Verdict> verdicts;
            for (const auto& candidate : trace.candidates) {
                chosen += candidate.chosen ? candidate.key : u"";
                verdicts[candidate.key] = candidate.verdict;
            }
            EXPECT_EQ(chosen, c.key);
            for (const auto& [key, verdict] : c.verdicts)
                EXPECT_EQ(verdicts.at(key), verdict) << narrow(key);
            EXPECT_EQ(trace.candidates.size(), c.apps.empty() ? 0 : c.apps.size() + 1);
        }
}

TEST(Catalogue, OneRecordPerLocationInSelectionOrder) {
    // clang-format off
    const std::pair<std::vector<App>, Strings> cases[] = {
        {{{A1, u"D:\\Host"}, {A2, u"d:\\host\\", true}}, {A2}},
        {{{A1, u"D:\\Host", true}, {A2, u"d:\\host", true}}, {A1}},
        {{{A1, u"D:\\Host"}, {A2, u"d:\\host"}}, {A1}},
        {{{A1, u"D:\\Host"}, {A2, u"E:\\O"}, {A3, u"d:\\host", true}}, {A2, A3}},
    };
    // clang-format on
    for (const auto& [installed, records] : cases) {
        SettingsSandbox lib(u"");
        install(lib, installed);
        appkey::CStringArray names;
        for (const App& app : installed)
            names.push_back(app.name);
        appkey::CInSelArray apps;
        appkey::DiscoveryTrace trace;
        EXPECT_EQ(appkey::GetOPAppsInfo(names, apps, &trace), 0);
        Strings keys;
        for (const auto& record : apps.records)
            keys.push_back(record->key);
        EXPECT_EQ(keys, records);
        // The trace sets aside each record merged away, naming the one kept for its location.
        ASSERT_EQ(trace.candidates.size(), installed.size());
        for (const auto& candidate : trace.candidates) {
            const bool kept = std::count(records.begin(), records.end(), candidate.key) > 0;
            EXPECT_EQ(candidate.verdict, kept ? Verdict::Installed : Verdict::SetAside);
            if (kept)
                continue;
            const auto record =
                std::find_if(apps.records.begin(), apps.records.end(),
                             [&](const auto& r) { return r->key == candidate.keptInstead; });
            ASSERT_NE(record, apps.records.end());
            EXPECT_EQ((*record)->locationKey, frame::lowered(candidate.location));
        }
    }
}

const std::u16string k511 = u"Veltrane\\" + std::u16string(502, u'n'), k512 = k511 + u"n";
const auto dw = regtype::dword, bin = regtype::binary;
const auto mark = [](std::size_t size) { // data whose first byte is the wizard's 9
    std::vector<std::uint8_t> data(size);
    return data[0] = 9, data;
};

using Values = std::vector<std::tuple<std::u16string, std::uint32_t, std::vector<std::uint8_t>>>;
// The catalogue's values, the wizard's flag, the names listed and the error raised, if any.
// clang-format off
const std::tuple<Values, std::int32_t, Strings, const char*> kLists[] = {
    {{{A1, dw, mark(4)}, {A2, bin, {1}}}, 0, {A1, A2}, ""},
    {{{A1, bin, {1, 0}}, {A2, dw, mark(4)}}, 1, {A2}, ""},
    {{{A1, regtype::sz, utf16Bytes(u"\t")}, {A2, regtype::sz, utf16Bytes(u"9")}, {A3, bin, {9, 1}}}, 1, {A1}, ""},
    {{{A1, bin, {9}}}, 1, {}, ""},
    {{{k511, bin, {}}}, 0, {k511}, ""},
    {{{k512, bin, {}}}, 0, {}, "AppKey 57 GetOPAppsRegKeys"},
    {{{A1, bin, mark(1024)}}, 1, {A1}, ""},
    {{{A1, bin, mark(1025)}}, 0, {}, "AppKey 57 GetOPAppsRegKeys"},
};
// clang-format on

TEST(Lists, EnumerateTheRegistrations) {
    for (const auto& row : kLists) {
        SCOPED_TRACE(&row - kLists);
        const auto& [values, wizardOnly, listed, raises] = row;
        SettingsSandbox lib(u"");
        lib.scratch.createKey(Root::LocalMachine, kOutprintKey);
        for (const auto& [name, type, data] : values)
            lib.scratch.setRaw(Root::LocalMachine, kOutprintKey, name.c_str(), type, data);
        lib.scope.get().wizardOnly = wizardOnly;
        appkey::CStringArray names{u"stale"};
        appkey::DiscoveryTrace trace;
        EXPECT_EQ(raisedBy([&] { appkey::GetOPAppsRegKeys(names, &trace); }).text(), raises);
        if (*raises)
            continue;
        EXPECT_EQ(names, listed);
        // Every registration is a candidate; those the wizard didn't mark are left out.
        ASSERT_EQ(trace.candidates.size(), values.size());
        for (const auto& candidate : trace.candidates)
            EXPECT_EQ(candidate.verdict == Verdict::NotWizardMarked,
                      std::count(listed.begin(), listed.end(), candidate.key) == 0);
    }
}

} // namespace
} // namespace tavlo::test
