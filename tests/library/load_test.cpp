// The built library loaded as a host loads it, from a folder of its own.
#include "library_loader.h"
#include "stand_ins.h"

#include <cstdlib>

namespace tavlo::test {
namespace {

namespace fs = std::filesystem;

// A scratch folder holding a copy of the library, and the resource module only when asked.
fs::path stage(const char* name, bool withResources) {
    const fs::path dir = fs::temp_directory_path() / "tavlo-load-test" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path library(TAVLO_LIBRARY_FILE);
    fs::copy_file(library, dir / library.filename());
    if (withResources)
        fs::copy_file(TAVLO_RES_DLL, dir / "tavlo9Res.dll");
    changeDirectory(dir.string());
    return dir / library.filename();
}

// Found case-blind in the caller's spelling below a drive letter, which the Linux library
// resolves through the WINEPREFIX it finds when first used.
TEST(LibraryLoad, FindsFilesBelowADriveLetter) {
    ScratchDir dir;
    dir.create(u"Docs/Main.chm");
#ifndef _WIN32
    setenv("WINEPREFIX", dir.prefix().c_str(), 1);
#endif
    LoadedLibrary lib(stage("find", true).string());
    ASSERT_TRUE(lib.loaded());
    std::vector<TavloChar> buffer(300, 0x23);
    EXPECT_EQ(lib.function<decltype(&FindFile)>("FindFile")(tc(dir.path()), tc(u"MAIN.CHM"),
                                                            buffer.data()),
              1);
    EXPECT_EQ(str(buffer.data()), dir.path(u"Docs/MAIN.CHM"));
#ifndef _WIN32
    unsetenv("WINEPREFIX");
#endif
}

#ifdef _WIN32
// The resource module is looked for by name through the loader's search, which covers the
// current directory but not this program's own folder (the tests keep no copy there).
TEST(LibraryLoad, RefusesToLoadWithoutItsResourceModule) {
    EXPECT_FALSE(LoadedLibrary(stage("without", false).string()).loaded());
}
#endif

} // namespace
} // namespace tavlo::test
