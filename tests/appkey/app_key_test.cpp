// The app key's entry points: the cache, the arguments nobody reads, the wizard-only flag and
// the host test.
#include "discovery_stand_ins.h"

#include "appkey/app_key.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

namespace tavlo::test {
namespace {

const std::u16string kKey = u"SOFTWARE\\Veltrane\\Corvida\\R1\\X-1";
const TavloChar* flat(const char16_t* text) {
    return reinterpret_cast<const TavloChar*>(text);
}

// Two installed registrations, A1 marked 1 and A2 marked for the wizard, neither at the host.
void twoRegistrations(LibrarySandbox& lib) {
    lib.associate(u".pc3", u"\"D:\\Apps\\Host\\host.exe\"");
    lib.registerApp(u"Veltrane\\A1", u"E:\\Other", false, 1);
    lib.registerApp(u"Veltrane\\A2", u"F:\\Else", false, 9);
}

TEST(AppKey, ArgumentsAreNotUsedAndTheCacheIsKept) {
    LibrarySandbox lib;
    lib.hookBesideLibrary(kKey);
    for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u"", u"SOFTWARE\\Other"})
        EXPECT_EQ(appkey::GetAppKey(name), kKey);
    EXPECT_EQ(SetAppKey(flat(u"SOFTWARE\\Veltrane\\Other\\R2")), 0);
    EXPECT_EQ(SetAppKeyFromPlotterWizardOnly(1), 0);
    TavloBool isKora = 0;
    EXPECT_EQ(IsKORAApp(&isKora), 0);
    EXPECT_EQ(appkey::GetAppKey(nullptr), kKey);
    EXPECT_EQ(lib.modules.fileNameQueries, 1) << "discovery runs once";
    EXPECT_EQ(lib.modules.calls.size(), 1u);
    EXPECT_TRUE(lib.registry.opens.empty());
    EXPECT_EQ(lib.scope.get().wizardOnly, 0);
    EXPECT_TRUE(lib.handler.calls.empty());
}

TEST(AppKey, WithoutAKeyEveryCallRunsDiscoveryAndReportsAgain) {
    LibrarySandbox lib;
    EXPECT_EQ(appkey::GetAppKey(nullptr), u"");
    EXPECT_EQ(appkey::GetAppKey(nullptr), u"");
    EXPECT_EQ(appkey::SetAppKey(nullptr), 1);
    EXPECT_EQ(lib.reports(), (std::vector<std::u16string>(3, u"M57[]")));
    EXPECT_EQ(lib.modules.fileNameQueries, 3);
}

TEST(AppKey, EmptyKeyAfterASuccessfulLookupIsNoFailure) {
    LibrarySandbox lib;
    twoRegistrations(lib);
    EXPECT_EQ(appkey::GetAppKey(nullptr), u"");
    EXPECT_EQ(appkey::SetAppKey(nullptr), 0);
    bool isKora = true;
    EXPECT_EQ(appkey::IsKORAApp(&isKora), 0);
    EXPECT_FALSE(isKora);
    EXPECT_TRUE(lib.handler.calls.empty());
    EXPECT_EQ(lib.modules.fileNameQueries, 3) << "an empty cache is looked up again";
}

struct WizardCase {
    std::int32_t flag;
    std::int32_t result;
    std::u16string key;
    std::size_t reports;
    bool withCatalogue = true;
};

const WizardCase kWizardCases[] = {
    {1, 0, u"SOFTWARE\\Veltrane\\A2", 0},
    {9, 0, u"SOFTWARE\\Veltrane\\A2", 0},
    {0, 0, u"", 0},
    {1, 1, u"", 1, false},
};

class WizardTable : public ::testing::TestWithParam<WizardCase> {};

TEST_P(WizardTable, FlagHoldsOnlyForTheCall) {
    const WizardCase& c = GetParam();
    LibrarySandbox lib;
    if (c.withCatalogue)
        twoRegistrations(lib);
    EXPECT_EQ(SetAppKeyFromPlotterWizardOnly(c.flag), c.result);
    EXPECT_EQ(lib.scope.get().wizardOnly, 0);
    EXPECT_EQ(lib.scope.get().appKeyCache, c.key);
    EXPECT_EQ(lib.handler.calls.size(), c.reports);
}

INSTANTIATE_TEST_SUITE_P(Flags, WizardTable, ::testing::ValuesIn(kWizardCases));

struct HostCase {
    std::u16string key;
    TavloBool isKora;
};

const HostCase kHostCases[] = {
    {u"SOFTWARE\\Veltrane\\Corvida\\R1\\X-1", 1},
    {u"SOFTWARE\\Veltrane\\CORVIDA\\R1\\X-1", 1},
    {u"x\\corvida\\", 1},
    {u"SOFTWARE\\Veltrane\\CorvidaX\\R1\\X-1", 0},
    {u"SOFTWARE\\Veltrane\\XCorvida\\R1", 0},
    {u"SOFTWARE\\Veltrane\\Corvida", 0},
    {u"Corvida\\R1", 0},
};

class HostTable : public ::testing::TestWithParam<HostCase> {};

TEST_P(HostTable, KeyNamesTheProductItself) {
    LibrarySandbox lib;
    lib.hookBesideLibrary(GetParam().key);
    TavloBool isKora = 7;
    EXPECT_EQ(IsKORAApp(&isKora), 0);
    EXPECT_EQ(isKora, GetParam().isKora);
}

INSTANTIATE_TEST_SUITE_P(Keys, HostTable, ::testing::ValuesIn(kHostCases));

} // namespace
} // namespace tavlo::test
