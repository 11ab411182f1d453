// The registered-application catalogue: which registrations count, how records of one location
// are merged, and which application the host path selects.
#include "settings_sandbox.h"

#include "appkey/catalogue.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

namespace tavlo::test {
namespace {

using Strings = std::vector<std::u16string>;
namespace regtype = platform::regtype;

struct App {
    std::u16string name;
    const char16_t* location; // null: no machine key
    bool userKey = false;
    bool onDisk = true;
};

void install(SettingsSandbox& lib, const std::vector<App>& apps) {
    for (const App& app : apps) {
        lib.registerApp(app.name, app.location, app.userKey);
        if (!app.onDisk)
            lib.files.paths.erase(app.location);
    }
}

// The operation name of the TAVLO_AppKey_Error fn raises, or the empty string.
template <typename Fn> std::u16string raisedBy(Fn&& fn) {
    try {
        fn();
    } catch (const TAVLO_AppKey_Error& e) {
        EXPECT_EQ(e.messageId, 57u);
        return e.operation;
    }
    return {};
}

const std::u16string A1 = u"Veltrane\\A1", A2 = u"Veltrane\\A2", A3 = u"Veltrane\\A3";
const std::u16string kCorvida = u"Veltrane\\Corvida\\R1\\X-1",
                     kCorvidaX = u"Veltrane\\CorvidaX\\R1";

struct SelectCase {
    const char* what;
    std::vector<App> apps;
    std::u16string hostPath;
    std::u16string key; // chosen, without "SOFTWARE\"; empty: none
    std::u16string raisedBy = {};
};

// clang-format off
const SelectCase kSelections[] = {
    {"one installed, unrelated host path", {{A1, u"D:\\Host"}}, u"E:\\x.exe", A1},
    {"unregistered and missing locations skipped", {{A1, nullptr}, {A2, u"D:\\Host"}}, u"", A2},
    {"one registered, not on disk", {{A1, u"D:\\Gone", false, false}}, u"", u"", u"GetOPAppsInfo"},
    {"no catalogue", {}, u"", u"", u"GetOPAppsRegKeys"},
    {"trailing backslashes dropped", {{A1, u"D:\\Host\\\\"}, {A2, u"E:\\O"}}, u"D:\\Host\\h.exe\\", A1},
    {"plain substring: the first registered wins", {{A1, u"D:\\Host"}, {A2, u"D:\\Host2"}}, u"D:\\Host2\\h.exe", A1},
    {"case ignored", {{A1, u"E:\\O"}, {A2, u"d:\\host2"}}, u"D:\\HOST2\\H.EXE", A2},
    {"two installed, neither in the host path", {{A1, u"E:\\O"}, {A2, u"F:\\E"}}, u"D:\\Host\\h.exe", u""},
    {"two installed, empty host path", {{A1, u"E:\\O"}, {A2, u"F:\\E"}}, u"", u""},
    {"the product's own key reads KoraLocation", {{kCorvida, u"D:\\K"}, {kCorvidaX, u"D:\\X"}}, u"D:\\K\\k.exe", kCorvida},
    {"a longer product folder reads Location", {{kCorvida, u"D:\\K"}, {kCorvidaX, u"D:\\X"}}, u"D:\\X\\x.exe", kCorvidaX},
};
// clang-format on

TEST(Selections, ChooseTheApplication) {
    for (const SelectCase& c : kSelections) {
        SCOPED_TRACE(c.what);
        SettingsSandbox lib(u"");
        install(lib, c.apps);
        // A location of the wrong type, and the other host's value name, don't count.
        lib.scratch.setRaw(Root::LocalMachine, u"Software\\" + A3, u"Location", regtype::expand_sz,
                           utf16Bytes(u"D:\\Else"));
        lib.scratch.setString(Root::LocalMachine, u"Software\\" + kCorvida, u"Location", u"D:\\X");
        if (!c.apps.empty())
            lib.scratch.setDword(Root::LocalMachine, kOutprintKey, A3.c_str(), 0);
        lib.files.paths.insert(u"D:\\Else");
        EXPECT_EQ(raisedBy([&] { EXPECT_EQ(appkey::SelectAppKey(c.hostPath), 0); }), c.raisedBy);
        EXPECT_EQ(lib.scope.get().appKeyCache, c.key.empty() ? u"" : u"SOFTWARE\\" + c.key);
    }
}

TEST(Catalogue, OneRecordPerLocationInSelectionOrder) {
    struct Case {
        std::vector<App> apps;
        Strings records;
    };
    // clang-format off
    const Case cases[] = {
        {{{A1, u"D:\\Host"}, {A2, u"d:\\host\\", true}}, {A2}},
        {{{A1, u"D:\\Host", true}, {A2, u"d:\\host", true}}, {A1}},
        {{{A1, u"D:\\Host"}, {A2, u"d:\\host"}}, {A1}},
        {{{A1, u"D:\\Host"}, {A2, u"E:\\O"}, {A3, u"d:\\host", true}}, {A2, A3}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SettingsSandbox lib(u"");
        install(lib, c.apps);
        appkey::CStringArray names;
        for (const App& app : c.apps)
            names.push_back(app.name);
        appkey::CInSelArray apps;
        EXPECT_EQ(appkey::GetOPAppsInfo(names, apps), 0);
        Strings keys;
        for (const auto& record : apps.records)
            keys.push_back(record->key);
        EXPECT_EQ(keys, c.records);
    }
}

struct ListCase {
    std::vector<std::tuple<std::u16string, std::uint32_t, std::vector<std::uint8_t>>> values;
    std::int32_t wizardOnly;
    Strings names;
    std::u16string raisedBy = {};
};

const std::u16string k511 = u"Veltrane\\" + std::u16string(502, u'n'), k512 = k511 + u"n";
std::vector<std::uint8_t> mark(std::size_t size) {
    std::vector<std::uint8_t> data(size);
    data[0] = 9;
    return data;
}
const auto dw = regtype::dword, bin = regtype::binary;

// clang-format off
const ListCase kLists[] = {
    {{{A1, dw, mark(4)}, {A2, bin, {1}}}, 0, {A1, A2}},
    {{{A1, bin, {1, 0}}, {A2, dw, mark(4)}}, 1, {A2}},
    {{{A1, regtype::sz, utf16Bytes(u"\t")}, {A2, regtype::sz, utf16Bytes(u"9")}, {A3, bin, {9, 1}}}, 1, {A1}},
    {{{A1, bin, {9}}}, 1, {}},
    {{{k511, bin, {}}}, 0, {k511}},
    {{{k512, bin, {}}}, 0, {}, u"GetOPAppsRegKeys"},
    {{{A1, bin, mark(1024)}}, 1, {A1}},
    {{{A1, bin, mark(1025)}}, 0, {}, u"GetOPAppsRegKeys"},
};
// clang-format on

TEST(Lists, EnumerateTheRegistrations) {
    for (const ListCase& c : kLists) {
        SCOPED_TRACE(&c - kLists);
        SettingsSandbox lib(u"");
        lib.scratch.createKey(Root::LocalMachine, kOutprintKey);
        for (const auto& [name, type, data] : c.values)
            lib.scratch.setRaw(Root::LocalMachine, kOutprintKey, name.c_str(), type, data);
        lib.scope.get().wizardOnly = c.wizardOnly;
        appkey::CStringArray names{u"stale"};
        EXPECT_EQ(raisedBy([&] { appkey::GetOPAppsRegKeys(names); }), c.raisedBy);
        if (c.raisedBy.empty()) {
            EXPECT_EQ(names, c.names);
        }
    }
}

} // namespace
} // namespace tavlo::test
