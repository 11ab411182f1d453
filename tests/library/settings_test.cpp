// The built library finding its host and reading settings, called by export name as a plot
// driver calls it, with an error handler installed; what it writes into callers' buffers; and
// loading and freeing it over and over.
#include "host_registry.h"
#include "library_loader.h"
#include "stand_ins.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>
#include <vector>

namespace tavlo::test {
namespace {

namespace fs = std::filesystem;

const std::string kKey = "Software\\Veltrane\\Corvida\\R1\\KORA-7:1";

// The library and its resource module in a folder of their own, with a hook answering hookKey
// when one is given, and unless told otherwise a Corvida host installed in that folder, which
// the catalogue and a ".pc3" association name.
struct Library {
    // A folder for each: the last one made is the current directory, which Windows won't remove.
    inline static int made = 0;
    fs::path dir = test::freshTestFolder(fs::path("settings") / std::to_string(++made));
    HostRegistry registry;
    std::unique_ptr<LoadedLibrary> lib;
    RecordingHandler handler;

    explicit Library(const char* hookKey, bool host = true) {
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

// The key a hook beside the library names is taken exactly; a hook that answers no falls
// through to the catalogue; without a host, every attempt is reported, and nothing else is.
TEST(LibrarySettings, HostFromTheHookOrTheCatalogue) {
    // The hook's answer, whether a host is installed; the key, IsKORAApp's result and flag, and
    // the number of reports.
    using Row = std::tuple<const char*, bool, std::u16string, std::int32_t, TavloBool, std::size_t>;
    const Row rows[] = {
        {"Software\\Other\\Product-2:1", true, u"Software\\Other\\Product-2:1", 0, 0, 0},
        {"0:Written\\But\\Ignored", true, u"SOFTWARE\\Veltrane\\Corvida\\R1\\KORA-7:1", 0, 1, 0},
        {nullptr, false, u"", 1, 7, 2},
    };
    for (const auto& [hook, host, key, result, flag, reports] : rows) {
        Library l(hook, host);
        ASSERT_TRUE(l.lib->loaded());
        for (const TavloChar* name : {tc(u"x"), static_cast<const TavloChar*>(nullptr)})
            EXPECT_EQ(str(EXPORT(l, _GetAppKey)(name)), key);
        TavloBool kora = 7;
        EXPECT_EQ(EXPORT(l, IsKORAApp)(&kora), result);
        EXPECT_EQ(kora, flag);
        EXPECT_EQ(l.handler.calls.size(), reports) << (hook ? hook : "no hook");
    }
}

TEST(LibrarySettings, SettingsOfAHookedHost) {
    Library l(kKey.c_str());
    ASSERT_TRUE(l.lib->loaded());
    const std::pair<const char*, std::u16string> expected[] = {
        {"_GetDriverDirectory", u"F:\\Drivers"},
        {"_GetAppDirectory", l.dir.u16string()},
        {"_GetProgramName", u"KORA"},
    };
    for (const auto& [name, text] : expected)
        EXPECT_EQ(l.shared(name), text) << name;
    EXPECT_TRUE(l.handler.calls.empty());
    TavloChar text[64];
    EXPECT_EQ(EXPORT(l, _GetHKeyLocalMachineString)(text, tc(u"X"), 64), TAVLO_Failure);
    EXPECT_EQ(l.shared("_GetProductName"), u"");
    EXPECT_EQ(l.handler.calls.size(), 2u);
    // One string at one address: a pointer kept from an earlier call shows the latest result.
    const TavloChar* language = EXPORT(l, _GetLanguage)();
    EXPECT_EQ(str(language), u"English");
    ASSERT_EQ(EXPORT(l, _GetDriverDirectory)(), language);
    EXPECT_EQ(str(language), u"F:\\Drivers");
    // One function under two names: the typed getter's C++ name is this compiler's.
    const auto policy = EXPORT(l, _GetCurrentPlotStylePolicy);
    EXPECT_EQ(l.get<decltype(policy)>("_Z25GetCurrentPlotStylePolicyv"), policy);
    EXPECT_EQ(l.get<decltype(policy)>("_Z21GetHideSystemPrintersv"),
              EXPORT(l, _GetHideSystemPrinters));
    ASSERT_TRUE(policy);
    EXPECT_EQ(policy(), 3u);
    EXPECT_EQ(EXPORT(l, _GetHideSystemPrinters)(), 0u);
}

// Every export that writes into a caller's buffer, given a stated size and guard units after it:
// nothing past that size is ever written, for sizes around the result's length and for results
// longer than the room the unsized copies assume.
TEST(LibrarySettings, NothingIsWrittenPastTheStatedSize) {
    Library l(kKey.c_str());
    ASSERT_TRUE(l.lib->loaded());
    const std::string profile = kKey + "\\Profiles\\P\\General",
                      dir = "D:\\" + std::string(256, 'd');
    l.registry.setString(Root::LocalMachine, kKey, "Long", std::string(300, 'm'));
    l.registry.setString(Root::CurrentUser, profile, "Long", std::string(300, 'p'));
    l.registry.setString(Root::CurrentUser, profile, "Dir259", dir);
    l.registry.setString(Root::CurrentUser, profile, "Dir260", dir + "d");
    l.registry.setDword(Root::LocalMachine, "Software\\Veltrane\\CSP", "Plot", 0);
    l.registry.publish(); // before the library's first registry access
    std::int32_t notice = 0, size = 0;
    TavloBool available = 0;
    EXPORT(l, CheckForBackDoorDriver)(tc(u"HPPlotter"), nullptr, &notice, &available);
    const auto u32 = [](std::size_t n) { return static_cast<std::uint32_t>(n); };
    const TavloChar *general = tc(u"General"), *x = tc(u"X"), *file = tc(u"USERDATA.KEY");
    const std::size_t found = l.dir.u16string().size() + 13, maxPath = 260;
    struct Writer {
        const char* name;
        std::function<void(TavloChar*, std::size_t)> call; // with the stated size
        std::size_t length;                                // of the result
        std::size_t room = 0;                              // unsized: what its callers allocate
    };
#define WRITER(name, ...) #name, [&](auto b, auto n) { EXPORT(l, name)(__VA_ARGS__); }
    const Writer writers[] = {
        {WRITER(_GetHKeyLocalMachineString, b, tc(u"Long"), u32(n)), 300},
        {WRITER(_GetProfileStr, b, general, tc(u"Long"), u32(n)), 300},
        {WRITER(__GetProfileDirectory, b, n, general, tc(u"Dir259"), x), 259},
        {WRITER(CheckForBackDoorDriver, tc(u"HPPlotter"), b, &(size = n), &available), notice - 1u},
        {WRITER(FindFilePath, nullptr, file, b, n), found},
        {WRITER(FindFile, nullptr, file, b), found, maxPath + 12},
        {WRITER(_GetProfileDirectory, b, general, tc(u"Dir259"), x), 259, maxPath},
        {WRITER(_GetProfileDirectory, b, general, tc(u"Dir260"), x), 0, maxPath},
        {WRITER(_GetProfileDirectoryFromPathname, b, general, tc(u"KORAHELP"), x), 12, maxPath},
        {WRITER(GetProfileDWord, reinterpret_cast<std::uint32_t*>(b), general, tc(u"Long")), 0, 2},
    };
#undef WRITER
    constexpr TavloChar guard = 0xFEED;
    for (const Writer& w : writers) {
        std::vector<TavloChar> large(4096, 0);
        w.call(large.data(), large.size());
        const std::size_t length = std::find(large.begin(), large.end(), 0) - large.begin();
        EXPECT_EQ(length, w.length) << w.name;
        for (const std::size_t n :
             w.room ? std::vector{w.room} : std::vector<std::size_t>{0, 1, length, length + 1}) {
            std::vector<TavloChar> buffer(n + 8, guard);
            std::fill_n(buffer.begin(), n, 0);
            w.call(buffer.data(), n);
            EXPECT_EQ(std::count(buffer.begin() + n, buffer.end(), guard), 8) << w.name << " " << n;
        }
    }
}

#ifdef _WIN32
// Each copy leaves behind the two locks its static runtime creates on first use (48 bytes).
constexpr std::size_t kResidue = 64;
#else
// Under the address sanitizer the C library's counts see no allocation at all: what a cycle
// leaks there, the leak checker reports at exit.
constexpr std::size_t kResidue = 0;
#endif
// Ten times the thousand loads after which TLS slots once ran out under Wine; memory is compared
// from the thousandth on.
constexpr int kSettled = 1000, kCycles = 10000;

// Loading and freeing the library over and over, with calls in between that read a setting, find
// a file, take the error path and so on, leaves nothing behind: nothing stays loaded, and once the
// loader's and the heap's pools have settled, memory stays flat.
TEST(LibrarySettings, LoadingAndFreeingOverAndOverLeavesMemoryFlat) {
    Library l(kKey.c_str());
    l.lib.reset();
    const fs::path library = l.dir / fs::path(TAVLO_LIBRARY_FILE).filename();
    fs::remove(library);
    fs::copy_file(TAVLO_CYCLED_LIBRARY_FILE, library);
    // What the library loads by name stays loaded throughout, so that a cycle maps only the
    // library; its own loads and frees of them still happen, and one it failed to free stays
    // resident after these go. The Linux build reads the resource module as a file, so only the
    // hook is held there.
    std::vector<std::unique_ptr<LoadedLibrary>> held;
    for (const fs::path& module : {l.dir / "tavlo9Res.dll", l.dir / "userdata.dll"})
        held.push_back(std::make_unique<LoadedLibrary>(module.string()));
    std::size_t settled = 0;
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        l.lib = std::make_unique<LoadedLibrary>(library.string());
        ASSERT_TRUE(l.lib->loaded());
        ASSERT_EQ(str(EXPORT(l, _GetAppKey)(nullptr)),
                  u"Software\\Veltrane\\Corvida\\R1\\KORA-7:1");
        TavloChar buffer[300];
        EXPORT(l, _GetProfileStr)(buffer, tc(u"General"), tc(u"KORADRV"), 64);
        ASSERT_TRUE(EXPORT(l, FindFilePath)(nullptr, tc(u"USERDATA.KEY"), buffer, 300));
        l.shared("_GetProductName"); // missing: the error path
        l.lib.reset();
        if (cycle == kSettled)
            settled = memoryInUse();
    }
    held.clear();
    for (const fs::path& file : {library, l.dir / "tavlo9Res.dll", l.dir / "userdata.dll"})
        EXPECT_FALSE(LoadedLibrary::resident(file.string())) << file;
    EXPECT_LE(memoryInUse(), settled + 4096 + (kCycles - kSettled) * kResidue);
}

} // namespace
} // namespace tavlo::test
