// Directory listing and existence through the build's own file service, on a scratch tree, and
// (Linux only) the mapping of drive-letter paths onto a Wine prefix.
#include "platform/services.h"
#include "stand_ins.h"
#include "test_folder.h"

#ifndef _WIN32
#include "platform/portable/environment_posix.h"
#include "platform/portable/files_posix.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace attr = tavlo::platform::attr;
namespace status = tavlo::platform::status;
using tavlo::platform::defaultServices;
using tavlo::platform::DirEntry;
using tavlo::platform::DirListing;
using tavlo::test::narrow;

class ScratchTree : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = tavlo::test::freshTestFolder(
            fs::path("files") / ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(root_ / "sub");
        fs::create_directories(root_ / ".hiddendir");
        for (const char* name : {"alpha.txt", "Beta.DAT", ".hidden", "sub/inner.txt"})
            std::ofstream(root_ / name) << "x";
    }
    std::u16string path(const char* below = nullptr) const {
        return (below ? root_ / below : root_).u16string();
    }
    fs::path root_;
};

TEST_F(ScratchTree, ListsEntriesWithTheirAttributes) {
    DirListing listing;
    DirEntry entry;
    ASSERT_EQ(listing.open(*defaultServices().files, path().c_str(), entry), status::success);
    // {directory, hidden}: dot-names are hidden as Wine reports them; "." and ".." are not.
    using Bits = std::pair<bool, bool>;
    std::map<std::u16string, Bits> listed;
    std::u16string names;
    do {
        EXPECT_NE(entry.attributes, 0u) << narrow(entry.name);
        names += entry.name + u"/";
        listed[entry.name] = {(entry.attributes & attr::directory) != 0,
                              (entry.attributes & attr::hidden) != 0};
    } while (listing.next(entry));
    EXPECT_EQ(names.substr(0, 5), u"./../") << "each entry once, . and .. first";
    EXPECT_EQ(std::count(names.begin(), names.end(), u'/'), 7);
    const std::map<std::u16string, Bits> expected = {
        {u".", {true, false}},         {u"..", {true, false}},  {u"alpha.txt", {false, false}},
        {u"Beta.DAT", {false, false}}, {u"sub", {true, false}}, {u".hidden", {false, true}},
        {u".hiddendir", {true, true}},
    };
    EXPECT_EQ(listed, expected);
}

TEST_F(ScratchTree, ExistenceAndMissingDirectories) {
    auto& files = *defaultServices().files;
    for (const char* below : {"alpha.txt", "sub", "sub/", "sub/inner.txt", ".hidden"})
        EXPECT_TRUE(files.exists(path(below).c_str())) << below;
    for (const char* below : {"missing", "missing/deeper"}) {
        EXPECT_FALSE(files.exists(path(below).c_str())) << below;
        DirListing listing;
        DirEntry entry;
        EXPECT_EQ(listing.open(files, path(below).c_str(), entry), status::path_not_found) << below;
        EXPECT_FALSE(listing.next(entry));
    }
}

#ifndef _WIN32
namespace portable = tavlo::platform::portable;

// Drive letters through a prefix of the test's own, laid out as Wine lays out its prefixes.
class FakePrefix : public ScratchTree {
protected:
    void SetUp() override {
        ScratchTree::SetUp();
        prefix_ = (root_ / "prefix").string();
        const fs::path drive = root_ / "prefix" / "drive_c";
        fs::create_directories(drive / "windows" / "system32");
        fs::create_directories(root_ / "prefix" / "dosdevices");
        fs::create_directory_symlink("../drive_c", root_ / "prefix" / "dosdevices" / "c:");
        for (const char* name : {"windows/system32/File.DLL", "windows/DUP.txt", "windows/dup.txt",
                                 "windows/\xC3\x84rger.txt"})
            std::ofstream(drive / name) << "x";
        portable::configure(portable::PortableConfig{{}, prefix_});
    }
    void TearDown() override { portable::configure(portable::configFromEnvironment()); }
    std::string prefix_;
};

TEST_F(FakePrefix, DrivePathsResolveWithoutRegardToCase) {
    const std::string c = prefix_ + "/dosdevices/c:";
    // clang-format off
    const std::pair<std::u16string, std::string> rows[] = {
        {u"C:\\WINDOWS\\System32", c + "/windows/system32"},
        {u"c:/windows/SYSTEM32/file.dll", c + "/windows/system32/File.DLL"},
        {u"C:\\windows\\dup.txt", c + "/windows/dup.txt"}, // the exact name wins
        {u"C:\\windows\\DUP.txt", c + "/windows/DUP.txt"},
        {u"C:\\windows\\\u00E4RGER.TXT", c + "/windows/\xC3\x84rger.txt"},
        {u"C:\\Windows\\Missing\\X.dll", c + "/windows/Missing/X.dll"}, // the rest as given
        {u"C:\\windows\\.\\system32\\..\\..\\..\\WINDOWS\\\\", c + "/windows"},
        {u"C:\\", c},
        {u"\\\\?\\C:\\Windows", c + "/windows"},
        {u"\\\\.\\c:\\Windows", c + "/windows"},
        {u"\\Windows", c + "/windows"},
        {u"\\\\server\\share\\f.txt", prefix_ + "/dosdevices/unc/server/share/f.txt"},
        {u"\\\\?\\UNC\\server\\share", prefix_ + "/dosdevices/unc/server/share"},
        {u"\\\\?\\unix\\usr\\lib", "/usr/lib"},
        {u"/usr/Lib\\x", "/usr/Lib/x"}, // a Unix path keeps its case; backslashes separate
        {u"sub\\file.txt", "sub/file.txt"},
    };
    // clang-format on
    for (const auto& [path, unixPath] : rows)
        EXPECT_EQ(portable::toUnixPath(path), unixPath) << narrow(path);
}

TEST_F(FakePrefix, FileServiceUsesThePrefix) {
    auto& files = *defaultServices().files;
    EXPECT_TRUE(files.exists(u"C:\\WINDOWS\\SYSTEM32\\FILE.DLL"));
    EXPECT_FALSE(files.exists(u"C:\\WINDOWS\\SYSTEM32\\NONE.DLL"));
    DirListing listing;
    DirEntry entry;
    ASSERT_EQ(listing.open(files, u"c:\\Windows", entry), status::success);
    bool sawSystem32 = false;
    do
        sawSystem32 |= entry.name == u"system32" && (entry.attributes & attr::directory);
    while (listing.next(entry));
    EXPECT_TRUE(sawSystem32);
    // A subdirectory named in another case than stored is still found below its listing.
    DirListing below;
    ASSERT_EQ(below.open(files, listing, u"SYSTEM32", u"c:\\Windows\\SYSTEM32", entry),
              status::success);
    while (entry.name != u"File.DLL")
        ASSERT_TRUE(below.next(entry));
}

// Paths asked about together get the answers each gets alone, whichever way their folder is read.
TEST_F(FakePrefix, ExistAllAnswersAsExists) {
    const fs::path windows = root_ / "prefix" / "drive_c" / "windows";
    fs::create_directory_symlink("system32", windows / "Link");
    fs::create_symlink("gone", windows / "dangling");
    std::vector<std::u16string> paths;
    for (const std::u16string& folder :
         {std::u16string(u"C:\\Windows\\"), windows.u16string() + u"/"})
        for (const char16_t* name : {u"system32", u"SYSTEM32", u"dup.txt", u"Dup.txt",
                                     u"\u00E4RGER.txt", u"link", u"Link", u"dangling", u"none"})
            paths.push_back(folder + name);
    auto& files = *defaultServices().files;
    const std::vector<bool> together =
        files.existAll(std::vector<std::u16string_view>(paths.begin(), paths.end()));
    for (std::size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(together[i], files.exists(paths[i].c_str())) << narrow(paths[i]);
}
#endif

} // namespace
