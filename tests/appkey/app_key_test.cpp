// The app key's entry points: the cache, the arguments nobody reads, the wizard-only flag and
// the host test.
#include "settings_sandbox.h"

#include "appkey/app_key.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

namespace tavlo::test {
namespace {

const TavloChar* tc(const char16_t* text) {
    return reinterpret_cast<const TavloChar*>(text);
}

// Two installed registrations, A1 marked 1 and A2 marked for the wizard, neither at the host.
void twoRegistrations(SettingsSandbox& lib) {
    lib.associate(u".pc3", u"\"D:\\Apps\\Host\\host.exe\"");
    lib.registerApp(u"Veltrane\\A1", u"E:\\Other", false, 1);
    lib.registerApp(u"Veltrane\\A2", u"F:\\Else", false, 9);
}

TEST(AppKey, ArgumentsAreNotUsedAndDiscoveryRunsOnce) {
    SettingsSandbox lib(u"");
    lib.hookBesideLibrary(kKoraKey);
    for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u"", u"SOFTWARE\\Other"})
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(_GetAppKey(tc(name)))),
                  kKoraKey);
    EXPECT_EQ(SetAppKey(tc(u"SOFTWARE\\Veltrane\\Other\\R2")), 0);
    EXPECT_EQ(SetAppKeyFromPlotterWizardOnly(1), 0);
    TavloBool isKora = 0;
    EXPECT_EQ(IsKORAApp(&isKora), 0);
    EXPECT_EQ(isKora, 1);
    EXPECT_EQ(appkey::GetAppKey(nullptr), kKoraKey);
    EXPECT_EQ(lib.modules.fileNameQueries, 1);
    EXPECT_TRUE(lib.registry.opens.empty());
    EXPECT_EQ(lib.scope.get().wizardOnly, 0);
    EXPECT_EQ(lib.reportIds(), "");
}

TEST(AppKey, WithoutAKeyEveryCallRunsDiscoveryAndReportsAgain) {
    SettingsSandbox lib(u"");
    EXPECT_EQ(appkey::GetAppKey(nullptr), u"");
    EXPECT_EQ(appkey::GetAppKey(nullptr), u"");
    EXPECT_EQ(appkey::SetAppKey(nullptr), 1);
    EXPECT_EQ(lib.reportIds(), "57 57 57");
    EXPECT_EQ(lib.handler.calls[0].message, u"57[]");
    EXPECT_EQ(lib.modules.fileNameQueries, 3);
}

TEST(AppKey, EmptyKeyAfterASuccessfulLookupIsNoFailure) {
    SettingsSandbox lib(u"");
    twoRegistrations(lib);
    EXPECT_EQ(appkey::GetAppKey(nullptr), u"");
    EXPECT_EQ(appkey::SetAppKey(nullptr), 0);
    bool isKora = true;
    EXPECT_EQ(appkey::IsKORAApp(&isKora), 0);
    EXPECT_FALSE(isKora);
    EXPECT_EQ(lib.reportIds(), "");
    EXPECT_EQ(lib.modules.fileNameQueries, 3) << "an empty cache is looked up again";
}

TEST(AppKey, WizardFlagHoldsOnlyForTheCall) {
    struct Case {
        std::int32_t flag, result;
        std::u16string key;
        bool withCatalogue;
        const char* reports;
    };
    const Case cases[] = {{1, 0, u"SOFTWARE\\Veltrane\\A2", true, ""},
                          {0, 0, u"", true, ""},
                          {1, 1, u"", false, "57"}};
    for (const Case& c : cases) {
        SettingsSandbox lib(u"");
        if (c.withCatalogue)
            twoRegistrations(lib);
        EXPECT_EQ(SetAppKeyFromPlotterWizardOnly(c.flag), c.result);
        EXPECT_EQ(lib.scope.get().wizardOnly, 0);
        EXPECT_EQ(lib.scope.get().appKeyCache, c.key);
        EXPECT_EQ(lib.reportIds(), c.reports);
    }
}

TEST(AppKey, HostTestWantsTheProductsOwnComponent) {
    SettingsSandbox lib;
    const std::pair<std::u16string, bool> keys[] = {{kKoraKey, true},
                                                    {u"x\\corvida\\", true},
                                                    {kOtherKey, false},
                                                    {u"SOFTWARE\\Veltrane\\XCorvida\\R1", false},
                                                    {u"SOFTWARE\\Corvida", false},
                                                    {u"Corvida\\R1", false}};
    for (const auto& [key, kora] : keys) {
        EXPECT_EQ(appkey::isKoraKey(key), kora) << std::string(key.begin(), key.end());
        lib.scope.get().appKeyCache = key; // the host's answer follows its key as that changes
        EXPECT_EQ(appkey::hostIsKora(), kora) << std::string(key.begin(), key.end());
    }
}

} // namespace
} // namespace tavlo::test
