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

const char16_t* const kSections[] = {u"General", u"General Configuration", u"Editor Configuration"};

struct SettingCase {
    const char* what;
    Getter get;
    const char16_t* section;
    const char16_t* name; // as read for a host other than the Corvida product
    std::u16string stored, read;
    std::u16string byDefault;   // missing, with a roamable root and an application directory
    const char* reportsWithout; // missing, with neither: the result is empty
};

const SettingCase kSettings[] = {
    {"driver", GetDriverDirectory, u"General", u"DRIVER", u"F:\\Drv\\\\", u"F:\\Drv",
     u"E:\\App\\Drv", "55"},
    {"plotters", GetPlottersDirectory, u"General", u"PrinterConfigDir", u"P:\\", u"P:",
     u"D:\\Roam\\Plotters", ""},
    {"plot styles", GetPlotStylesDirectory, u"General", u"PrinterStyleSheetDir", u"S:\\St\\",
     u"S:\\St", u"D:\\Roam\\Plot Styles", ""},
    {"printer descriptions", GetPMPDirectory, u"General", u"PrinterDescDir", u"M:\\Pmp", u"M:\\Pmp",
     u"D:\\Roam\\Plotters", ""},
    {"spooler", GetPlotSpoolerDirectory, u"General Configuration", u"PlotSpoolerDirectory",
     u"C:\\Spool\\", u"C:\\Spool", u"E:\\App", "55"},
    {"help", GetHelpDirectory, u"General", u"HELP", u"C:\\H\\main.chm", u"C:\\H", u"E:\\App\\Help",
     "55"},
    {"log files", GetLogFileDirectory, u"Editor Configuration", u"LogFilePath", u"L:\\Logs\\",
     u"L:\\Logs", u"E:\\App", "55"},
    {"search path", GetSupportFileSearchPath, u"General", u"Support", u"C:\\a;C:\\b\\",
     u"C:\\a;C:\\b\\", u"", ""},
    {"autospool", GetAutospoolCommandString, u"General", u"PLOTCOMMAND", u" lpr %s ", u" lpr %s ",
     u"", ""},
    {"login name", GetDefaultLoginName, u"General Configuration", u"DefaultLoginName", u"  ann  ",
     u"  ann  ", u"", ""},
    {"plot to file", GetDefaultPlotToFile, u"General Configuration", u"DefaultPlotToFile",
     u"C:\\out\\", u"C:\\out\\", u"", ""},
    {"plot style table", GetDefaultPlotStyleTable, u"General", u"NewStyleSheet", u"mono.ctb ",
     u"mono.ctb ", u"", ""},
};

void PrintTo(const SettingCase& c, std::ostream* os) {
    *os << c.what;
}

class Settings : public ::testing::TestWithParam<SettingCase> {};

TEST_P(Settings, ReadsItsOwnSectionAndFallsBack) {
    const SettingCase& c = GetParam();
    {
        SettingsSandbox lib;
        for (const char16_t* section : kSections)
            lib.profile(section, c.name, c.section == section ? c.stored : u"X:\\decoy");
        EXPECT_EQ(c.get(), c.read);
        EXPECT_EQ(lib.reportIds(), "");
    }
    {
        SettingsSandbox lib;
        lib.user(u"RoamableRootFolder", u"D:\\Roam\\");
        lib.machine(u"Location", u"E:\\App\\");
        EXPECT_EQ(c.get(), c.byDefault);
        EXPECT_EQ(lib.reportIds(), "");
    }
    SettingsSandbox lib;
    EXPECT_EQ(c.get(), u"");
    EXPECT_EQ(lib.reportIds(), c.reportsWithout);
}

INSTANTIATE_TEST_SUITE_P(Getters, Settings, ::testing::ValuesIn(kSettings));

// Host-dependent value names: the Corvida product's, or every other host's.
struct HostCase {
    const char* what;
    Getter get;
    const char16_t* section; // null: below HKEY_LOCAL_MACHINE\<app key>
    const char16_t* koraName;
    std::u16string koraStored, koraRead;
    const char16_t* otherName;
    std::u16string otherStored, otherRead;
};

const HostCase kHostCases[] = {
    {"driver", GetDriverDirectory, u"General", u"KORADRV", u"F:\\Drivers\\", u"F:\\Drivers",
     u"DRIVER", u"G:\\Drv", u"G:\\Drv"},
    {"help", GetHelpDirectory, u"General", u"KORAHELP", u"C:\\Prog\\Help\\main.chm",
     u"C:\\Prog\\Help", u"HELP", u"D:\\H\\x.hlp", u"D:\\H"},
    {"search path", GetSupportFileSearchPath, u"General", u"KORA", u"C:\\k", u"C:\\k", u"Support",
     u"C:\\s\\", u"C:\\s\\"},
    {"autospool", GetAutospoolCommandString, u"General", u"KORAPLCMD", u"kplot", u"kplot",
     u"PLOTCOMMAND", u"plot", u"plot"},
    {"log files, one name", GetLogFileDirectory, u"Editor Configuration", u"LogFilePath", u"L:\\",
     u"L:", u"LogFilePath", u"L:\\", u"L:"},
    {"application directory", identity::GetAppDirectory, nullptr, u"KoraLocation", u"C:\\Prog\\\\",
     u"C:\\Prog", u"Location", u"E:\\App\\", u"E:\\App"},
};

void PrintTo(const HostCase& c, std::ostream* os) {
    *os << c.what;
}

class HostNames : public ::testing::TestWithParam<HostCase> {};

TEST_P(HostNames, KoraNameOnlyUnderTheCorvidaProduct) {
    const HostCase& c = GetParam();
    const std::pair<std::u16string, bool> keys[] = {
        {kKoraKey, true},
        {u"Software\\veltrane\\corvida\\X", true},
        {kOtherKey, false},
        {u"SOFTWARE\\Veltrane\\Corvida", false},
        {u"SOFTWARE\\Veltrane\\MyCorvida\\R1\\X-1", false},
    };
    for (const auto& [key, kora] : keys) {
        SettingsSandbox lib(key);
        for (const auto& [name, text] :
             {std::pair{c.koraName, c.koraStored}, {c.otherName, c.otherStored}})
            c.section ? lib.profile(c.section, name, text) : lib.machine(name, text);
        EXPECT_EQ(c.get(), kora ? c.koraRead : c.otherRead) << std::string(key.begin(), key.end());
        EXPECT_EQ(lib.reportIds(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Getters, HostNames, ::testing::ValuesIn(kHostCases));

struct NumberCase {
    const char16_t* name;
    std::uint32_t (*get)();
    std::uint32_t fallback;
};

const NumberCase kNumbers[] = {
    {u"RASTERTHRESHOLD", GetRasterThreshold, 20},
    {u"RASTERPERCENT", GetRasterPercent, 20},
    {u"PSTYLEPOLICY", GetCurrentPlotStylePolicy, 1},
    {u"HideSystemPrinters", GetHideSystemPrinters, 0},
};

class Numbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(Numbers, StoredNumberElseDefault) {
    const NumberCase& c = GetParam();
    const std::optional<std::uint32_t> stored[] = {std::nullopt, 0u, 7u, 0xFFFFFFFFu};
    for (const auto& value : stored) {
        SettingsSandbox lib;
        lib.profileDword(u"General Configuration", c.name, 99);
        lib.profile(u"General", u"other", u"x");
        if (value)
            lib.profileDword(u"General", c.name, *value);
        EXPECT_EQ(c.get(), value.value_or(c.fallback));
    }
    SettingsSandbox lib;
    lib.profile(u"General", c.name, u"not a number"); // too long to be written through
    EXPECT_EQ(c.get(), c.fallback);
    EXPECT_EQ(lib.reportIds(), "");
}

INSTANTIATE_TEST_SUITE_P(Getters, Numbers, ::testing::ValuesIn(kNumbers));

TEST(R14RasterPlot, OnlyTheFixedProfilesOne) {
    struct Case {
        std::optional<std::uint32_t> fixed, ordinary;
        bool expected;
    };
    const Case cases[] = {{1, {}, true}, {1, 0, true},   {2, {}, false},
                          {0, 1, false}, {{}, 1, false}, {{}, {}, false}};
    for (const Case& c : cases) {
        SettingsSandbox lib;
        if (c.fixed)
            lib.scratch.setDword(Root::CurrentUser,
                                 lib.key + u"\\FixedProfile\\General Configuration",
                                 u"R14RasterPlot", *c.fixed);
        if (c.ordinary)
            lib.profileDword(u"General Configuration", u"R14RasterPlot", *c.ordinary);
        EXPECT_EQ(IsR14RasterPlotSysVarSet(), c.expected)
            << c.fixed.value_or(-1) << " / " << c.ordinary.value_or(-1);
    }
}

} // namespace
} // namespace tavlo::test
