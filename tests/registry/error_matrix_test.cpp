// Which operation raises, reports (once) or drops which error, with which operation name,
// message id and argument.
#include "settings_sandbox.h"

#include "appkey/app_key.h"
#include "registry/machine_strings.h"
#include "registry/profile.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace tavlo::test {
namespace {

namespace regtype = platform::regtype;
const std::u16string kUser = u"HKEY_CURRENT_USER\\" + kOtherKey;
const std::u16string kMachine = u"HKEY_LOCAL_MACHINE\\" + kOtherKey;
const std::u16string kGeneral = kUser + u"\\Profiles\\P\\General";
const TavloChar* tc(const char16_t* text) {
    return reinterpret_cast<const TavloChar*>(text);
}

enum Setup { Product, NoMachineKey, NoProfiles, ExpandName, NoKey, NoCatalogue };

void prepare(SettingsSandbox& lib, Setup setup) {
    if (setup == NoCatalogue)
        lib.associate(u".pc3", u"\"D:\\Apps\\Host\\host.exe\" /p");
    if (setup >= NoKey)
        return;
    lib.scope.get().appKeyCache = lib.key = kOtherKey;
    if (setup != NoMachineKey)
        lib.machine(u"Name", u"machine");
    if (setup == NoProfiles)
        return;
    lib.scratch.setRaw(Root::CurrentUser, lib.key + u"\\Profiles", nullptr,
                       setup == ExpandName ? regtype::expand_sz : regtype::sz, utf16Bytes(u"P"));
    lib.profileDword(u"General", u"N", 1);
    lib.scratch.createKey(Root::CurrentUser, lib.key + u"\\FixedProfile\\Plot");
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
    {"typed machine string, missing value", Product, [] { return registry::GetHKeyLocalMachineString(text, u"X", 8); },
     "Entry 55", 0, u"GetHKeyLocalMachineString", kMachine + u"\\X", ""},
    {"typed machine string, missing key", NoMachineKey, [] { return registry::GetHKeyLocalMachineString(text, u"Name", 8); },
     "Key 55", 0, u"GetHKeyLocalMachineString", kMachine, ""},
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
        std::string raised;
        int result = 0;
        std::u16string operation, argument;
        auto record = [&](const char* kind, const auto& e) {
            raised = kind + (" " + std::to_string(e.messageId));
            operation = e.operation;
            argument = e.argument;
        };
        try {
            result = c.call();
            operation = lib.scope.get().currentOperation;
            argument = lib.scope.get().currentArgument;
        } catch (const TAVLO_Key_Error& e) {
            record("Key", e);
        } catch (const TAVLO_Entry_Error& e) {
            record("Entry", e);
        } catch (const TAVLO_AppKey_Error& e) {
            record("AppKey", e);
        }
        EXPECT_EQ(raised, c.raised);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(operation, c.operation);
        EXPECT_EQ(argument, c.argument);
        EXPECT_EQ(lib.reportIds(), c.reports);
    }
}

} // namespace
} // namespace tavlo::test
