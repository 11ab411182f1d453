// The registered-application catalogue: which registrations count, how records of one location
// are merged, and which application the host path selects.
#include "discovery_stand_ins.h"

#include "appkey/catalogue.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

#include <functional>

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

void install(LibrarySandbox& lib, const std::vector<App>& apps) {
    for (const App& app : apps) {
        lib.registerApp(app.name, app.location, app.userKey);
        if (!app.onDisk)
            lib.files.paths.erase(app.location);
    }
}

// Raises TAVLO_AppKey_Error: its operation name; else the empty string.
template <typename Fn> std::u16string raisedBy(Fn&& fn) {
    try {
        fn();
    } catch (const TAVLO_AppKey_Error& e) {
        EXPECT_EQ(e.messageId, 57u);
        EXPECT_EQ(std::u16string(e.argument), u"");
        return e.operation;
    }
    return {};
}

const std::u16string A1 = u"Veltrane\\A1", A2 = u"Veltrane\\A2", A3 = u"Veltrane\\A3";
const std::u16string kCorvida = u"Veltrane\\Corvida\\R1\\X-1";
const std::u16string kCorvidaX = u"Veltrane\\CorvidaX\\R1";

struct SelectCase {
    const char* what;
    std::vector<App> apps;
    std::u16string hostPath;
    std::u16string key; // chosen, without the key prefix; empty: none
    std::u16string raisedBy = {};
    std::function<void(LibrarySandbox&)> extra = {};
};

const SelectCase kSelections[] = {
    {"one installed, empty host path", {{A1, u"D:\\Apps\\Host"}}, u"", A1},
    {"one installed, unrelated host path", {{A1, u"D:\\Apps\\Host"}}, u"E:\\x.exe", A1},
    {"unregistered, missing and wrongly typed locations are skipped",
     {{A1, nullptr}, {A2, u"D:\\Apps\\Host"}},
     u"",
     A2,
     {},
     [](LibrarySandbox& l) {
         l.scratch.setRaw(Root::LocalMachine, u"Software\\" + A3, u"Location", regtype::expand_sz,
                          utf16Bytes(u"D:\\Else"));
         l.files.paths.insert(u"D:\\Else");
         l.scratch.setDword(Root::LocalMachine, kOutprintKey, A3.c_str(), 0);
     }},
    {"one registered, not on disk", {{A1, u"D:\\Gone", false, false}}, u"", u"", u"GetOPAppsInfo"},
    {"nothing registered",
     {},
     u"",
     u"",
     u"GetOPAppsInfo",
     [](LibrarySandbox& l) { l.scratch.createKey(Root::LocalMachine, kOutprintKey); }},
    {"no catalogue", {}, u"", u"", u"GetOPAppsRegKeys"},
    {"trailing backslashes dropped",
     {{A1, u"D:\\Apps\\Host\\\\\\"}, {A2, u"E:\\Other"}},
     u"D:\\Apps\\Host\\host.exe\\",
     A1},
    {"plain substring: the first registered wins",
     {{A1, u"D:\\Apps\\Host"}, {A2, u"D:\\Apps\\Host2"}},
     u"D:\\Apps\\Host2\\host.exe",
     A1},
    {"case ignored",
     {{A1, u"E:\\Other"}, {A2, u"d:\\apps\\host2"}},
     u"D:\\APPS\\HOST2\\HOST.EXE",
     A2},
    {"location inside the host path",
     {{A1, u"E:\\Other"}, {A2, u"Apps\\Host"}},
     u"D:\\Apps\\Host\\host.exe",
     A2},
    {"two installed, neither in the host path",
     {{A1, u"E:\\Other"}, {A2, u"F:\\Else"}},
     u"D:\\Apps\\Host\\host.exe",
     u""},
    {"two installed, empty host path", {{A1, u"E:\\Other"}, {A2, u"F:\\Else"}}, u"", u""},
    {"the product's own key reads KoraLocation",
     {{kCorvida, u"D:\\Kora"}, {kCorvidaX, u"D:\\X"}},
     u"D:\\Kora\\kora.exe",
     kCorvida,
     {},
     [](LibrarySandbox& l) {
         l.scratch.setString(Root::LocalMachine, u"Software\\" + kCorvida, u"Location",
                             u"D:\\Elsewhere");
         l.files.paths.insert(u"D:\\Elsewhere");
     }},
    {"a longer product folder reads Location",
     {{kCorvida, u"D:\\Kora"}, {kCorvidaX, u"D:\\X"}},
     u"D:\\X\\x.exe",
     kCorvidaX},
};

class SelectTable : public ::testing::TestWithParam<SelectCase> {};

TEST_P(SelectTable, ChoosesTheApplication) {
    const SelectCase& c = GetParam();
    LibrarySandbox lib;
    install(lib, c.apps);
    if (c.extra)
        c.extra(lib);
    const std::u16string raised = raisedBy([&] { EXPECT_EQ(appkey::SelectAppKey(c.hostPath), 0); });
    EXPECT_EQ(raised, c.raisedBy) << c.what;
    EXPECT_EQ(lib.scope.get().appKeyCache, c.key.empty() ? u"" : u"SOFTWARE\\" + c.key) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Selections, SelectTable, ::testing::ValuesIn(kSelections));

struct MergeCase {
    const char* what;
    std::vector<App> apps;
    Strings records;
};

const MergeCase kMerges[] = {
    {"the one with a user key survives",
     {{A1, u"D:\\Apps\\Host"}, {A2, u"d:\\apps\\host\\", true}},
     {A2}},
    {"both with user keys: the first",
     {{A1, u"D:\\Apps\\Host", true}, {A2, u"d:\\apps\\host", true}},
     {A1}},
    {"neither: the first", {{A1, u"D:\\Apps\\Host"}, {A2, u"d:\\apps\\host"}}, {A1}},
    {"first has it, second not", {{A1, u"D:\\Apps\\Host", true}, {A2, u"d:\\apps\\host"}}, {A1}},
    {"a replacing record goes last",
     {{A1, u"D:\\Apps\\Host"}, {A2, u"E:\\Other"}, {A3, u"d:\\apps\\host", true}},
     {A2, A3}},
};

class MergeTable : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeTable, OneRecordPerLocationInSelectionOrder) {
    const MergeCase& c = GetParam();
    LibrarySandbox lib;
    install(lib, c.apps);
    appkey::CStringArray names;
    for (const App& app : c.apps)
        names.push_back(app.name);
    appkey::CInSelArray apps;
    EXPECT_EQ(appkey::GetOPAppsInfo(names, apps), 0);
    Strings keys;
    for (const auto& record : apps.records)
        keys.push_back(record->key);
    EXPECT_EQ(keys, c.records) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Merges, MergeTable, ::testing::ValuesIn(kMerges));

TEST(Catalogue, RecordFields) {
    LibrarySandbox lib;
    install(lib, {{A1, u"D:\\Apps\\Host\\\\", true}, {A2, u"E:\\Other"}});
    lib.scratch.setString(Root::LocalMachine, u"Software\\" + A1, u"Language", u"de-DE");
    lib.scratch.setString(Root::LocalMachine, u"Software\\" + A1, u"ProductName", u"Plot Pro");
    lib.scratch.setDword(Root::LocalMachine, u"Software\\" + A2, u"Language", 7);
    appkey::CInSelArray apps;
    appkey::GetOPAppsInfo({A1, A2}, apps);
    ASSERT_EQ(apps.records.size(), 2u);
    const appkey::AppInfo& a = *apps.records[0];
    EXPECT_EQ(a.key, A1);
    EXPECT_EQ(a.productName, u"Plot Pro");
    EXPECT_EQ(a.language, u"de-DE");
    EXPECT_EQ(a.location, u"D:\\Apps\\Host");
    EXPECT_TRUE(a.hasUserKey);
    const appkey::AppInfo& b = *apps.records[1];
    EXPECT_EQ(b.productName, u"");
    EXPECT_EQ(b.language, u"");
    EXPECT_FALSE(b.hasUserKey);
}

struct Registration {
    std::u16string name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
};
Registration marked(const std::u16string& name, std::uint8_t mark) {
    return {name, regtype::dword, {mark, 0, 0, 0}};
}

std::vector<std::uint8_t> markedData(std::size_t size) {
    std::vector<std::uint8_t> data(size);
    data[0] = 9;
    return data;
}

struct ListCase {
    const char* what;
    std::vector<Registration> values;
    std::int32_t wizardOnly;
    Strings names;
    std::u16string raisedBy = {};
};

const std::u16string k511 = u"Veltrane\\" + std::u16string(502, u'n');
const std::u16string k512 = k511 + u"n";

const ListCase kLists[] = {
    {"every name, in order", {marked(A1, 9), marked(A2, 1)}, 0, {A1, A2}},
    {"wizard only: data 9 only", {marked(A1, 1), marked(A2, 9)}, 1, {A2}},
    {"wizard only: any type whose first two bytes are 9",
     {{A1, regtype::sz, utf16Bytes(u"\t")},
      {A2, regtype::sz, utf16Bytes(u"9")},
      {A3, regtype::binary, {9, 1}}},
     1,
     {A1}},
    {"wizard only, nothing marked", {marked(A1, 1)}, 1, {}},
    {"name of 511 characters", {marked(k511, 0)}, 0, {k511}},
    {"name of 512 characters", {marked(k512, 0)}, 0, {}, u"GetOPAppsRegKeys"},
    {"data of 1024 bytes", {{A1, regtype::binary, markedData(1024)}}, 1, {A1}},
    {"data over 1024 bytes", {{A1, regtype::binary, markedData(1025)}}, 0, {}, u"GetOPAppsRegKeys"},
};

class ListTable : public ::testing::TestWithParam<ListCase> {};

TEST_P(ListTable, EnumeratesTheRegistrations) {
    const ListCase& c = GetParam();
    LibrarySandbox lib;
    lib.scratch.createKey(Root::LocalMachine, kOutprintKey);
    for (const Registration& r : c.values)
        lib.scratch.setRaw(Root::LocalMachine, kOutprintKey, r.name.c_str(), r.type, r.data);
    lib.scope.get().wizardOnly = c.wizardOnly;
    appkey::CStringArray names{u"stale"};
    EXPECT_EQ(raisedBy([&] { appkey::GetOPAppsRegKeys(names); }), c.raisedBy) << c.what;
    if (c.raisedBy.empty()) {
        EXPECT_EQ(names, c.names) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, ListTable, ::testing::ValuesIn(kLists));

} // namespace
} // namespace tavlo::test
