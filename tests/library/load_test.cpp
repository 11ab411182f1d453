// The built library loaded as a host loads it, from a folder of its own.
#include "host_registry.h"
#include "library_loader.h"
#include "stand_ins.h"
#include "test_folder.h"

#include <cstdlib>

namespace tavlo::test {
namespace {

namespace fs = std::filesystem;

// A scratch folder holding a copy of the library in its folder `library`, and the resource module
// in `resources` ("" for the current directory, nullptr for nowhere); the current directory is
// its "documents". Returns the library's path.
fs::path stage(const char* name, const char* library, const char* resources) {
    const fs::path dir = freshTestFolder(fs::path("load") / name), cwd = dir / "documents";
    const fs::path staged = dir / library / fs::path(TAVLO_LIBRARY_FILE).filename();
    fs::create_directories(cwd);
    fs::create_directories(staged.parent_path());
    fs::copy_file(TAVLO_LIBRARY_FILE, staged);
    if (resources) {
        const fs::path folder = *resources ? dir / resources : cwd;
        fs::create_directories(folder);
        fs::copy_file(TAVLO_RES_DLL, folder / "tavlo9Res.dll");
    }
    changeDirectory(cwd.string());
    return staged;
}

// Found case-blind in the caller's spelling below a drive letter, which the Linux library
// resolves through the WINEPREFIX it finds when first used.
TEST(LibraryLoad, FindsFilesBelowADriveLetter) {
    ScratchDir dir;
    dir.create(u"Docs/Main.chm");
#ifndef _WIN32
    setenv("WINEPREFIX", dir.prefix().c_str(), 1);
#endif
    LoadedLibrary lib(stage("find", "lib", "lib").string());
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

// Where an installation may keep the resource module, and the one place it may not: the current
// directory, whose copy would put any text a stranger likes into the host's messages. The
// message of a failed discovery (no registry at all) shows whether it was found. Where it is
// found nowhere (the tests keep no copy beside this program), Windows refuses the library.
TEST(LibraryLoad, FindsItsResourceModuleWhereItIsInstalledOnly) {
    struct Row {
        const char* name;
        const char* library;   // below the stage
        const char* resources; // below the stage; "" for the current directory, nullptr: none
        bool found;
    };
    const Row rows[] = {
        {"beside", "lib", "lib", true},
#ifdef _WIN32
        {"on-path", "bin", "res", true}, // res is put on PATH
#else
        {"data-folder", TAVLO_INSTALL_LIBDIR, TAVLO_INSTALL_DATADIR "/tavlo", true},
#endif
        {"current-directory", "lib", "", false},
        {"nowhere", "lib", nullptr, false},
    };
    for (const Row& row : rows) {
        const fs::path library = stage(row.name, row.library, row.resources);
#ifdef _WIN32
        const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
        if (std::string(row.name) == "on-path")
            _putenv_s("PATH",
                      ((library.parent_path().parent_path() / row.resources).string() + ";" + path)
                          .c_str());
#endif
        HostRegistry registry;
        registry.publish();
        {
            LoadedLibrary lib(library.string());
#ifdef _WIN32
            _putenv_s("PATH", path.c_str());
            // Windows refuses a library whose start-up fails.
            EXPECT_EQ(lib.loaded(), row.found) << row.name;
            if (!lib.loaded())
                continue;
#endif
            ASSERT_TRUE(lib.loaded()) << row.name;
            RecordingHandler handler;
            lib.function<void (*)(TavloErrorHandler*)>("tavlo_SetErrorHandler")(&handler);
            EXPECT_EQ(lib.function<int32_t (*)(const TavloChar*)>("SetAppKey")(nullptr), 1);
            ASSERT_EQ(handler.calls.size(), 1u) << row.name;
            EXPECT_EQ(handler.calls[0].message.empty(), !row.found) << row.name;
        }
    }
}

} // namespace
} // namespace tavlo::test
