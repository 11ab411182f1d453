// The named directories, the search path and the plot settings: which value each one reads,
// under which host, and what it gives when the value is missing.
#include "settings_sandbox.h"

#include "identity/identity.h"
#include "settings/named_settings.h"

#include <gtest/gtest.h>

#include <optional>

namespace tavlo::test {
namespace {

using namespace settings;
using Getter = std::u16string (*)();

struct SettingCase {
    const char* what;
    Getter get;
    const char16_t* section;
    const char16_t* name; // as read for a host other than the Corvida product
    std::u16string stored, read;
    std::u16string byDefault;   // missing, with a roamable root and an application directory
    const char* reportsWithout; // missing, with neither: the result is empty
};

// clang-format off
const SettingCase kSettings[] = {
    {"driver", GetDriverDirectory, u"General", u"DRIVER", u"F:\\Drv\\\\", u"F:\\Drv", u"E:\\App\\Drv", "55"},
    {"plotters", GetPlottersDirectory, u"General", u"PrinterConfigDir", u"P:\\", u"P:", u"D:\\Roam\\Plotters", ""},
    {"plot styles", GetPlotStylesDirectory, u"General", u"PrinterStyleSheetDir", u"S:\\", u"S:", u"D:\\Roam\\Plot Styles", ""},
    {"printer descriptions", GetPMPDirectory, u"General", u"PrinterDescDir", u"M:\\Pmp", u"M:\\Pmp", u"D:\\Roam\\Plotters", ""},
    {"spooler", GetPlotSpoolerDirectory, u"General Configuration", u"PlotSpoolerDirectory", u"C:\\S\\", u"C:\\S", u"E:\\App", "55"},
    {"help", GetHelpDirectory, u"General", u"HELP", u"C:\\H\\main.chm", u"C:\\H", u"E:\\App\\Help", "55"},
    {"log files", GetLogFileDirectory, u"Editor Configuration", u"LogFilePath", u"L:\\Logs\\", u"L:\\Logs", u"E:\\App", "55"},
    {"search path", GetSupportFileSearchPath, u"General", u"Support", u"C:\\a;C:\\b\\", u"C:\\a;C:\\b\\", u"", ""},
    {"autospool", GetAutospoolCommandString, u"General", u"PLOTCOMMAND", u" lpr %s ", u" lpr %s ", u"", ""},
    {"login name", GetDefaultLoginName, u"General Configuration", u"DefaultLoginName", u" ann ", u" ann ", u"", ""},
    {"plot to file", GetDefaultPlotToFile, u"General Configuration", u"DefaultPlotToFile", u"C:\\o\\", u"C:\\o\\", u"", ""},
    {"plot style table", GetDefaultPlotStyleTable, u"General", u"NewStyleSheet", u"mono.ctb ", u"mono.ctb ", u"", ""},
};
// clang-format on

TEST(Settings, ReadsItsOwnSectionAndFallsBack) {
    for (const SettingCase& c : kSettings) {
        SCOPED_TRACE(c.what);
        {
            SettingsSandbox lib;
            for (const char16_t* section :
                 {u"General", u"General Configuration", u"Editor Configuration"})
                lib.profile(section, c.name, c.section == section ? c.stored : u"X:\\decoy");
            EXPECT_EQ(c.get(), c.read);
            EXPECT_EQ(lib.reportIds(), "");
        }
        {
            SettingsSandbox lib;
            lib.scratch.setString(Root::CurrentUser, lib.key, u"RoamableRootFolder", u"D:\\Roam\\");
            lib.machine(u"Location", u"E:\\App\\");
            EXPECT_EQ(c.get(), c.byDefault);
            EXPECT_EQ(lib.reportIds(), "");
        }
        SettingsSandbox lib;
        EXPECT_EQ(c.get(), u"");
        EXPECT_EQ(lib.reportIds(), c.reportsWithout);
    }
}

// Host-dependent value names: the Corvida product's, or every other host's.
struct HostCase {
    Getter get;
    const char16_t* section; // null: below HKEY_LOCAL_MACHINE\<app key>
    const char16_t *koraName, *otherName;
    std::u16string koraRead, otherRead; // of "K:\x\\" and "O:\y\\" stored under the two names
};

// clang-format off
const HostCase kHostCases[] = {
    {GetDriverDirectory, u"General", u"KORADRV", u"DRIVER", u"K:\\x", u"O:\\y"},
    {GetHelpDirectory, u"General", u"KORAHELP", u"HELP", u"K:\\x", u"O:\\y"},
    {GetLogFileDirectory, u"Editor Configuration", u"LogFilePath", u"LogFilePath", u"O:\\y", u"O:\\y"},
    {GetSupportFileSearchPath, u"General", u"KORA", u"Support", u"K:\\x\\\\", u"O:\\y\\\\"},
    {GetAutospoolCommandString, u"General", u"KORAPLCMD", u"PLOTCOMMAND", u"K:\\x\\\\", u"O:\\y\\\\"},
    {identity::GetAppDirectory, nullptr, u"KoraLocation", u"Location", u"K:\\x", u"O:\\y"},
};
// clang-format on

TEST(HostNames, KoraNameOnlyUnderTheCorvidaProduct) {
    for (const HostCase& c : kHostCases) {
        SCOPED_TRACE(&c - kHostCases);
        for (const std::u16string& key : {kKoraKey, kOtherKey}) {
            SettingsSandbox lib(key);
            for (const auto& [name, text] :
                 {std::pair{c.koraName, u"K:\\x\\\\"}, {c.otherName, u"O:\\y\\\\"}})
                c.section ? lib.profile(c.section, name, text) : lib.machine(name, text);
            EXPECT_EQ(c.get(), key == kKoraKey ? c.koraRead : c.otherRead);
            EXPECT_EQ(lib.reportIds(), "");
        }
    }
}

TEST(Settings, StoredNumberElseDefault) {
    const std::pair<std::uint32_t (*)(), std::uint32_t> getters[] = {{GetRasterThreshold, 20},
                                                                     {GetRasterPercent, 20},
                                                                     {GetCurrentPlotStylePolicy, 1},
                                                                     {GetHideSystemPrinters, 0}};
    const char16_t* names[] = {u"RASTERTHRESHOLD", u"RASTERPERCENT", u"PSTYLEPOLICY",
                               u"HideSystemPrinters"};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto [get, fallback] = getters[i];
        for (const std::optional<std::uint32_t> value :
             {std::optional<std::uint32_t>{}, {0u}, {7u}}) {
            SettingsSandbox lib;
            lib.profileDword(u"General Configuration", names[i], 99);
            lib.profile(u"General", u"other", u"x");
            if (value)
                lib.profileDword(u"General", names[i], *value);
            EXPECT_EQ(get(), value.value_or(fallback)) << i;
        }
        SettingsSandbox lib;
        lib.profile(u"General", names[i], u"not a number"); // too long to be written through
        EXPECT_EQ(get(), fallback);
        EXPECT_EQ(lib.reportIds(), "");
    }
}

TEST(Settings, R14RasterPlotIsOnlyTheFixedProfilesOne) {
    using Opt = std::optional<std::uint32_t>;
    const std::tuple<Opt, Opt, bool> cases[] = {
        {1, {}, true}, {1, 0, true}, {2, {}, false}, {0, 1, false}, {{}, 1, false}};
    for (const auto& [fixed, ordinary, expected] : cases) {
        SettingsSandbox lib;
        if (fixed)
            lib.scratch.setDword(Root::CurrentUser,
                                 lib.key + u"\\FixedProfile\\General Configuration",
                                 u"R14RasterPlot", *fixed);
        if (ordinary)
            lib.profileDword(u"General Configuration", u"R14RasterPlot", *ordinary);
        EXPECT_EQ(IsR14RasterPlotSysVarSet(), expected) << fixed.value_or(-1);
    }
}

} // namespace
} // namespace tavlo::test
