// The built library's directory, settings and identity exports, called by name as a plot driver
// calls them, for a Corvida host named by the hook beside the library.
#include "host_registry.h"
#include "library_loader.h"
#include "stand_ins.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace tavlo::test {
namespace {

namespace fs = std::filesystem;

using SharedFn = const TavloChar* (*)();
using NumberFn = std::uint32_t (*)();
using SizedDirFn = TavloRetVal (*)(TavloChar*, std::size_t, const TavloChar*, const TavloChar*,
                                   const TavloChar*);
using UnsizedDirFn = TavloRetVal (*)(TavloChar*, const TavloChar*, const TavloChar*,
                                     const TavloChar*);
using SetErrorHandlerFn = void (*)(TavloErrorHandler*);

const std::string kKey = "Software\\Veltrane\\Corvida\\R1\\KORA-7:1";
const std::string kProfile = kKey + "\\Profiles\\P";

std::u16string str(const TavloChar* text) {
    return reinterpret_cast<const char16_t*>(text);
}
const TavloChar* tc(const char16_t* text) {
    return reinterpret_cast<const TavloChar*>(text);
}

struct SettingsLibrary : ::testing::Test {
    // A folder per test: each one loads a library of its own.
    fs::path dir = fs::temp_directory_path() / "tavlo-settings-test" /
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
    HostRegistry registry;
    std::unique_ptr<LoadedLibrary> lib;
    RecordingHandler handler;

    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
        const fs::path library = dir / fs::path(TAVLO_LIBRARY_FILE).filename();
        fs::copy_file(TAVLO_LIBRARY_FILE, library);
        fs::copy_file(TAVLO_RES_DLL, dir / "tavlo9Res.dll");
        fs::copy_file(TAVLO_HOOK_FILE, dir / "userdata.dll");
        std::ofstream(dir / "userdata.key") << kKey;
        changeDirectory(dir.string());

        registry.setString(Root::LocalMachine, kKey, "KoraLocation", "C:\\Prog\\\\");
        registry.setString(Root::LocalMachine, kKey, "Language", "English (United States)");
        registry.setString(Root::CurrentUser, kKey, "RoamableRootFolder", "D:\\Roam");
        registry.setString(Root::CurrentUser, kKey + "\\Profiles", nullptr, "P");
        registry.setString(Root::CurrentUser, kProfile + "\\General", "KORADRV", "F:\\Drivers\\");
        registry.setString(Root::CurrentUser, kProfile + "\\General", "DRIVER", "X:\\Other");
        registry.setString(Root::CurrentUser, kProfile + "\\General", "KORAHELP",
                           "C:\\Prog\\Help\\main.chm");
        registry.setString(Root::CurrentUser, kProfile + "\\General", "KORA", "C:\\a;C:\\b\\");
        registry.setString(Root::CurrentUser, kProfile + "\\General", "HelpName", "main.chm");
        registry.setDword(Root::CurrentUser, kProfile + "\\General", "PSTYLEPOLICY", 3);
        registry.publish();

        lib = std::make_unique<LoadedLibrary>(library.string());
        ASSERT_TRUE(lib->loaded());
        lib->function<SetErrorHandlerFn>("tavlo_SetErrorHandler")(&handler);
    }
    std::u16string shared(const char* name) const {
        const auto get = lib->function<SharedFn>(name);
        return get ? str(get()) : u"<not exported>";
    }
};

TEST_F(SettingsLibrary, SharedResults) {
    const std::pair<const char*, std::u16string> expected[] = {
        {"_GetDriverDirectory", u"F:\\Drivers"},
        {"_GetPlottersDirectory", u"D:\\Roam\\Plotters"},
        {"_GetPlotStylesDirectory", u"D:\\Roam\\Plot Styles"},
        {"_GetHelpDirectory", u"C:\\Prog\\Help"},
        {"_GetLogFileDirectory", u"C:\\Prog"},
        {"_GetSupportFileSearchPath", u"C:\\a;C:\\b\\"},
        {"_GetAutospoolCommandString", u""},
        {"_GetAppDirectory", u"C:\\Prog"},
        {"_GetProgramName", u"KORA"},
        {"_GetCompanyName", u"Veltrane"},
        {"_GetProductBaseName", u"Corvida"},
    };
    for (const auto& [name, text] : expected)
        EXPECT_EQ(shared(name), text) << name;
    EXPECT_TRUE(handler.calls.empty());

    EXPECT_EQ(shared("_GetProductName"), u"");
    ASSERT_EQ(handler.calls.size(), 1u);
    EXPECT_NE(handler.calls[0].message.find(u"\\KORA-7:1\\ProductName"), std::u16string::npos);

    const TavloChar* language = lib->function<SharedFn>("_GetLanguage")();
    EXPECT_EQ(str(language), u"English (United States)");
    ASSERT_EQ(lib->function<SharedFn>("_GetDriverDirectory")(), language);
    EXPECT_EQ(str(language), u"F:\\Drivers");
}

TEST_F(SettingsLibrary, CallerBuffers) {
    const auto sized = lib->function<SizedDirFn>("__GetProfileDirectory");
    const auto unsized = lib->function<UnsizedDirFn>("_GetProfileDirectory");
    const auto fromPathname = lib->function<UnsizedDirFn>("_GetProfileDirectoryFromPathname");
    ASSERT_TRUE(sized && unsized && fromPathname);
    const std::u16string drivers = u"F:\\Drivers";
    std::vector<TavloChar> buffer(64, 0x2A2A);
    EXPECT_EQ(sized(buffer.data(), drivers.size(), tc(u"General"), tc(u"KORADRV"), tc(u"Drv")),
              TAVLO_Buffer_Too_Small);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[drivers.size()], 0x2A2A);
    EXPECT_EQ(sized(buffer.data(), drivers.size() + 1, tc(u"General"), tc(u"KORADRV"), tc(u"Drv")),
              TAVLO_Success);
    EXPECT_EQ(str(buffer.data()), drivers);
    EXPECT_EQ(buffer[drivers.size() + 1], 0x2A2A);
    EXPECT_EQ(unsized(buffer.data(), tc(u"General"), tc(u"Missing"), tc(u"Plot Styles")), 0);
    EXPECT_EQ(str(buffer.data()), u"D:\\Roam\\Plot Styles");
    EXPECT_EQ(fromPathname(buffer.data(), tc(u"General"), tc(u"KORAHELP"), tc(u"Help")), 0);
    EXPECT_EQ(str(buffer.data()), u"C:\\Prog\\Help");
    EXPECT_EQ(fromPathname(buffer.data(), tc(u"General"), tc(u"HelpName"), tc(u"Help")), 1);
    EXPECT_EQ(str(buffer.data()), u"C:\\Prog\\Help");
    EXPECT_TRUE(handler.calls.empty());
}

TEST_F(SettingsLibrary, NumbersUnderBothNames) {
    const auto policy = lib->function<NumberFn>("_GetCurrentPlotStylePolicy");
    const auto hide = lib->function<NumberFn>("_GetHideSystemPrinters");
    ASSERT_TRUE(policy && hide);
    EXPECT_EQ(policy(), 3u);
    EXPECT_EQ(hide(), 0u);
    // One function under two names: the typed getter's C++ name is this compiler's.
    const auto typedPolicy = lib->function<NumberFn>("_Z25GetCurrentPlotStylePolicyv");
    const auto typedHide = lib->function<NumberFn>("_Z21GetHideSystemPrintersv");
    EXPECT_EQ(typedPolicy, policy);
    EXPECT_EQ(typedHide, hide);
    ASSERT_TRUE(typedPolicy && typedHide);
    EXPECT_EQ(typedPolicy(), 3u);
    EXPECT_EQ(typedHide(), 0u);
}

} // namespace
} // namespace tavlo::test
