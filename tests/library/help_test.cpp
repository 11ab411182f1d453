// Help files, help display and driver notices through the built library's export table.
#include "help_stand_ins.h"
#include "host_registry.h"
#include "library_loader.h"
#include "stand_ins.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace tavlo::test {
namespace {

namespace fs = std::filesystem;

using SetErrorHandlerFn = void (*)(TavloErrorHandler*);
using FindFilePathFn = TavloBool (*)(const TavloChar*, const TavloChar*, TavloChar*, size_t);
using FindFileFn = TavloBool (*)(const TavloChar*, const TavloChar*, TavloChar*);
using DoHelpFn = TavloBool (*)(void*, const TavloChar*, uintptr_t, uint32_t);
using DoHtmlHelpFn = TavloBool (*)(const TavloChar*, const TavloChar*, int32_t);
using CheckFn = TavloRetVal (*)(const TavloChar*, TavloChar*, int32_t*, TavloBool*);

std::u16string str(const TavloChar* text) {
    return reinterpret_cast<const char16_t*>(text);
}
const TavloChar* tc(const std::u16string& text) {
    return reinterpret_cast<const TavloChar*>(text.c_str());
}

// The library and its resource module in a folder of their own.
struct Staged {
    fs::path dir;
    explicit Staged(const char* name) {
        dir = fs::temp_directory_path() / "tavlo-help-test" / name;
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy_file(TAVLO_LIBRARY_FILE, dir / fs::path(TAVLO_LIBRARY_FILE).filename());
        fs::copy_file(TAVLO_RES_DLL, dir / "tavlo9Res.dll");
        changeDirectory(dir.string());
    }
    std::string library() const { return (dir / fs::path(TAVLO_LIBRARY_FILE).filename()).string(); }
};

// The Linux library resolves drive letters through the WINEPREFIX it finds when first used.
struct PrefixOf {
    explicit PrefixOf(const ScratchDir& dir) {
#ifndef _WIN32
        setenv("WINEPREFIX", dir.prefix().c_str(), 1);
#endif
    }
    ~PrefixOf() {
#ifndef _WIN32
        unsetenv("WINEPREFIX");
#endif
    }
};

TEST(LibraryHelp, FindsFilesAndGivesUpWithoutAHost) {
    ScratchDir dir;
    dir.create(u"Docs/Main.chm");
    PrefixOf prefix(dir);
    Staged staged("find");
    HostRegistry registry;
    registry.setString(Root::LocalMachine, "Software\\Unrelated", "x", "y");
    registry.publish();
    LoadedLibrary lib(staged.library());
    ASSERT_TRUE(lib.loaded());
    RecordingHandler handler;
    lib.function<SetErrorHandlerFn>("tavlo_SetErrorHandler")(&handler);

    const std::u16string found = dir.path(u"Docs/MAIN.CHM");
    std::vector<TavloChar> buffer(300, 0x23);
    auto findFilePath = lib.function<FindFilePathFn>("FindFilePath");
    EXPECT_EQ(findFilePath(tc(dir.path()), tc(u"MAIN.CHM"), buffer.data(), found.size()), 0);
    EXPECT_EQ(buffer[0], 0x23);
    EXPECT_EQ(findFilePath(tc(dir.path()), tc(u"MAIN.CHM"), buffer.data(), found.size() + 1), 1);
    EXPECT_EQ(str(buffer.data()), found);
    EXPECT_EQ(lib.function<FindFileFn>("FindFile")(tc(dir.path()), tc(u"main.chm"), buffer.data()),
              1);
    EXPECT_EQ(str(buffer.data()), dir.path(u"Docs/main.chm"));
    EXPECT_TRUE(handler.calls.empty());

    // Without a directory or a folder the host is needed; there is none, and help isn't called.
    EXPECT_EQ(findFilePath(nullptr, tc(u"MAIN.CHM"), buffer.data(), 300), 0);
    EXPECT_EQ(lib.function<DoHelpFn>("_DoHelp")(nullptr, tc(u"x.hlp"), 0, 1), 0);
    EXPECT_EQ(handler.calls.size(), 2u);
    auto doHtmlHelp = lib.function<DoHtmlHelpFn>("_DoHtmlHelp");
    EXPECT_EQ(doHtmlHelp(nullptr, nullptr, 0), 0);
    EXPECT_EQ(doHtmlHelp(nullptr, nullptr, 2), 1);
    EXPECT_EQ(handler.calls.size(), 2u) << "the default help file is looked for without reports";
}

TEST(LibraryHelp, NoticeOfARegisteredDriver) {
    Staged staged("notice");
    HostRegistry registry;
    const std::string app = "Software\\Veltrane\\Corvida\\R1\\KORA-7:1";
    registry.setString(Root::ClassesRoot, ".pc3", nullptr, "Host.PlotConfig");
    registry.setString(Root::ClassesRoot, "Host.PlotConfig\\shell\\open\\command", nullptr,
                       "\"C:\\Apps\\Host\\host.exe\" \"%1\"");
    registry.setDword(Root::LocalMachine, "Software\\Veltrane\\Outprint",
                      "Veltrane\\Corvida\\R1\\KORA-7:1", 1);
    registry.setString(Root::LocalMachine, app, "KoraLocation", staged.dir.string());
    registry.setString(Root::LocalMachine, app, "ProductName", "Corvida 2");
    registry.setString(Root::LocalMachine, "Software\\Veltrane\\CSP", "HPGL",
                       (staged.dir / "tavlo9Res.dll").string());
    registry.publish();
    LoadedLibrary lib(staged.library());
    ASSERT_TRUE(lib.loaded());
    auto check = lib.function<CheckFn>("CheckForBackDoorDriver");

    std::int32_t size = 0;
    TavloBool available = 7;
    EXPECT_EQ(check(tc(u"MyHpgl.drv"), nullptr, &size, &available), TAVLO_Buffer_Too_Small);
    EXPECT_EQ(available, 1);
    ASSERT_GT(size, 1);
    const std::int32_t need = size;
    std::vector<TavloChar> buffer(static_cast<std::size_t>(need) + 1, 0x23);
    EXPECT_EQ(check(tc(u"MyHpgl.drv"), buffer.data(), &size, &available), TAVLO_Success);
    EXPECT_EQ(size, need);
    const std::u16string notice = str(buffer.data());
    EXPECT_EQ(notice.size() + 1, static_cast<std::size_t>(need));
    EXPECT_NE(notice.find(u" Corvida 2 "), std::u16string::npos) << fs::path(notice).string();
    EXPECT_EQ(buffer[static_cast<std::size_t>(need)], 0x23);

    size = 4;
    EXPECT_EQ(check(tc(u"pcl.drv"), buffer.data(), &size, &available), TAVLO_Success);
    EXPECT_EQ(available, 0);
    EXPECT_EQ(size, 1);
    EXPECT_EQ(buffer[0], 0);
}

} // namespace
} // namespace tavlo::test
