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

template <std::uint32_t (*get)()> std::u16string number() {
    const std::string text = std::to_string(get());
    return {text.begin(), text.end()};
}

struct NoHostCase {
    std::u16string (*get)();
    std::u16string noHost; // what the getter gives when discovery finds nothing
    const char* reports;
    bool passesCatalogueError; // else it gives noHost again
};

// Every failing GetAppKey shows 57; getters that test the host first give up silently.
// clang-format off
const NoHostCase kCases[] = {
    {GetDriverDirectory, u"", "", true},           {GetPlottersDirectory, u"", "57 57", false},
    {GetPlotStylesDirectory, u"", "57 57", false}, {GetPMPDirectory, u"", "57 57", false},
    {GetPlotSpoolerDirectory, u"", "57", true},    {GetHelpDirectory, u"", "", true},
    {GetLogFileDirectory, u"", "", true},          {GetSupportFileSearchPath, u"", "", true},
    {GetAutospoolCommandString, u"", "", true},    {GetDefaultLoginName, u"", "57", false},
    {GetDefaultPlotToFile, u"", "57", false},      {GetDefaultPlotStyleTable, u"", "57", false},
    {number<GetRasterThreshold>, u"20", "57", false},
    {number<GetRasterPercent>, u"20", "57", false},
    {number<GetCurrentPlotStylePolicy>, u"1", "57", false},
    {number<GetHideSystemPrinters>, u"0", "57", false},
    {number<[] { return std::uint32_t{IsR14RasterPlotSysVarSet()}; }>, u"0", "57", false},
    {GetAppDirectory, u"", "", true},              {GetLanguage, u"", "57 55", false},
    {GetProductName, u"", "57 55", false},         {GetProgramName, u"", "57", false},
    {GetCompanyName, u"", "57", false},            {GetProductBaseName, u"", "57", false},
};
// clang-format on

TEST(NoHost, DiscoveryFindsNothingOrRaises) {
    for (const NoHostCase& c : kCases) {
        SCOPED_TRACE(&c - kCases);
        for (const bool catalogueRaises : {false, true}) {
            SettingsSandbox lib(u"");
            if (catalogueRaises)
                lib.associate(u".pc3", u"\"C:\\Host\\host.exe\" \"%1\"");
            std::u16string result = u"<nothing returned>";
            bool raised = false;
            try {
                result = c.get();
            } catch (const TAVLO_AppKey_Error& e) {
                raised = true;
                EXPECT_EQ(std::u16string(e.operation), u"GetOPAppsRegKeys");
            }
            EXPECT_EQ(raised, catalogueRaises && c.passesCatalogueError);
            if (!raised) {
                EXPECT_EQ(result, c.noHost);
            }
            // Whatever was shown before the error left is what a discovery that finds nothing
            // shows.
            EXPECT_EQ(lib.reportIds(), c.reports);
            EXPECT_TRUE(lib.scope.get().appKeyCache.empty());
        }
    }
}

TEST(NoHost, EveryCallReportsAgain) {
    SettingsSandbox lib;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(GetAppDirectory(), u"");
        EXPECT_EQ(GetDriverDirectory(), u"");
    }
    EXPECT_EQ(lib.reportIds(), "55 55 55 55");
    EXPECT_EQ(lib.handler.calls[0].message, u"55[HKEY_LOCAL_MACHINE\\" + kOtherKey + u"]");
    EXPECT_EQ(lib.handler.calls[0].caption, u"Caption");
}

} // namespace
} // namespace tavlo::test
