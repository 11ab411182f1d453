// Which operation raises, reports (once) or drops which error, with which operation name,
// message id and argument; and the flat exports' buffers and shared result.
#include "discovery_stand_ins.h"

#include "appkey/app_key.h"
#include "registry/machine_strings.h"
#include "registry/profile.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace tavlo::test {
namespace {

const std::u16string kKey = u"SOFTWARE\\Veltrane\\Corvida\\R1\\X-1";
const std::u16string kUser = u"HKEY_CURRENT_USER\\" + kKey;
const std::u16string kMachine = u"HKEY_LOCAL_MACHINE\\" + kKey;
const TavloChar* flat(const char16_t* text) {
    return reinterpret_cast<const TavloChar*>(text);
}

enum class Setup { product, noMachineKey, noProfiles, expandProfileName, noKey, noCatalogue };

void prepare(LibrarySandbox& lib, Setup setup) {
    switch (setup) {
    case Setup::noKey:
        return;
    case Setup::noCatalogue:
        lib.associate(u".pc3", u"\"D:\\Apps\\Host\\host.exe\" /p");
        return;
    default:
        break;
    }
    lib.hookBesideLibrary(kKey);
    if (setup != Setup::noMachineKey)
        lib.scratch.setString(Root::LocalMachine, kKey, u"Name", u"machine");
    if (setup == Setup::noProfiles)
        return;
    if (setup == Setup::expandProfileName)
        lib.scratch.setRaw(Root::CurrentUser, kKey + u"\\Profiles", nullptr,
                           platform::regtype::expand_sz, utf16Bytes(u"Main"));
    else
        lib.scratch.setString(Root::CurrentUser, kKey + u"\\Profiles", nullptr, u"Main");
    lib.scratch.setString(Root::CurrentUser, kKey + u"\\Profiles\\Main\\General", u"Dir", u"D");
    lib.scratch.setDword(Root::CurrentUser, kKey + u"\\Profiles\\Main\\General", u"N", 1);
    lib.scratch.createKey(Root::CurrentUser, kKey + u"\\FixedProfile\\Plot");
}

struct Outcome {
    std::string raised;          // "", "Key", "Entry" or "AppKey"
    int result = 0;              // what a call that returns a number returned
    std::u16string text;         // what a call that returns text returned
    std::u16string operation;    // of the raised error, or else left in the error context
    std::u16string argument;     // likewise
    std::uint32_t messageId = 0; // of a raised error
    std::vector<std::u16string> reports;
};

struct MatrixCase {
    const char* what;
    Setup setup;
    std::function<void(Outcome&)> call;
    Outcome expected;
};

std::uint32_t dword = 0;
std::u16string text;
TavloChar buffer[64];

const MatrixCase kMatrix[] = {
    {"typed machine string: missing value raises",
     Setup::product,
     [](Outcome&) { registry::GetHKeyLocalMachineString(text, u"Missing", 8); },
     {"Entry", 0, u"", u"GetHKeyLocalMachineString", kMachine + u"\\Missing", 55, {}}},
    {"typed machine string: missing key raises",
     Setup::noMachineKey,
     [](Outcome&) { registry::GetHKeyLocalMachineString(text, u"Name", 8); },
     {"Key", 0, u"", u"GetHKeyLocalMachineString", kMachine, 55, {}}},
    {"flat machine string reports once",
     Setup::product,
     [](Outcome& o) { o.result = _GetHKeyLocalMachineString(buffer, flat(u"Missing"), 64); },
     {"",
      1,
      u"",
      u"GetHKeyLocalMachineString",
      kMachine + u"\\Missing",
      0,
      {u"M55[" + kMachine + u"\\Missing]"}}},
    {"flat machine string without app key: value looked for below the root",
     Setup::noKey,
     [](Outcome& o) { o.result = _GetHKeyLocalMachineString(buffer, flat(u"Missing"), 64); },
     {"",
      1,
      u"",
      u"GetHKeyLocalMachineString",
      u"HKEY_LOCAL_MACHINE\\\\Missing",
      0,
      {u"M57[]", u"M55[HKEY_LOCAL_MACHINE\\\\Missing]"}}},
    {"flat profile string drops",
     Setup::product,
     [](Outcome& o) { o.result = _GetProfileStr(buffer, flat(u"General"), flat(u"X"), 64); },
     {"", 1, u"", u"GetProfileStr", kUser + u"\\Profiles\\Main\\General\\X", 0, {}}},
    {"flat profile string without app key: only the app key is reported",
     Setup::noKey,
     [](Outcome& o) { o.result = _GetProfileStr(buffer, flat(u"General"), flat(u"X"), 64); },
     {"", 1, u"", u"GetActiveProfileKey", u"HKEY_CURRENT_USER\\\\Profiles", 0, {u"M57[]"}}},
    {"typed profile string: missing value",
     Setup::product,
     [](Outcome&) { registry::GetProfileStr(text, u"General", u"X", 8); },
     {"Entry", 0, u"", u"GetProfileStr", kUser + u"\\Profiles\\Main\\General\\X", 61, {}}},
    {"typed profile string: REG_DWORD",
     Setup::product,
     [](Outcome&) { registry::GetProfileStr(text, u"General", u"N", 8); },
     {"Entry", 0, u"", u"GetProfileStr", kUser + u"\\Profiles\\Main\\General\\N", 61, {}}},
    {"typed profile string: missing section",
     Setup::product,
     [](Outcome&) { registry::GetProfileStr(text, u"Nowhere", u"X", 8); },
     {"Key", 0, u"", u"GetProfileStr", kUser + u"\\Profiles\\Main\\Nowhere", 61, {}}},
    {"typed profile string: no profiles",
     Setup::noProfiles,
     [](Outcome&) { registry::GetProfileStr(text, u"General", u"Dir", 8); },
     {"Key", 0, u"", u"GetActiveProfileKey", kUser + u"\\Profiles", 61, {}}},
    {"typed profile string: profile name not REG_SZ",
     Setup::expandProfileName,
     [](Outcome&) { registry::GetProfileStr(text, u"General", u"Dir", 8); },
     {"Key", 0, u"", u"GetActiveProfileKey", kUser + u"\\Profiles", 61, {}}},
    {"profile number drops, context kept",
     Setup::product,
     [](Outcome& o) { o.result = registry::GetProfileDWord(&dword, u"General", u"X"); },
     {"", 1, u"", u"GetProfileDWord", kUser + u"\\Profiles\\Main\\General\\X", 0, {}}},
    {"profile number: missing section",
     Setup::product,
     [](Outcome& o) { o.result = GetProfileDWord(&dword, flat(u"Nowhere"), flat(u"X")); },
     {"", 1, u"", u"GetProfileDWord", kUser + u"\\Profiles\\Main\\Nowhere", 0, {}}},
    {"profile number: a leading backslash is not doubled",
     Setup::product,
     [](Outcome& o) { o.result = GetProfileDWord(&dword, flat(u"\\Nowhere"), flat(u"X")); },
     {"", 1, u"", u"GetProfileDWord", kUser + u"\\Profiles\\Main\\Nowhere", 0, {}}},
    {"profile number without profiles",
     Setup::noProfiles,
     [](Outcome& o) { o.result = registry::GetProfileDWord(&dword, u"General", u"X"); },
     {"", 1, u"", u"GetActiveProfileKey", kUser + u"\\Profiles", 0, {}}},
    {"fixed number drops",
     Setup::product,
     [](Outcome& o) { o.result = registry::GetFixedProfileDWord(dword, u"Plot", u"X"); },
     {"", 1, u"", u"GetFixedProfileDWord", kUser + u"\\FixedProfile\\Plot\\X", 0, {}}},
    {"fixed number: missing key",
     Setup::product,
     [](Outcome& o) { o.result = registry::GetFixedProfileDWord(dword, u"None", u"X"); },
     {"", 1, u"", u"GetFixedProfileDWord", kUser + u"\\FixedProfile\\None", 0, {}}},
    {"current profile key without profiles",
     Setup::noProfiles,
     [](Outcome& o) { o.text = ::GetCurrentProfileKey(); },
     {"", 0, u"", u"GetActiveProfileKey", kUser + u"\\Profiles", 0, {}}},
    {"GetAppKey without a host reports",
     Setup::noKey,
     [](Outcome& o) { o.text = ::GetAppKey(nullptr); },
     {"", 0, u"", u"GetAppKey", u"", 0, {u"M57[]"}}},
    {"SetAppKey without a host reports",
     Setup::noKey,
     [](Outcome& o) { o.result = SetAppKey(nullptr); },
     {"", 1, u"", u"GetAppKey", u"", 0, {u"M57[]"}}},
    {"IsKORAApp without a host is silent",
     Setup::noKey,
     [](Outcome& o) {
         TavloBool isKora = 7;
         o.result = IsKORAApp(&isKora) * 10 + isKora;
     },
     {"", 17, u"", u"", u"", 0, {}}},
    {"GetAppKey without catalogue reports the catalogue's error",
     Setup::noCatalogue,
     [](Outcome& o) { o.text = reinterpret_cast<const char16_t*>(_GetAppKey(nullptr)); },
     {"", 0, u"", u"GetOPAppsRegKeys", u"", 0, {u"M57[]"}}},
    {"SetAppKey without catalogue reports",
     Setup::noCatalogue,
     [](Outcome& o) { o.result = SetAppKey(flat(u"SOFTWARE\\Any")); },
     {"", 1, u"", u"GetOPAppsRegKeys", u"", 0, {u"M57[]"}}},
    {"IsKORAApp lets the catalogue's error through",
     Setup::noCatalogue,
     [](Outcome&) {
         TavloBool isKora = 0;
         IsKORAApp(&isKora);
     },
     {"AppKey", 0, u"", u"GetOPAppsRegKeys", u"", 57, {}}},
};

template <typename Kind> void record(Outcome& o, const char* name, const Kind& e) {
    o.raised = name;
    o.operation = e.operation;
    o.argument = e.argument;
    o.messageId = e.messageId;
}

class ErrorMatrix : public ::testing::TestWithParam<MatrixCase> {};

TEST_P(ErrorMatrix, RaisesReportsOrDrops) {
    const MatrixCase& c = GetParam();
    LibrarySandbox lib;
    prepare(lib, c.setup);
    Outcome o;
    try {
        c.call(o);
        o.operation = lib.scope.get().currentOperation;
        o.argument = lib.scope.get().currentArgument;
    } catch (const TAVLO_Key_Error& e) {
        record(o, "Key", e);
    } catch (const TAVLO_Entry_Error& e) {
        record(o, "Entry", e);
    } catch (const TAVLO_AppKey_Error& e) {
        record(o, "AppKey", e);
    }
    o.reports = lib.reports();
    const Outcome& x = c.expected;
    EXPECT_EQ(o.raised, x.raised) << c.what;
    EXPECT_EQ(o.result, x.result) << c.what;
    EXPECT_EQ(o.text, x.text) << c.what;
    EXPECT_EQ(o.operation, x.operation) << c.what;
    EXPECT_EQ(o.argument, x.argument) << c.what;
    EXPECT_EQ(o.messageId, x.messageId) << c.what;
    EXPECT_EQ(o.reports, x.reports) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Operations, ErrorMatrix, ::testing::ValuesIn(kMatrix));

// Sized copies: a failure leaves the caller's buffer as it was; a result that doesn't fit
// writes nothing past the size and leaves a null first.
TEST(FlatExports, SizedCopiesTouchTheBufferOnlyWhenTheyCan) {
    LibrarySandbox lib;
    prepare(lib, Setup::product);
    struct Row {
        std::function<TavloRetVal(TavloChar*, std::uint32_t)> call;
        std::u16string value;
    };
    const Row rows[] = {
        {[](TavloChar* b, std::uint32_t n) {
             return _GetHKeyLocalMachineString(b, flat(u"Name"), n);
         },
         u"machine"},
        {[](TavloChar* b, std::uint32_t n) {
             return _GetProfileStr(b, flat(u"General"), flat(u"Dir"), n);
         },
         u"D"},
    };
    for (const Row& row : rows) {
        const std::uint32_t exact = static_cast<std::uint32_t>(row.value.size() + 1);
        std::u16string b(12, u'#');
        auto* out = reinterpret_cast<TavloChar*>(b.data());
        EXPECT_EQ(row.call(out, exact), TAVLO_Success);
        EXPECT_EQ(b, row.value + u'\0' + std::u16string(12 - exact, u'#'));
        b.assign(12, u'#');
        EXPECT_NE(row.call(out, exact - 1), TAVLO_Success);
        EXPECT_EQ(b, u'\0' + std::u16string(11, u'#'));
    }
    std::u16string b(8, u'#');
    EXPECT_EQ(
        _GetProfileStr(reinterpret_cast<TavloChar*>(b.data()), flat(u"General"), flat(u"X"), 8),
        TAVLO_Failure);
    EXPECT_EQ(b, std::u16string(8, u'#'));
    EXPECT_TRUE(lib.handler.calls.empty());
}

TEST(FlatExports, AppKeyIgnoresItsArgument) {
    LibrarySandbox lib;
    prepare(lib, Setup::product);
    for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u"", u"SOFTWARE\\Other"})
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(_GetAppKey(flat(name)))), kKey);
}

// Callers keep the first pointer and read later results through it: the shared result is one
// buffer that each call overwrites.
TEST(FlatExports, EarlierPointerShowsTheLatestResult) {
    LibrarySandbox lib;
    prepare(lib, Setup::product);
    const TavloChar* first = _GetAppKey(nullptr);
    lib.scope.get().appKeyCache = u"SOFTWARE\\B";
    const TavloChar* second = _GetAppKey(nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(second)), u"SOFTWARE\\B");
}

} // namespace
} // namespace tavlo::test
