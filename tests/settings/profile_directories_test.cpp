// Directories kept in profile values, and their defaults below the roamable root folder or the
// application directory.
#include "settings_sandbox.h"

#include "settings/profile_directories.h"

#include <gtest/gtest.h>

namespace tavlo::test {
namespace {

using settings::GetProfileDirectory;
using settings::GetProfileDirectoryFromPathname;
namespace regtype = platform::regtype;

const std::u16string kUntouched = u"<caller's text>";
constexpr TavloRetVal ok = TAVLO_Success, failed = TAVLO_Failure;
constexpr const char16_t* none = nullptr;

// A library whose current profile has "General" (without "Dir" unless value is given).
struct Lib : SettingsSandbox {
    Lib(const char16_t* value, const char16_t* roam, const char16_t* appDir) {
        profile(u"General", u"Other", u"X:\\decoy");
        if (value)
            profile(u"General", u"Dir", value);
        if (roam)
            scratch.setString(Root::CurrentUser, key, u"RoamableRootFolder", roam);
        if (appDir)
            machine(u"Location", appDir);
    }
};

struct DirCase {
    const char16_t *value, *subFolder, *roam, *appDir; // null: missing
    TavloRetVal result;
    std::u16string expected; // kUntouched: as the caller passed it in
    const char* reports = "";
};

const std::u16string k511(511, u'r');

// clang-format off
const DirCase kCases[] = {
    {u"C:\\Plot\\\\\\", u"Drv", none, none, ok, u"C:\\Plot"},
    {u"\\\\", u"Drv", none, none, ok, u""},
    {u"C:\\\\Plot", u"Drv", none, none, ok, u"C:\\\\Plot"},
    {none, u"Drv\\\\", none, u"E:\\App\\\\", ok, u"E:\\App\\Drv"},
    {none, u"", none, u"E:\\App", ok, u"E:\\App"},
    {u"", u"Drv", none, u"E:\\App", ok, u""},
    {none, u"Drv", none, u"", failed, u""},
    {none, u"Drv", none, none, failed, u"", "55"},
    {none, u"Plotters", u"", none, ok, u"\\Plotters"},
    {none, u"Plotters", none, u"E:\\App", failed, kUntouched},
    {none, u"Plot Styles", u"D:\\Roam", none, ok, u"D:\\Roam\\Plot Styles"},
    {none, u"plotters", u"D:\\R\\\\", none, ok, u"D:\\R\\\\plotters"},
    {none, u"PLOTTERS", u"D:", none, ok, u"D:\\PLOTTERS"},
    {none, u"Plot Styles\\", u"D:", u"E:\\App", ok, u"E:\\App\\Plot Styles"},
    {none, u"Plotters", k511.c_str(), none, ok, k511 + u"\\Plotters"},
};
// clang-format on

TEST(Directories, ValueOrDefault) {
    for (const DirCase& c : kCases) {
        SCOPED_TRACE(&c - kCases);
        Lib lib(c.value, c.roam, c.appDir);
        std::u16string out = kUntouched;
        EXPECT_EQ(GetProfileDirectory(out, u"General", u"Dir", c.subFolder), c.result);
        EXPECT_EQ(out, c.expected);
        EXPECT_EQ(lib.reportIds(), c.reports);
    }
}

TEST(Directories, RootThatCantBeReadLeavesWhatTheProfileReadLeft) {
    // 511 characters and the terminator fill the buffer: 512 don't fit, with or without one.
    const std::pair<std::uint32_t, std::vector<std::uint8_t>> roots[] = {
        {regtype::sz, utf16Bytes(k511 + u"r")},
        {regtype::sz, utf16Bytes(k511 + u"r", false)},
        {regtype::expand_sz, utf16Bytes(u"D:")},
        {regtype::dword, utf16Bytes(u"D:")}};
    for (const auto& [type, data] : roots) {
        Lib lib(none, none, u"E:\\App");
        lib.scratch.setRaw(Root::CurrentUser, lib.key, u"RoamableRootFolder", type, data);
        lib.profile(u"General", u"Raw", u"%R%\\Dir", regtype::expand_sz);
        for (const auto read : {GetProfileDirectory, GetProfileDirectoryFromPathname}) {
            std::u16string out = kUntouched;
            EXPECT_EQ(read(out, u"General", u"Dir", u"Plot Styles"), failed);
            EXPECT_EQ(out, kUntouched);
            EXPECT_EQ(read(out, u"General", u"Raw", u"Plot Styles"), failed);
            EXPECT_EQ(out, read == GetProfileDirectory ? u"%R%\\Dir" : kUntouched);
        }
        EXPECT_EQ(lib.reportIds(), "");
    }
}

const std::u16string kFolder255 = u"\\" + std::u16string(253, u'd') + u"\\";

// Pathnames give their drive and folder, or nothing at all.
// clang-format off
const std::pair<std::u16string, std::u16string> kPathnames[] = {
    {u"C:\\Dir\\File.ext", u"C:\\Dir"},
    {u"C:\\File.ext", u"C:"},
    {u"C:\\Dir\\\\", u"C:\\Dir"},
    {u"C:/Dir/f", u"C:/Dir/"},
    {u"C:" + kFolder255 + u"f", u"C:" + kFolder255.substr(0, 254)},
    {u"\\Dir\\File.ext", kUntouched},
    {u"\\\\server\\share\\f.ext", kUntouched},
    {u"C:File.ext", kUntouched},
    {u"", kUntouched},
    {u"C:\\" + kFolder255 + u"f", kUntouched},
    {u"C:\\D\\" + std::u16string(256, u'f') + u".e", kUntouched},
    {u"C:\\D\\f." + std::u16string(255, u'e'), kUntouched},
};
// clang-format on

TEST(Directories, FromPathname) {
    for (const auto& [pathname, expected] : kPathnames) {
        Lib lib(pathname.c_str(), none, u"E:\\App");
        std::u16string out = kUntouched;
        EXPECT_EQ(GetProfileDirectoryFromPathname(out, u"General", u"Dir", u"Help"),
                  expected == kUntouched ? failed : ok)
            << pathname.size();
        EXPECT_EQ(out, expected);
    }
    Lib lib(none, none, u"E:\\App");
    std::u16string out;
    EXPECT_EQ(GetProfileDirectoryFromPathname(out, u"General", u"Dir", u"Help"), ok);
    EXPECT_EQ(out, u"E:\\App\\Help");
}

} // namespace
} // namespace tavlo::test
