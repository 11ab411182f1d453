// The named settings, each read as its row says (or its default given) and what each does without
// a host; directories kept in profile values or defaulted below the roamable root or application
// directory; and the flat exports' copies into callers' buffers.
#include "settings_sandbox.h"

#include "frame/strings.h"
#include "identity/identity.h"
#include "settings/named_settings.h"
#include "settings/profile_directories.h"
#include "settings/setting_table.h"
#include "tavlo/tavlo.hpp"

namespace tavlo::test {
namespace {

using namespace settings;
using namespace identity;
using frame::written;
using registry::Default;
using registry::SettingRow;
using registry::Shape;
using registry::Store;

// What a setting writes into a string that held other text: none of that may remain.
std::u16string answer(void (*write)(std::u16string&)) {
    std::u16string out = u"former text\\";
    write(out);
    return out;
}

// The key a row's value lies in.
std::pair<Root, std::u16string> placeOf(const SettingsSandbox& lib, Store store,
                                        const char16_t* section) {
    if (store == Store::Machine)
        return {Root::LocalMachine, lib.key};
    return {Root::CurrentUser,
            lib.key + (store == Store::Profile ? u"\\Profiles\\P\\" : u"\\FixedProfile\\") +
                section};
}

struct Stored {
    std::uint32_t type;
    std::vector<std::uint8_t> data;
};

std::vector<std::uint8_t> dwordBytes(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), 0, 0, 0};
}

// A value as each shape stores it, and the getter's answer from it.
struct ShapeCase {
    Shape shape;
    Stored present;
    std::u16string answer;
    Stored wrongType; // what must give the default
};

// clang-format off
const ShapeCase kShapes[] = {
    {Shape::Text, {regtype::sz, utf16Bytes(u" C:\\a;b\\ ")}, u" C:\\a;b\\ ", {regtype::dword, dwordBytes(0)}},
    {Shape::Directory, {regtype::sz, utf16Bytes(u"F:\\Dir\\\\")}, u"F:\\Dir", {regtype::dword, dwordBytes(0)}},
    {Shape::Pathname, {regtype::sz, utf16Bytes(u"C:\\H\\main.chm")}, u"C:\\H", {regtype::dword, dwordBytes(0)}},
    // Longer than a number: nothing of it is written through.
    {Shape::Number, {regtype::dword, dwordBytes(7)}, u"7", {regtype::sz, utf16Bytes(u"not a number")}},
    // A failed read's bytes don't count, even where they spell the flag.
    {Shape::Flag, {regtype::dword, dwordBytes(1)}, u"1", {regtype::binary, dwordBytes(1)}},
};
// clang-format on

// The default a row gives with a roamable root "D:\Roam\" and an application directory
// "E:\App\", or without either.
std::u16string byDefault(const Default& d, bool folders) {
    const std::u16string folder = d.folder;
    if (d.kind == Default::Kind::Number)
        return decimal(d.number);
    if (!folders)
        return u"";
    if (d.kind == Default::Kind::BelowAppDir)
        return u"E:\\App" + (folder.empty() ? u"" : u"\\" + folder);
    return d.kind == Default::Kind::BelowRoamableRoot ? u"D:\\Roam\\" + folder : u"";
}

// Each getter answers from its row's value name for the host, in its row's place, and nowhere
// else; a value missing or of the wrong type gives the row's default.
TEST(SettingRows, EachGetterAnswersWhatItsRowSays) {
    const char16_t* sections[] = {u"General", u"General Configuration", u"Editor Configuration"};
    for (const SettingEntry& entry : settingTable()) {
        const SettingRow& row = *entry.row;
        if (row.shape == Shape::KeyPart)
            continue;
        const ShapeCase& shape = *std::find_if(std::begin(kShapes), std::end(kShapes),
                                               [&](const auto& c) { return c.shape == row.shape; });
        const bool number = row.shape == Shape::Number || row.shape == Shape::Flag;
        const Stored decoy = number ? Stored{regtype::dword, dwordBytes(99)}
                                    : Stored{regtype::sz, utf16Bytes(u"X:\\decoy\\")};
        for (const bool kora : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (kora ? " (Corvida)" : ""));
            const char16_t* name = row.nameFor(kora);
            const char16_t* otherFamilysName = row.nameFor(!kora);
            {
                SettingsSandbox lib(kora ? kKoraKey : kOtherKey);
                for (const Store store : {Store::Profile, Store::FixedProfile, Store::Machine})
                    for (const char16_t* section : sections) {
                        const auto [root, path] = placeOf(lib, store, section);
                        lib.scratch.setRaw(root, path, name, decoy.type, decoy.data);
                    }
                const auto [root, path] = placeOf(lib, row.store, row.section);
                if (otherFamilysName != name)
                    lib.scratch.setRaw(root, path, otherFamilysName, decoy.type, decoy.data);
                lib.scratch.setRaw(root, path, name, shape.present.type, shape.present.data);
                EXPECT_EQ(answer(entry.read), shape.answer);
                EXPECT_EQ(lib.reportIds(), "");
            }
            for (const bool wrongType : {false, true})
                for (const bool folders : {true, false}) {
                    SCOPED_TRACE(wrongType ? "wrong type" : "missing");
                    SettingsSandbox lib(kora ? kKoraKey : kOtherKey);
                    if (folders) {
                        lib.scratch.setString(Root::CurrentUser, lib.key, u"RoamableRootFolder",
                                              u"D:\\Roam\\");
                        if (&row != &registry::rows::appDirectory)
                            lib.machine(registry::rows::appDirectory.nameFor(kora), u"E:\\App\\");
                    }
                    const auto [root, path] = placeOf(lib, row.store, row.section);
                    if (wrongType)
                        lib.scratch.setRaw(root, path, name, shape.wrongType.type,
                                           shape.wrongType.data);
                    else
                        lib.scratch.setRaw(root, path, u"other", decoy.type, decoy.data);
                    EXPECT_EQ(answer(entry.read), byDefault(row.byDefault, folders));
                    // Only a machine-wide value that can't be read is told about, or the
                    // application directory a default needed.
                    const bool told =
                        row.byDefault.kind == Default::Kind::None ||
                        (!folders && row.byDefault.kind == Default::Kind::BelowAppDir);
                    EXPECT_EQ(lib.reportIds(), told ? "55" : "");
                }
        }
    }
}

// Beyond its row: only 1 sets the flag.
TEST(Settings, R14RasterPlotIsSetOnlyBy1) {
    SettingsSandbox lib;
    lib.scratch.setDword(Root::CurrentUser, lib.key + u"\\FixedProfile\\General Configuration",
                         u"R14RasterPlot", 2);
    EXPECT_FALSE(IsR14RasterPlotSysVarSet());
}

template <std::uint32_t (*get)()> std::u16string number() {
    return decimal(get());
}

struct NoHostCase {
    std::u16string (*get)();
    std::u16string noHost; // what the getter gives when discovery finds nothing
    const char* reports;
    bool passesCatalogueError; // else it gives noHost again
};

// Every failing GetAppKey shows 57; getters that test the host first give up silently.
// clang-format off
const NoHostCase kNoHostCases[] = {
    {written<GetDriverDirectory>, u"", "", true},           {written<GetPlottersDirectory>, u"", "57 57", false},
    {written<GetPlotStylesDirectory>, u"", "57 57", false}, {written<GetPMPDirectory>, u"", "57 57", false},
    {written<GetPlotSpoolerDirectory>, u"", "57", true},    {written<GetHelpDirectory>, u"", "", true},
    {written<GetLogFileDirectory>, u"", "", true},          {written<GetSupportFileSearchPath>, u"", "", true},
    {written<GetAutospoolCommandString>, u"", "", true},    {written<GetDefaultLoginName>, u"", "57", false},
    {written<GetDefaultPlotToFile>, u"", "57", false},      {written<GetDefaultPlotStyleTable>, u"", "57", false},
    {number<GetRasterThreshold>, u"20", "57", false},       {number<GetRasterPercent>, u"20", "57", false},
    {number<GetCurrentPlotStylePolicy>, u"1", "57", false}, {number<GetHideSystemPrinters>, u"0", "57", false},
    {number<[] { return std::uint32_t{IsR14RasterPlotSysVarSet()}; }>, u"0", "57", false},
    {written<GetAppDirectory>, u"", "", true},              {written<GetLanguage>, u"", "57 55", false},
    {written<GetProductName>, u"", "57 55", false},         {GetProgramName, u"", "57", false},
    {GetCompanyName, u"", "57", false},                     {GetProductBaseName, u"", "57", false},
};
// clang-format on

TEST(NoHost, DiscoveryFindsNothingOrRaises) {
    for (const NoHostCase& c : kNoHostCases) {
        SCOPED_TRACE(&c - kNoHostCases);
        for (const bool catalogueRaises : {false, true}) {
            SettingsSandbox lib(u"");
            if (catalogueRaises)
                lib.associate(u".pc3", u"\"C:\\Host\\host.exe\" \"%1\"");
            std::u16string result = u"<nothing returned>";
            const bool passes = catalogueRaises && c.passesCatalogueError;
            EXPECT_EQ(raisedBy([&] { result = c.get(); }).text(),
                      passes ? "AppKey 57 GetOPAppsRegKeys" : "");
            EXPECT_EQ(result, passes ? u"<nothing returned>" : c.noHost);
            // Whatever was shown before the error left is what a discovery that finds nothing
            // shows.
            EXPECT_EQ(lib.reportIds(), c.reports);
            EXPECT_TRUE(lib.scope.get().appKeyCache.empty());
        }
    }
}

TEST(NoHost, EveryCallReportsAgain) {
    SettingsSandbox lib;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(written<GetAppDirectory>() + written<GetDriverDirectory>(), u"");
    EXPECT_EQ(lib.reportIds(), "55 55 55 55");
    EXPECT_EQ(lib.handler.calls[0].message, u"55[HKEY_LOCAL_MACHINE\\" + kOtherKey + u"]");
    EXPECT_EQ(lib.handler.calls[0].caption, u"Caption");
}

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
    decltype(&GetProfileDirectory) read = GetProfileDirectory;
};

const std::u16string k511(511, u'r'), kFolder255 = u"\\" + std::u16string(253, u'd') + u"\\";
const std::u16string kFolderFile = u"C:" + kFolder255 + u"f",
                     kRootedFile = u"C:\\" + kFolder255 + u"f";
const std::u16string kLongExt = u"C:\\D\\f." + std::u16string(255, u'e');
const auto fromPathname = GetProfileDirectoryFromPathname;

// A pathname gives its drive and folder, or nothing at all.
// clang-format off
const DirCase kDirCases[] = {
    {u"\\\\", u"Drv", none, none, ok, u""},
    {u"C:\\\\Plot", u"Drv", none, none, ok, u"C:\\\\Plot"},
    {none, u"Drv\\\\", none, u"E:\\App\\\\", ok, u"E:\\App\\Drv"},
    {u"", u"Drv", none, u"E:\\App", ok, u""},
    {none, u"Drv", none, u"", failed, u""},
    {none, u"Plotters", u"", none, ok, u"\\Plotters"},
    {none, u"Plotters", none, u"E:\\App", failed, kUntouched},
    {none, u"Plot Styles", u"D:\\Roam", none, ok, u"D:\\Roam\\Plot Styles"},
    {none, u"plotters", u"D:\\R\\\\", none, ok, u"D:\\R\\\\plotters"},
    {none, u"PLOTTERS", u"D:", none, ok, u"D:\\PLOTTERS"},
    {none, u"Plot Styles\\", u"D:", u"E:\\App", ok, u"E:\\App\\Plot Styles"},
    {none, u"Plotters", k511.c_str(), none, ok, k511 + u"\\Plotters"},
    {u"C:\\File.ext", u"Help", none, u"E:\\App", ok, u"C:", fromPathname},
    {u"C:\\Dir\\\\", u"Help", none, u"E:\\App", ok, u"C:\\Dir", fromPathname},
    {u"C:/Dir/f", u"Help", none, u"E:\\App", ok, u"C:/Dir/", fromPathname},
    {kFolderFile.c_str(), u"Help", none, u"E:\\App", ok, u"C:" + kFolder255.substr(0, 254), fromPathname},
    {u"\\Dir\\File.ext", u"Help", none, u"E:\\App", failed, kUntouched, fromPathname},
    {u"C:File.ext", u"Help", none, u"E:\\App", failed, kUntouched, fromPathname},
    {kRootedFile.c_str(), u"Help", none, u"E:\\App", failed, kUntouched, fromPathname},
    {kLongExt.c_str(), u"Help", none, u"E:\\App", failed, kUntouched, fromPathname},
};
// clang-format on

TEST(Directories, ValueOrDefault) {
    for (const DirCase& c : kDirCases) {
        SCOPED_TRACE(&c - kDirCases);
        Lib lib(c.value, c.roam, c.appDir);
        std::u16string out = kUntouched;
        EXPECT_EQ(c.read(out, u"General", u"Dir", c.subFolder), c.result);
        EXPECT_EQ(out, c.expected);
        EXPECT_EQ(lib.reportIds(), "");
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

constexpr TavloChar kGuard = 0x2A2A;
const std::u16string kDir = u"C:\\Plot\\Dir";
using Copy = std::function<TavloRetVal(TavloChar*, std::uint32_t)>;
#define CALL(...) [](TavloChar* b, std::uint32_t n) { return __VA_ARGS__; }

// A stored directory "Dir", a pathname "File" in it and a bare file name "Name".
struct Flat : SettingsSandbox {
    Flat() {
        profile(u"General", u"Dir", kDir + u"\\\\");
        profile(u"General", u"File", kDir + u"\\x.chm");
        profile(u"General", u"Name", u"x.chm");
        machine(u"Name", kDir);
    }
    // Calls copy on a buffer of guard units and gives what it holds afterwards: the text, or
    // "untouched" when no unit was written. Nothing may be written past the text's terminator.
    std::u16string call(const Copy& copy, TavloRetVal result, std::uint32_t size = 300) {
        std::vector<TavloChar> buffer(301, kGuard);
        EXPECT_EQ(copy(buffer.data(), size), result) << size;
        const bool written = buffer[0] != kGuard;
        const std::u16string text = written ? str(buffer.data()) : u"untouched";
        const std::ptrdiff_t used = written ? text.size() + 1 : 0;
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), kGuard), 301 - used) << size;
        return text;
    }
};

// Copies at full size; those marked sized also at the value's length and at none, and without a
// buffer, which has no room: never a write through null.
TEST(FlatExports, Copies) {
    // clang-format off
    const std::tuple<Copy, TavloRetVal, std::u16string, bool> rows[] = {
        {CALL(__GetProfileDirectory(b, n, tc(u"General"), tc(u"Dir"), tc(u"Plotters"))), ok, kDir, true},
        {CALL(_GetHKeyLocalMachineString(b, tc(u"Name"), n)), ok, kDir, true},
        {CALL(_GetProfileStr(b, tc(u"General"), tc(u"Dir"), n)), ok, kDir + u"\\\\", true},
        {CALL(_GetProfileDirectory(b, tc(u"General"), tc(u"Dir"), tc(u"Drv"))), ok, kDir, false},
        {CALL(_GetProfileDirectoryFromPathname(b, tc(u"\\General"), tc(u"File"), tc(u"Help"))), ok, kDir, false},
        // No roamable root: the default of "Plotters" fails.
        {CALL(_GetProfileDirectory(b, tc(u"General"), tc(u"Gone"), tc(u"Plotters"))), failed, u"untouched", false},
        {CALL(__GetProfileDirectory(b, n, tc(u"General"), tc(u"Gone"), tc(u"Plotters"))), failed, u"untouched", false},
        {CALL(_GetProfileDirectoryFromPathname(b, tc(u"General"), tc(u"Name"), tc(u"Help"))), failed, u"untouched", false},
        {CALL(_GetProfileStr(b, tc(u"General"), tc(u"X"), n)), failed, u"untouched", false},
    };
    // clang-format on
    for (const auto& [copy, result, text, sized] : rows) {
        Flat lib;
        const auto n = static_cast<std::uint32_t>(text.size());
        EXPECT_EQ(lib.call(copy, result, sized ? n + 1 : 300), text);
        if (sized) {
            EXPECT_EQ(lib.call(copy, TAVLO_Buffer_Too_Small, n), u"");
            EXPECT_EQ(lib.call(copy, TAVLO_Buffer_Too_Small, 0), u"untouched");
            const auto noBuffer = [&](TavloChar*, std::uint32_t size) {
                return copy(nullptr, size);
            };
            EXPECT_EQ(lib.call(noBuffer, TAVLO_Buffer_Too_Small), u"untouched");
        }
        EXPECT_EQ(lib.reportIds(), "");
    }
}

// An error handler may ask for a shared result while another call's report is shown: each call
// answers whole, and the shared result holds the outer call's answer afterwards.
TEST(FlatExports, AHandlerAskingForASharedResultLeavesBothWhole) {
    SettingsSandbox lib; // no Location: the spooler's default is reported (55)
    lib.scratch.setString(Root::CurrentUser, lib.key, u"RoamableRootFolder", u"D:\\Roam\\");
    struct Asking final : TavloErrorHandler {
        std::u16string inner;
        int DisplayError(const TavloChar*, const TavloChar*, std::uint32_t, std::int32_t) override {
            inner = str(_GetPMPDirectory());
            return 1;
        }
    } asking;
    tavlo_SetErrorHandler(&asking);
    const TavloChar* outer = _GetPlotSpoolerDirectory();
    EXPECT_EQ(asking.inner, u"D:\\Roam\\Plotters");
    EXPECT_EQ(str(outer), u"");
    EXPECT_EQ(outer, _GetPMPDirectory());
}

} // namespace
} // namespace tavlo::test
