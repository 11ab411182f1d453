// The built library finding its host and reading settings, called by export name as a plot
// driver calls it, with an error handler installed.
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

const std::string kKey = "Software\\Veltrane\\Corvida\\R1\\KORA-7:1";

std::u16string str(const TavloChar* text) {
    return reinterpret_cast<const char16_t*>(text);
}
const TavloChar* tc(const char16_t* text) {
    return reinterpret_cast<const TavloChar*>(text);
}

// The library and its resource module in a folder of their own, with a hook answering hookKey
// when one is given, and unless told otherwise a Corvida host installed in that folder, which
// the catalogue and a ".pc3" association name.
struct Library {
    fs::path dir = fs::temp_directory_path() / "tavlo-settings-test" /
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
    HostRegistry registry;
    std::unique_ptr<LoadedLibrary> lib;
    RecordingHandler handler;

    explicit Library(const char* hookKey, bool host = true) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        const fs::path library = dir / fs::path(TAVLO_LIBRARY_FILE).filename();
        fs::copy_file(TAVLO_LIBRARY_FILE, library);
        fs::copy_file(TAVLO_RES_DLL, dir / "tavlo9Res.dll");
        if (hookKey) {
            fs::copy_file(TAVLO_HOOK_FILE, dir / "userdata.dll");
            std::ofstream(dir / "userdata.key") << hookKey;
        }
        changeDirectory(dir.string());
        const std::string general = kKey + "\\Profiles\\P\\General";
        registry.setString(Root::LocalMachine, "Software\\Unrelated", "x", "y");
        if (host) {
            registry.setString(Root::ClassesRoot, ".pc3", nullptr, "Host.PlotConfig");
            registry.setString(Root::ClassesRoot, "Host.PlotConfig\\shell\\open\\command", nullptr,
                               "\"C:\\Apps\\Host\\host.exe\" /p \"%1\"");
            registry.setDword(Root::LocalMachine, "Software\\Veltrane\\Outprint",
                              kKey.substr(9).c_str(), 1);
            registry.setString(Root::LocalMachine, kKey, "KoraLocation", dir.string());
            registry.setString(Root::LocalMachine, kKey, "Language", "English");
            registry.setString(Root::CurrentUser, kKey, "RoamableRootFolder", "D:\\Roam");
            registry.setString(Root::CurrentUser, kKey + "\\Profiles", nullptr, "P");
            registry.setString(Root::CurrentUser, general, "KORADRV", "F:\\Drivers\\");
            registry.setString(Root::CurrentUser, general, "DRIVER", "X:\\Other");
            registry.setString(Root::CurrentUser, general, "KORAHELP", "C:\\Prog\\Help\\main.chm");
            registry.setDword(Root::CurrentUser, general, "PSTYLEPOLICY", 3);
        }
        registry.publish();
        lib = std::make_unique<LoadedLibrary>(library.string());
        if (lib->loaded())
            lib->function<void (*)(TavloErrorHandler*)>("tavlo_SetErrorHandler")(&handler);
    }
    template <typename Fn> Fn get(const char* name) const {
        const Fn fn = lib->function<Fn>(name);
        EXPECT_NE(fn, nullptr) << name;
        return fn;
    }
    std::u16string shared(const char* name) const {
        return str(get<const TavloChar* (*)()>(name)());
    }
};

// The export of that name, with the type its declaration gives it.
#define EXPORT(l, name) (l).get<decltype(&::name)>(#name)

TEST(LibrarySettings, HookBesideTheLibraryNamesTheKeyExactly) {
    Library l("Software\\Other\\Product-2:1");
    ASSERT_TRUE(l.lib->loaded());
    EXPECT_EQ(str(EXPORT(l, _GetAppKey)(nullptr)), u"Software\\Other\\Product-2:1");
    TavloBool kora = 7;
    EXPECT_EQ(EXPORT(l, IsKORAApp)(&kora), 0);
    EXPECT_EQ(kora, 0);
    EXPECT_TRUE(l.handler.calls.empty());
}

TEST(LibrarySettings, HookThatAnswersNoFallsThroughToTheCatalogue) {
    Library l("0:Written\\But\\Ignored");
    ASSERT_TRUE(l.lib->loaded());
    EXPECT_EQ(str(EXPORT(l, _GetAppKey)(tc(u"x"))), u"SOFTWARE\\Veltrane\\Corvida\\R1\\KORA-7:1");
    TavloBool kora = 7;
    EXPECT_EQ(EXPORT(l, IsKORAApp)(&kora), 0);
    EXPECT_EQ(kora, 1);
    TavloChar buffer[64];
    EXPECT_EQ(EXPORT(l, _GetHKeyLocalMachineString)(buffer, tc(u"Language"), 64), TAVLO_Success);
    EXPECT_EQ(str(buffer), u"English");
    EXPECT_EQ(EXPORT(l, _GetHKeyLocalMachineString)(buffer, tc(u"X"), 64), TAVLO_Failure);
    ASSERT_EQ(l.handler.calls.size(), 1u);
    EXPECT_NE(l.handler.calls[0].message.find(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\Corvida"),
              std::u16string::npos);
    EXPECT_EQ(l.handler.calls[0].style, 48u);
    EXPECT_EQ(EXPORT(l, _GetProfileStr)(buffer, tc(u"General"), tc(u"KORADRV"), 64), 0);
    EXPECT_EQ(str(buffer), u"F:\\Drivers\\");
    std::uint32_t number = 20;
    EXPECT_EQ(EXPORT(l, GetProfileDWord)(&number, tc(u"General"), tc(u"PSTYLEPOLICY")), 0);
    EXPECT_EQ(number, 3u);
    EXPECT_EQ(l.handler.calls.size(), 1u);
}

TEST(LibrarySettings, NoHostIsReportedOnEveryAttempt) {
    Library l(nullptr, false);
    ASSERT_TRUE(l.lib->loaded());
    EXPECT_EQ(str(EXPORT(l, _GetAppKey)(nullptr)), u"");
    EXPECT_EQ(str(EXPORT(l, _GetAppKey)(nullptr)), u"");
    ASSERT_EQ(l.handler.calls.size(), 2u);
    EXPECT_FALSE(l.handler.calls[1].message.empty());
    EXPECT_FALSE(l.handler.calls[1].caption.empty());
    TavloBool kora = 7;
    EXPECT_EQ(EXPORT(l, IsKORAApp)(&kora), 1);
    EXPECT_EQ(kora, 7);
    EXPECT_EQ(l.handler.calls.size(), 2u);
}

TEST(LibrarySettings, SettingsOfAHookedHost) {
    Library l(kKey.c_str());
    ASSERT_TRUE(l.lib->loaded());
    const std::pair<const char*, std::u16string> expected[] = {
        {"_GetDriverDirectory", u"F:\\Drivers"},
        {"_GetPlotStylesDirectory", u"D:\\Roam\\Plot Styles"},
        {"_GetHelpDirectory", u"C:\\Prog\\Help"},
        {"_GetAppDirectory", l.dir.u16string()},
        {"_GetProgramName", u"KORA"},
        {"_GetCompanyName", u"Veltrane"},
        {"_GetProductBaseName", u"Corvida"},
    };
    for (const auto& [name, text] : expected)
        EXPECT_EQ(l.shared(name), text) << name;
    EXPECT_TRUE(l.handler.calls.empty());
    EXPECT_EQ(l.shared("_GetProductName"), u"");
    ASSERT_EQ(l.handler.calls.size(), 1u);
    EXPECT_NE(l.handler.calls[0].message.find(u"\\KORA-7:1\\ProductName"), std::u16string::npos);
    // One string at one address: a pointer kept from an earlier call shows the latest result.
    const TavloChar* language = EXPORT(l, _GetLanguage)();
    EXPECT_EQ(str(language), u"English");
    ASSERT_EQ(EXPORT(l, _GetDriverDirectory)(), language);
    EXPECT_EQ(str(language), u"F:\\Drivers");

    std::vector<TavloChar> buffer(64, 0x2A2A);
    EXPECT_EQ(EXPORT(l, __GetProfileDirectory)(buffer.data(), 11, tc(u"General"), tc(u"KORADRV"),
                                               tc(u"Drv")),
              TAVLO_Success);
    EXPECT_EQ(str(buffer.data()), u"F:\\Drivers");
    EXPECT_EQ(buffer[11], 0x2A2A);
    EXPECT_EQ(
        EXPORT(l, _GetProfileDirectory)(buffer.data(), tc(u"General"), tc(u"X"), tc(u"Plotters")),
        TAVLO_Success);
    EXPECT_EQ(str(buffer.data()), u"D:\\Roam\\Plotters");
    EXPECT_EQ(EXPORT(l, _GetProfileDirectoryFromPathname)(buffer.data(), tc(u"General"),
                                                          tc(u"KORAHELP"), tc(u"Help")),
              TAVLO_Success);
    EXPECT_EQ(str(buffer.data()), u"C:\\Prog\\Help");
    // One function under two names: the typed getter's C++ name is this compiler's.
    const auto policy = EXPORT(l, _GetCurrentPlotStylePolicy);
    EXPECT_EQ(l.get<decltype(policy)>("_Z25GetCurrentPlotStylePolicyv"), policy);
    EXPECT_EQ(l.get<decltype(policy)>("_Z21GetHideSystemPrintersv"),
              EXPORT(l, _GetHideSystemPrinters));
    ASSERT_TRUE(policy);
    EXPECT_EQ(policy(), 3u);
    EXPECT_EQ(EXPORT(l, _GetHideSystemPrinters)(), 0u);
}

} // namespace
} // namespace tavlo::test
