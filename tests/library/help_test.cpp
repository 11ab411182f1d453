// Help files and help display through the built library's export table.
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

std::u16string str(const TavloChar* text) {
    return reinterpret_cast<const char16_t*>(text);
}
const TavloChar* tc(const std::u16string& text) {
    return reinterpret_cast<const TavloChar*>(text.c_str());
}

TEST(LibraryHelp, FindsFilesAndGivesUpWithoutAHost) {
    ScratchDir dir;
    dir.create(u"Docs/Main.chm");
#ifndef _WIN32
    // The Linux library resolves drive letters through the WINEPREFIX it finds when first used.
    setenv("WINEPREFIX", dir.prefix().c_str(), 1);
#endif
    // The library and its resource module in a folder of their own.
    const fs::path staged = fs::temp_directory_path() / "tavlo-help-test" / "find";
    const fs::path library = staged / fs::path(TAVLO_LIBRARY_FILE).filename();
    fs::remove_all(staged);
    fs::create_directories(staged);
    fs::copy_file(TAVLO_LIBRARY_FILE, library);
    fs::copy_file(TAVLO_RES_DLL, staged / "tavlo9Res.dll");
    changeDirectory(staged.string());
    HostRegistry registry;
    registry.setString(Root::LocalMachine, "Software\\Unrelated", "x", "y");
    registry.publish();
    LoadedLibrary lib(library.string());
    ASSERT_TRUE(lib.loaded());
    RecordingHandler handler;
    lib.function<decltype(&tavlo_SetErrorHandler)>("tavlo_SetErrorHandler")(&handler);

    // Found case-blind in the caller's spelling, written only when it fits; FindFile: no limit.
    const std::u16string found = dir.path(u"Docs/MAIN.CHM");
    std::vector<TavloChar> buffer(300, 0x23);
    auto findFilePath = lib.function<decltype(&FindFilePath)>("FindFilePath");
    EXPECT_EQ(findFilePath(tc(dir.path()), tc(u"MAIN.CHM"), buffer.data(), found.size()), 0);
    EXPECT_EQ(buffer[0], 0x23);
    auto findFile = lib.function<decltype(&FindFile)>("FindFile");
    EXPECT_EQ(findFile(tc(dir.path()), tc(u"MAIN.CHM"), buffer.data()), 1);
    EXPECT_EQ(str(buffer.data()), found);
    EXPECT_TRUE(handler.calls.empty());

    // Without a directory or a folder the host is needed; there is none, and help isn't called.
    EXPECT_EQ(findFilePath(nullptr, tc(u"MAIN.CHM"), buffer.data(), 300), 0);
    EXPECT_EQ(lib.function<decltype(&_DoHelp)>("_DoHelp")(nullptr, tc(u"x.hlp"), 0, 1), 0);
    EXPECT_EQ(handler.calls.size(), 2u);
    auto doHtmlHelp = lib.function<decltype(&_DoHtmlHelp)>("_DoHtmlHelp");
    EXPECT_EQ(doHtmlHelp(nullptr, nullptr, 0), 0);
    EXPECT_EQ(doHtmlHelp(nullptr, nullptr, 2), 1);
    EXPECT_EQ(handler.calls.size(), 2u) << "the default help file is looked for without reports";
#ifndef _WIN32
    unsetenv("WINEPREFIX");
#endif
}

} // namespace
} // namespace tavlo::test
