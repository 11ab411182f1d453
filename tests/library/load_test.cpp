// The built library loaded as a host loads it.
#include "library_loader.h"
#include "stand_ins.h"

#include <gtest/gtest.h>

#include <filesystem>

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
    return dir / library.filename();
}

using SetErrorHandlerFn = void (*)(TavloErrorHandler*);

TEST(LibraryLoad, LoadsWithItsResourceModuleAndExportsTheHandlerInstaller) {
    const fs::path library = stage("with", true);
    changeDirectory(library.parent_path().string());
    LoadedLibrary loaded(library.string());
    ASSERT_TRUE(loaded.loaded());
    auto setHandler = loaded.function<SetErrorHandlerFn>("tavlo_SetErrorHandler");
    ASSERT_NE(setHandler, nullptr);
    RecordingHandler handler;
    setHandler(&handler);
    setHandler(nullptr);
    EXPECT_TRUE(handler.calls.empty());
}

#ifdef _WIN32
// The resource module is looked for by name through the loader's search, which covers the
// current directory but not this program's own folder (the tests keep no copy there).
TEST(LibraryLoad, RefusesToLoadWithoutItsResourceModule) {
    const fs::path library = stage("without", false);
    changeDirectory(library.parent_path().string());
    LoadedLibrary loaded(library.string());
    EXPECT_FALSE(loaded.loaded());
}
#endif

} // namespace
} // namespace tavlo::test
