// Registry reads: machine-wide strings, the current and the fixed profile's values; which call
// raises, reports (once) or drops which error, naming what; and the registry paths errors show,
// composed and shortened to 100 characters (other roots, having no label, show bare).
#include "settings_sandbox.h"

#include "appkey/app_key.h"
#include "registry/reg_path.h"
#include "tavlo/tavlo.hpp"
#include "values/machine_strings.h"
#include "values/profile.h"

namespace tavlo::test {
namespace {

constexpr std::uint32_t kUnset = 0xAAAAAAAAu, kMissing = 0, kNoKey = 99;

// The type stored (kMissing: no value; kNoKey: not even the machine key), its bytes, the name
// read and the size asked for; the kind of error raised and its message id, or ""; the text
// left and how many queries the registry saw.
using ReadCase = std::tuple<std::uint32_t, std::vector<std::uint8_t>, const char16_t*,
                            std::uint32_t, const char*, std::u16string, int>;

const std::u16string k300(300, u'w'), kFormer = u"former text";
const std::u16string kUser = u"HKEY_CURRENT_USER\\" + kOtherKey;
const std::u16string kMachine = u"HKEY_LOCAL_MACHINE\\" + kOtherKey;

// Text stored without a terminator and without the high byte of its last unit.
const std::vector<std::uint8_t> kWhole = utf16Bytes(u"0123456789012A", false),
                                kOdd(kWhole.begin(), kWhole.end() - 1);

// clang-format off
const ReadCase kCases[] = {
    {regtype::sz, utf16Bytes(k300), u"V", 260, "", k300, 2},
    {regtype::sz, utf16Bytes(u"abc"), u"V", 0, "", u"abc", 2},
    {regtype::sz, utf16Bytes(u""), u"V", 260, "", u"", 1},
    {regtype::sz, utf16Bytes(u"abc"), nullptr, 10, "", u"abc", 1},
    {regtype::sz, utf16Bytes(u"0123456789"), u"V", 10, "", u"0123456789", 2},
    {regtype::sz, utf16Bytes(u"AB", false), u"V", 2, "", u"AB", 1},
    // An odd byte count, with room for a terminator after it and without: the other half of
    // its last unit reads as zero.
    {regtype::sz, kOdd, u"V", 14, "", u"0123456789012A", 1},
    {regtype::sz, kOdd, u"V", 64, "", u"0123456789012A", 1},
    {regtype::expand_sz, utf16Bytes(u"%TEMP%\\x"), u"V", 64, "Entry 55", u"%TEMP%\\x", 1},
    {regtype::dword, {0x41, 0, 0, 0}, u"V", 8, "Entry 55", u"A", 1},
    {kMissing, {}, u"V", 6, "Entry 55", kFormer.substr(0, 6), 1},
    {kMissing, {}, u"V", 64, "Entry 55", kFormer, 1},
    {kNoKey, {}, u"V", 2, "Key 55", kFormer, 0},
};
// clang-format on

TEST(MachineStrings, ReadsAndLeaves) {
    for (const auto& [type, stored, name, initialSize, kind, after, queries] : kCases) {
        SCOPED_TRACE(narrow(after) + " of type " + std::to_string(type));
        SettingsSandbox lib;
        if (type != kNoKey)
            lib.scratch.createKey(Root::LocalMachine, lib.key);
        if (type != kNoKey && type != kMissing)
            lib.scratch.setRaw(Root::LocalMachine, lib.key, name, type, stored);
        std::u16string out = kFormer;
        const Raised raised = raisedBy(
            [&] { EXPECT_EQ(registry::GetHKeyLocalMachineString(out, name, initialSize), 0); });
        // An error names the value, or only the key where there is none.
        const std::u16string named = !*kind ? u"" : kMachine + (type == kNoKey ? u"" : u"\\V");
        EXPECT_EQ(std::tie(raised.kind, raised.argument, out, lib.registry.queries),
                  std::tie(kind, named, after, queries));
    }
}

// The same values in the current profile's "General" section and in the fixed profile's "Plot".
struct Profiles : SettingsSandbox {
    explicit Profiles(const std::u16string& current = u"P") {
        scratch.setString(Root::CurrentUser, key + u"\\Profiles", nullptr, current);
        for (const std::u16string& section :
             {key + u"\\Profiles\\" + current + u"\\General", key + u"\\FixedProfile\\Plot"}) {
            scratch.setDword(Root::CurrentUser, section, u"Count", 7);
            scratch.setString(Root::CurrentUser, section, u"Short", u"A");
            scratch.setRaw(Root::CurrentUser, section, u"Half", regtype::binary, {0x34, 0x12});
            scratch.setString(Root::CurrentUser, section, u"Dir", u"C:\\Plot\\Dir");
        }
    }
};

// What a read of four bytes wrote stays in the variable, even when the type is wrong.
TEST(Dwords, BothReadersWriteStraightIntoTheVariable) {
    const std::tuple<const char16_t*, TavloRetVal, std::uint32_t> rows[] = {
        {u"Count", TAVLO_Success, 7},    {u"Missing", TAVLO_Failure, kUnset},
        {u"Short", TAVLO_Failure, 0x41}, {u"Half", TAVLO_Failure, 0xAAAA1234u},
        {u"Dir", TAVLO_Failure, kUnset},
    };
    for (const auto& [name, result, value] : rows) {
        SCOPED_TRACE(narrow(name));
        Profiles lib;
        std::uint32_t current = kUnset, fixed = kUnset;
        EXPECT_EQ(registry::GetProfileDWord(&current, u"General", name), result);
        EXPECT_EQ(registry::GetFixedProfileDWord(fixed, u"\\Plot", name), result);
        EXPECT_EQ(current, value);
        EXPECT_EQ(fixed, value);
        EXPECT_TRUE(lib.handler.calls.empty());
    }
}

// Components of up to 200 characters make a 511-character name that exists on every registry.
std::u16string profileName(std::size_t length) {
    std::u16string name(length, u'p');
    name[200] = name[401] = u'\\';
    return name;
}

TEST(ProfileName, At511CharactersItIsReadAt512EveryReadFails) {
    for (std::size_t length : {511u, 512u}) {
        Profiles lib(profileName(length));
        const bool fits = length == 511;
        EXPECT_EQ(registry::GetCurrentProfileKey(),
                  fits ? lib.key + u"\\Profiles\\" + profileName(length) : u"");
        std::uint32_t value = kUnset;
        EXPECT_EQ(registry::GetProfileDWord(&value, u"General", u"Count"), fits ? 0 : 1);
        std::u16string out;
        const Raised raised =
            raisedBy([&] { registry::GetProfileStr(out, u"General", u"Dir", 64); });
        EXPECT_EQ(raised.text(), fits ? "" : "Key 61 GetActiveProfileKey");
        EXPECT_TRUE(lib.handler.calls.empty());
    }
}

const std::u16string kGeneral = kUser + u"\\Profiles\\P\\General";

enum Setup { Product, NoProfiles, ExpandName, NoKey, NoCatalogue };

void prepare(SettingsSandbox& lib, Setup setup) {
    if (setup == NoCatalogue)
        lib.associate(u".pc3", u"\"D:\\Apps\\Host\\host.exe\" /p");
    if (setup >= NoKey)
        return;
    lib.scope.get().appKeyCache = lib.key = kOtherKey;
    lib.machine(u"Name", u"machine");
    lib.scratch.setDword(Root::CurrentUser, lib.key + u"\\FixedProfile\\Plot", u"N", 5);
    if (setup == NoProfiles)
        return;
    lib.scratch.setRaw(Root::CurrentUser, lib.key + u"\\Profiles", nullptr,
                       setup == ExpandName ? regtype::expand_sz : regtype::sz, utf16Bytes(u"P"));
    lib.profileDword(u"General", u"N", 1);
}

struct MatrixCase {
    const char* what;
    Setup setup;
    std::function<int()> call;
    const char* raised; // kind and message id, "" when nothing left the call
    int result;
    std::u16string operation, argument; // of the error raised, or else left in the context
    const char* reports;
};

std::uint32_t dword = 0;
std::u16string text;
TavloChar buffer[64];

// clang-format off
const MatrixCase kMatrix[] = {
    {"flat machine string reports once", Product, [] { return _GetHKeyLocalMachineString(buffer, tc(u"X"), 64); },
     "", 1, u"GetHKeyLocalMachineString", kMachine + u"\\X", "55"},
    {"flat machine string without app key reads below the root", NoKey, [] { return _GetHKeyLocalMachineString(buffer, tc(u"X"), 64); },
     "", 1, u"GetHKeyLocalMachineString", u"HKEY_LOCAL_MACHINE\\\\X", "57 55"},
    {"flat profile string drops", Product, [] { return _GetProfileStr(buffer, tc(u"General"), tc(u"X"), 64); },
     "", 1, u"GetProfileStr", kGeneral + u"\\X", ""},
    {"flat profile string without app key", NoKey, [] { return _GetProfileStr(buffer, tc(u"General"), tc(u"X"), 64); },
     "", 1, u"GetActiveProfileKey", u"HKEY_CURRENT_USER\\\\Profiles", "57"},
    {"typed profile string, REG_DWORD", Product, [] { return registry::GetProfileStr(text, u"General", u"N", 8); },
     "Entry 61", 0, u"GetProfileStr", kGeneral + u"\\N", ""},
    {"typed profile string, missing section", Product, [] { return registry::GetProfileStr(text, u"Nowhere", u"X", 8); },
     "Key 61", 0, u"GetProfileStr", kUser + u"\\Profiles\\P\\Nowhere", ""},
    {"typed profile string, no profiles", NoProfiles, [] { return registry::GetProfileStr(text, u"General", u"N", 8); },
     "Key 61", 0, u"GetActiveProfileKey", kUser + u"\\Profiles", ""},
    {"typed profile string, profile name not REG_SZ", ExpandName, [] { return registry::GetProfileStr(text, u"General", u"N", 8); },
     "Key 61", 0, u"GetActiveProfileKey", kUser + u"\\Profiles", ""},
    {"profile number drops", Product, [] { return registry::GetProfileDWord(&dword, u"General", u"X"); },
     "", 1, u"GetProfileDWord", kGeneral + u"\\X", ""},
    {"profile number, missing section after a backslash", Product, [] { return GetProfileDWord(&dword, tc(u"\\No"), tc(u"X")); },
     "", 1, u"GetProfileDWord", kUser + u"\\Profiles\\P\\No", ""},
    {"profile number, no profiles", NoProfiles, [] { return registry::GetProfileDWord(&dword, u"General", u"X"); },
     "", 1, u"GetActiveProfileKey", kUser + u"\\Profiles", ""},
    {"fixed number, missing key", Product, [] { return registry::GetFixedProfileDWord(dword, u"None", u"X"); },
     "", 1, u"GetFixedProfileDWord", kUser + u"\\FixedProfile\\None", ""},
    {"fixed number, no profiles", NoProfiles, [] { dword = 0; return registry::GetFixedProfileDWord(dword, u"Plot", u"N") ? -1 : int(dword); },
     "", 5, u"", u"", ""},
    {"current profile key, no profiles", NoProfiles, [] { return int(::GetCurrentProfileKey().size()); },
     "", 0, u"GetActiveProfileKey", kUser + u"\\Profiles", ""},
    {"IsKORAApp without a host is silent", NoKey, [] { TavloBool k = 7; return IsKORAApp(&k) * 10 + k; },
     "", 17, u"", u"", ""},
    {"GetAppKey reports the catalogue's error", NoCatalogue, [] { return int(*_GetAppKey(nullptr)); },
     "", 0, u"GetOPAppsRegKeys", u"", "57"},
    {"SetAppKey reports the catalogue's error", NoCatalogue, [] { return SetAppKey(tc(u"SOFTWARE\\A")); },
     "", 1, u"GetOPAppsRegKeys", u"", "57"},
    {"IsKORAApp lets the catalogue's error through", NoCatalogue, [] { TavloBool k = 0; return IsKORAApp(&k); },
     "AppKey 57", 0, u"GetOPAppsRegKeys", u"", ""},
};
// clang-format on

TEST(ErrorMatrix, RaisesReportsOrDrops) {
    for (const MatrixCase& c : kMatrix) {
        SCOPED_TRACE(c.what);
        SettingsSandbox lib(u"");
        prepare(lib, c.setup);
        int result = 0;
        Raised raised = raisedBy([&] { result = c.call(); });
        if (raised.kind.empty()) // what the call left in the context
            raised = {"", std::u16string(lib.scope.get().currentOperation.view()),
                      std::u16string(lib.scope.get().currentArgument.view())};
        const std::string reports = lib.reportIds();
        EXPECT_EQ(std::tie(raised.kind, result, raised.operation, raised.argument, reports),
                  std::tie(c.raised, c.result, c.operation, c.argument, c.reports));
    }
}

// n characters, backslashes at the given indices, digits elsewhere (so every cut is visible).
std::u16string pathOf(std::size_t n, std::initializer_list<std::size_t> backslashes) {
    std::u16string text;
    for (std::size_t i = 0; i < n; ++i)
        text += static_cast<char16_t>(u'0' + i % 10);
    for (std::size_t i : backslashes)
        text[i] = u'\\';
    return text;
}
std::u16string head(const std::u16string& t, std::size_t n) {
    return t.substr(0, n) + u"...";
}
std::u16string last(const std::u16string& t, std::size_t n) {
    return t.substr(t.size() - n);
}

const std::u16string k100 = pathOf(100, {18}), k101 = pathOf(101, {18}), k120 = pathOf(120, {});
const std::u16string k180 = pathOf(180, {18, 27, 36, 44, 60, 80, 120, 150});
const std::u16string kStops = pathOf(200, {5, 98, 150});  // 98 + 1 reaches 99: no more tries
const std::u16string kGoesOn = pathOf(200, {5, 97, 150}); // 97 + 1 does not
const std::u16string kLongHead = pathOf(150, {98, 120});  // head and "..." exceed 100 already
const std::u16string kTailFits = pathOf(130, {18, 40});   // 22 + 90 > 100: bare last characters
const std::u16string kLongKey = u"SOFTWARE\\" + std::u16string(100, u'x') + u"\\R1";

TEST(PathTable, ComposesAndShortens) {
    // clang-format off
    const std::tuple<Root, const char16_t*, const char16_t*, std::u16string> rows[] = {
        {Root::LocalMachine, u"SOFTWARE\\A", u"v", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\v"},
        {Root::LocalMachine, u"SOFTWARE\\A", nullptr, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\A"},
        {Root::LocalMachine, u"", u"v", u"HKEY_LOCAL_MACHINE\\\\v"},
        {Root::CurrentUser, u"A\\", u"v", u"HKEY_CURRENT_USER\\A\\\\v"},
        {Root::LocalMachine, kLongKey.c_str(), u"Name", u"HKEY_LOCAL_MACHINE\\...\\R1\\Name"},
        {Root::ClassesRoot, k100.c_str(), nullptr, k100},
        {Root::ClassesRoot, k101.c_str(), nullptr, head(k101, 19) + last(k101, 78)},
        {Root::ClassesRoot, k120.c_str(), nullptr, u"..." + last(k120, 97)},
        {Root::ClassesRoot, k180.c_str(), nullptr, head(k180, 19) + k180.substr(120)},
        {Root::ClassesRoot, kStops.c_str(), nullptr, head(kStops, 6) + last(kStops, 91)},
        {Root::ClassesRoot, kGoesOn.c_str(), nullptr, head(kGoesOn, 6) + kGoesOn.substr(150)},
        {Root::ClassesRoot, kLongHead.c_str(), nullptr, head(kLongHead, 99)},
        {Root::ClassesRoot, kTailFits.c_str(), nullptr, head(kTailFits, 19) + last(kTailFits, 78)},
    };
    // clang-format on
    for (const auto& [root, key, value, expected] : rows)
        EXPECT_EQ(registry::FormatRegPath(root, key, value), expected) << narrow(key);
}

} // namespace
} // namespace tavlo::test
