// The built library finding its host and reading settings, called through its export table as
// a plot driver calls it, with a real error handler installed.
#include "host_registry.h"
#include "library_loader.h"
#include "stand_ins.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tavlo::test {
namespace {

namespace fs = std::filesystem;

using SetErrorHandlerFn = void (*)(TavloErrorHandler*);
using GetAppKeyFn = const TavloChar* (*)(const TavloChar*);
using IsKoraFn = std::int32_t (*)(TavloBool*);
using MachineStringFn = TavloRetVal (*)(TavloChar*, const TavloChar*, std::uint32_t);
using ProfileStrFn = TavloRetVal (*)(TavloChar*, const TavloChar*, const TavloChar*, std::uint32_t);
using ProfileDWordFn = TavloRetVal (*)(std::uint32_t*, const TavloChar*, const TavloChar*);

const std::string kCorvida = "Veltrane\\Corvida\\R1\\KORA-7:1";

std::u16string str(const TavloChar* text) {
    return reinterpret_cast<const char16_t*>(text);
}
const TavloChar* tc(const char16_t* text) {
    return reinterpret_cast<const TavloChar*>(text);
}

// The library, its resource module and optionally a hook, staged in a folder of their own.
struct Staged {
    fs::path dir;
    explicit Staged(const char* name, const char* hookKey = nullptr) {
        dir = fs::temp_directory_path() / "tavlo-discovery-test" / name;
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy_file(TAVLO_LIBRARY_FILE, dir / fs::path(TAVLO_LIBRARY_FILE).filename());
        fs::copy_file(TAVLO_RES_DLL, dir / "tavlo9Res.dll");
        if (hookKey) {
            fs::copy_file(TAVLO_HOOK_FILE, dir / "userdata.dll");
            std::ofstream(dir / "userdata.key") << hookKey;
        }
        changeDirectory(dir.string());
    }
    std::string library() const { return (dir / fs::path(TAVLO_LIBRARY_FILE).filename()).string(); }
};

// A host registered in the catalogue, installed in dir, with an association for ".pc3".
void registerHost(HostRegistry& registry, const fs::path& dir) {
    registry.setString(Root::ClassesRoot, ".pc3", nullptr, "Host.PlotConfig");
    registry.setString(Root::ClassesRoot, "Host.PlotConfig\\shell\\open\\command", nullptr,
                       "\"C:\\Apps\\Host\\host.exe\" /p \"%1\"");
    registry.setDword(Root::LocalMachine, "Software\\Veltrane\\Outprint", kCorvida.c_str(), 1);
    registry.setString(Root::LocalMachine, "Software\\" + kCorvida, "KoraLocation", dir.string());
    registry.setString(Root::LocalMachine, "Software\\" + kCorvida, "Language", "English");
    registry.setString(Root::CurrentUser, "Software\\" + kCorvida + "\\Profiles", nullptr, "P");
    registry.setString(Root::CurrentUser, "Software\\" + kCorvida + "\\Profiles\\P\\General",
                       "PrinterConfigDir", "D:\\Plotters\\");
    registry.setDword(Root::CurrentUser, "Software\\" + kCorvida + "\\Profiles\\P\\General",
                      "RASTERPERCENT", 55);
    registry.publish();
}

TEST(LibraryDiscovery, HookBesideTheLibraryNamesTheKeyExactly) {
    Staged staged("hook", "Software\\Other\\Product-2:1");
    HostRegistry registry;
    registerHost(registry, staged.dir); // never reached: the hook answers first
    LoadedLibrary lib(staged.library());
    ASSERT_TRUE(lib.loaded());
    RecordingHandler handler;
    lib.function<SetErrorHandlerFn>("tavlo_SetErrorHandler")(&handler);
    EXPECT_EQ(str(lib.function<GetAppKeyFn>("_GetAppKey")(nullptr)),
              u"Software\\Other\\Product-2:1");
    TavloBool kora = 7;
    EXPECT_EQ(lib.function<IsKoraFn>("IsKORAApp")(&kora), 0);
    EXPECT_EQ(kora, 0);
    EXPECT_TRUE(handler.calls.empty());
}

TEST(LibraryDiscovery, HookThatAnswersNoFallsThroughToTheCatalogue) {
    Staged staged("hook-no", "0:Written\\But\\Ignored");
    HostRegistry registry;
    registerHost(registry, staged.dir);
    LoadedLibrary lib(staged.library());
    ASSERT_TRUE(lib.loaded());
    EXPECT_EQ(str(lib.function<GetAppKeyFn>("_GetAppKey")(tc(u"ignored"))),
              u"SOFTWARE\\Veltrane\\Corvida\\R1\\KORA-7:1");
    TavloBool kora = 7;
    EXPECT_EQ(lib.function<IsKoraFn>("IsKORAApp")(&kora), 0);
    EXPECT_EQ(kora, 1);
}

TEST(LibraryDiscovery, SettingsOfTheCatalogueHost) {
    Staged staged("catalogue");
    HostRegistry registry;
    registerHost(registry, staged.dir);
    LoadedLibrary lib(staged.library());
    ASSERT_TRUE(lib.loaded());
    RecordingHandler handler;
    lib.function<SetErrorHandlerFn>("tavlo_SetErrorHandler")(&handler);

    TavloChar buffer[64];
    auto machine = lib.function<MachineStringFn>("_GetHKeyLocalMachineString");
    EXPECT_EQ(machine(buffer, tc(u"Language"), 64), TAVLO_Success);
    EXPECT_EQ(str(buffer), u"English");
    EXPECT_EQ(machine(buffer, tc(u"Language"), 7), TAVLO_Buffer_Too_Small);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_TRUE(handler.calls.empty());
    EXPECT_EQ(machine(buffer, tc(u"Missing"), 64), TAVLO_Failure);
    ASSERT_EQ(handler.calls.size(), 1u);
    EXPECT_NE(handler.calls[0].message.find(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\Corvida"),
              std::u16string::npos);
    EXPECT_EQ(handler.calls[0].style, 48u);

    auto profileStr = lib.function<ProfileStrFn>("_GetProfileStr");
    EXPECT_EQ(profileStr(buffer, tc(u"General"), tc(u"PrinterConfigDir"), 64), TAVLO_Success);
    EXPECT_EQ(str(buffer), u"D:\\Plotters\\");
    buffer[0] = u'#';
    EXPECT_EQ(profileStr(buffer, tc(u"\\General"), tc(u"Missing"), 64), TAVLO_Failure);
    EXPECT_EQ(buffer[0], u'#');

    auto profileDWord = lib.function<ProfileDWordFn>("GetProfileDWord");
    std::uint32_t number = 20;
    EXPECT_EQ(profileDWord(&number, tc(u"General"), tc(u"RASTERPERCENT")), TAVLO_Success);
    EXPECT_EQ(number, 55u);
    EXPECT_EQ(profileDWord(&number, tc(u"General"), tc(u"RASTERTHRESHOLD")), TAVLO_Failure);
    EXPECT_EQ(number, 55u);
    EXPECT_EQ(handler.calls.size(), 1u) << "profile reads report nothing";
}

TEST(LibraryDiscovery, NoHostIsReportedOnEveryAttempt) {
    Staged staged("nothing");
    HostRegistry registry;
    registry.setString(Root::LocalMachine, "Software\\Unrelated", "x", "y");
    registry.publish();
    LoadedLibrary lib(staged.library());
    ASSERT_TRUE(lib.loaded());
    RecordingHandler handler;
    lib.function<SetErrorHandlerFn>("tavlo_SetErrorHandler")(&handler);
    auto getAppKey = lib.function<GetAppKeyFn>("_GetAppKey");
    EXPECT_EQ(str(getAppKey(nullptr)), u"");
    EXPECT_EQ(str(getAppKey(nullptr)), u"");
    ASSERT_EQ(handler.calls.size(), 2u);
    EXPECT_FALSE(handler.calls[0].message.empty());
    EXPECT_FALSE(handler.calls[0].caption.empty());
    TavloBool kora = 7;
    EXPECT_EQ(lib.function<IsKoraFn>("IsKORAApp")(&kora), 1);
    EXPECT_EQ(kora, 7);
    EXPECT_EQ(handler.calls.size(), 2u);
}

} // namespace
} // namespace tavlo::test
