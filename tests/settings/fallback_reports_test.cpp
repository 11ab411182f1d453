// What each getter gives, shows and lets pass when the host can't be determined: discovery
// finding nothing, or discovery raising because the catalogue it reaches doesn't exist.
#include "settings_sandbox.h"

#include "identity/identity.h"
#include "settings/named_settings.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace tavlo::test {
namespace {

using namespace settings;
using namespace identity;

std::u16string number(std::uint32_t n) {
    const std::string text = std::to_string(n);
    return {text.begin(), text.end()};
}

struct NoHostCase {
    const char* what;
    std::function<std::u16string()> get;
    std::u16string noHost; // what the getter gives when discovery finds nothing
    const char* noHostReports;
    bool passesCatalogueError; // else it gives noHost again
};

// Every failing GetAppKey shows 57; getters that test the host first give up silently.
const NoHostCase kCases[] = {
    {"driver", GetDriverDirectory, u"", "", true},
    {"plotters", GetPlottersDirectory, u"", "57 57", false},
    {"plot styles", GetPlotStylesDirectory, u"", "57 57", false},
    {"printer descriptions", GetPMPDirectory, u"", "57 57", false},
    {"spooler", GetPlotSpoolerDirectory, u"", "57", true},
    {"help", GetHelpDirectory, u"", "", true},
    {"log files", GetLogFileDirectory, u"", "", true},
    {"search path", GetSupportFileSearchPath, u"", "", true},
    {"autospool", GetAutospoolCommandString, u"", "", true},
    {"login name", GetDefaultLoginName, u"", "57", false},
    {"plot to file", GetDefaultPlotToFile, u"", "57", false},
    {"plot style table", GetDefaultPlotStyleTable, u"", "57", false},
    {"raster threshold", [] { return number(GetRasterThreshold()); }, u"20", "57", false},
    {"raster percent", [] { return number(GetRasterPercent()); }, u"20", "57", false},
    {"plot style policy", [] { return number(GetCurrentPlotStylePolicy()); }, u"1", "57", false},
    {"hide printers", [] { return number(GetHideSystemPrinters()); }, u"0", "57", false},
    {"R14 raster plot", [] { return number(IsR14RasterPlotSysVarSet()); }, u"0", "57", false},
    {"application directory", GetAppDirectory, u"", "", true},
    {"language", GetLanguage, u"", "57 55", false},
    {"product name", GetProductName, u"", "57 55", false},
    {"program name", GetProgramName, u"", "57", false},
    {"company name", GetCompanyName, u"", "57", false},
    {"product base name", GetProductBaseName, u"", "57", false},
};

void PrintTo(const NoHostCase& c, std::ostream* os) {
    *os << c.what;
}

class NoHost : public ::testing::TestWithParam<NoHostCase> {};

TEST_P(NoHost, DiscoveryFindsNothing) {
    const NoHostCase& c = GetParam();
    SettingsSandbox lib(u"");
    EXPECT_EQ(c.get(), c.noHost);
    EXPECT_EQ(lib.reportIds(), c.noHostReports);
}

TEST_P(NoHost, DiscoveryRaises) {
    const NoHostCase& c = GetParam();
    SettingsSandbox lib(u"");
    lib.catalogueRaises();
    std::u16string result = u"<nothing returned>";
    bool raised = false;
    try {
        result = c.get();
    } catch (const TAVLO_AppKey_Error& e) {
        raised = true;
        EXPECT_EQ(e.messageId, 57u);
        EXPECT_EQ(std::u16string(e.operation), u"GetOPAppsRegKeys");
    }
    EXPECT_EQ(raised, c.passesCatalogueError);
    if (!raised) {
        EXPECT_EQ(result, c.noHost);
    }
    // Whatever was shown before the error left is what a discovery that finds nothing shows.
    EXPECT_EQ(lib.reportIds(), c.noHostReports);
    EXPECT_TRUE(lib.scope.get().appKeyCache.empty());
}

INSTANTIATE_TEST_SUITE_P(Getters, NoHost, ::testing::ValuesIn(kCases));

TEST(NoHost, EveryCallReportsAgain) {
    SettingsSandbox lib(kOtherKey);
    lib.profile(u"General", u"other", u"x");
    lib.machine(u"other", u"x");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(GetAppDirectory(), u"");
        EXPECT_EQ(GetDriverDirectory(), u"");
    }
    EXPECT_EQ(lib.reportIds(), "55 55 55 55");
    ASSERT_FALSE(lib.handler.calls.empty());
    EXPECT_EQ(lib.handler.calls[0].message,
              u"55[HKEY_LOCAL_MACHINE\\" + kOtherKey + u"\\Location]");
    EXPECT_EQ(lib.handler.calls[0].caption, u"Caption");
}

} // namespace
} // namespace tavlo::test
