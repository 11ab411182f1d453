// Finding help files: the recursive search on real files and on a listed tree whose order is
// fixed, the bounds of paths and of the caller's buffer, and the help file name turned into a
// pathname.
#include "help_stand_ins.h"
#include "settings_sandbox.h"

#include "help/help_search.h"
#include "tavlo/tavlo.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace tavlo::test {
namespace {

namespace fs = std::filesystem;
namespace attr = platform::attr;

constexpr char16_t kGuard = u'#';

const TavloChar* tc(const std::u16string& text) {
    return reinterpret_cast<const TavloChar*>(text.c_str());
}

// What FindFilePath leaves in a guarded buffer of `size` units (plus guards behind it).
struct Outcome {
    bool found;
    std::u16string text; // up to the first null, or empty when nothing was written
    bool untouched;      // no unit of the buffer was written
    bool guardsIntact;   // nothing was written past size
};

Outcome search(const std::u16string& directory, const char16_t* name, std::size_t size) {
    std::vector<char16_t> buffer(size + 8, kGuard);
    const bool found = FindFilePath(directory.empty() ? nullptr : tc(directory),
                                    reinterpret_cast<const TavloChar*>(name),
                                    reinterpret_cast<TavloChar*>(buffer.data()), size) != 0;
    Outcome out{found, {}, true, true};
    for (std::size_t i = 0; i < buffer.size(); ++i)
        if (buffer[i] != kGuard)
            (i < size ? out.untouched : out.guardsIntact) = false;
    if (!out.untouched)
        out.text.assign(buffer.data());
    return out;
}

// --- real files ------------------------------------------------------------------------------

struct TreeCase {
    const char* what;
    std::vector<std::u16string> entries; // '/'-separated; a trailing '/' makes a directory
    const char16_t* sought;
    const char16_t* found; // below the scratch directory; null: not found
};

void PrintTo(const TreeCase& c, std::ostream* os) {
    *os << c.what;
}

const TreeCase kTrees[] = {
    {"case ignored, caller's spelling", {u"Docs/main.chm"}, u"MAIN.CHM", u"Docs/MAIN.CHM"},
    {"at the top", {u"Main.Chm"}, u"main.CHM", u"main.CHM"},
    {"deep", {u"a/y.chm", u"a/b/c/d/x.chm"}, u"x.chm", u"a/b/c/d/x.chm"},
    {"dotted directory", {u"Release.2/x.chm"}, u"X.chm", u"Release.2/X.chm"},
    {"non-ASCII case", {u"Dok/\u00c4rger.chm"}, u"\u00e4RGER.CHM", u"Dok/\u00e4RGER.CHM"},
    {"no extension", {u"sub/README"}, u"readme", u"sub/readme"},
    {"several dots", {u"sub/a.b.c"}, u"A.B.C", u"sub/A.B.C"},
    {"directory named like the file", {u"x.chm/x.chm"}, u"x.chm", u"x.chm"},
    {"empty directory named like the file", {u"x.chm/"}, u"X.CHM", u"X.CHM"},
    {"hidden dot-file", {u".x.chm"}, u".x.chm", nullptr},
    {"hidden dot-directory", {u".hid/x.chm"}, u"x.chm", nullptr},
    {"name without extension", {u"x.chm"}, u"x", nullptr},
    {"extension without name", {u"x.chm"}, u".chm", nullptr},
    {"prefix", {u"x.chm"}, u"x.ch", nullptr},
    {"absent", {u"sub/", u"y.chm"}, u"x.chm", nullptr},
};

class SearchTree : public ::testing::TestWithParam<TreeCase> {};

TEST_P(SearchTree, FindsOrLeavesTheBufferAlone) {
    const TreeCase& c = GetParam();
    ScratchDir dir;
    for (const auto& entry : c.entries)
        dir.create(entry);
    SettingsSandbox lib;
    const Outcome out = search(dir.path(), c.sought, 300);
    EXPECT_EQ(out.found, c.found != nullptr);
    EXPECT_EQ(out.text, c.found ? dir.path(c.found) : u"");
    EXPECT_EQ(out.untouched, c.found == nullptr);
    EXPECT_TRUE(out.guardsIntact);
    EXPECT_EQ(lib.reportIds(), "");
}

INSTANTIATE_TEST_SUITE_P(Files, SearchTree, ::testing::ValuesIn(kTrees));

#ifdef _WIN32
// Hidden and system are attributes on Windows, not only a leading dot.
struct MarkCase {
    const char* what;
    std::u16string marked;
    std::uint32_t attributes;
};

void PrintTo(const MarkCase& c, std::ostream* os) {
    *os << c.what;
}

class SearchMarked : public ::testing::TestWithParam<MarkCase> {};

TEST_P(SearchMarked, IgnoresTheEntryAndWhatIsBelowIt) {
    ScratchDir dir;
    dir.create(GetParam().marked == u"h" ? u"h/x.chm" : u"x.chm");
    if (!dir.mark(GetParam().marked, GetParam().attributes))
        GTEST_SKIP() << "this file system keeps no DOS attributes";
    SettingsSandbox lib;
    const Outcome out = search(dir.path(), u"x.chm", 300);
    EXPECT_FALSE(out.found);
    EXPECT_TRUE(out.untouched);
}

INSTANTIATE_TEST_SUITE_P(Attributes, SearchMarked,
                         ::testing::Values(MarkCase{"hidden file", u"x.chm", attr::hidden},
                                           MarkCase{"system file", u"x.chm", attr::system},
                                           MarkCase{"hidden directory", u"h", attr::hidden},
                                           MarkCase{"system directory", u"h", attr::system}));
#endif

#ifndef _WIN32
// The library composes "<directory>\<entry>" below the directory it was given; on Linux a
// directory given as a Unix path is then no longer found below its first level.
TEST(SearchUnixPath, DescendsBelowAUnixPath) {
    ScratchDir dir;
    dir.create(u"sub/x.chm");
    SettingsSandbox lib;
    const std::u16string unixPath = dir.real().u16string();
    const Outcome out = search(unixPath, u"x.chm", 300);
    EXPECT_TRUE(out.found);
    EXPECT_EQ(out.text, unixPath + u"\\sub\\x.chm");
}

TEST(SearchLinks, LinkThatLoopsBackEnds) {
    ScratchDir dir;
    dir.create(u"a/y.chm");
    fs::create_directory_symlink(".", dir.real(u"a/loop"));
    SettingsSandbox lib;
    EXPECT_FALSE(search(dir.path(), u"x.chm", 300).found);
}
#endif

// The path below the scratch directory of a directory whose full path has `length` characters,
// in components short enough for any file system.
std::u16string directoryOfLength(const ScratchDir& dir, std::size_t length, char16_t fill) {
    const std::size_t room = length - dir.path().size();
    const std::size_t parts = (room + 200) / 201;
    const std::size_t names = room - parts; // characters left after one separator per part
    std::u16string below;
    for (std::size_t i = 0; i < parts; ++i) {
        if (i)
            below += u'/';
        below += std::u16string(names / parts + (i == 0 ? names % parts : 0), fill);
    }
    EXPECT_EQ(dir.path(below).size(), length);
    return below;
}

// A searched directory has at most 257 characters (with "\*" it fits 260). A longer one may
// be searched under its full name or not at all, never under a cut-off name: the cut-off name
// exists here and holds the file too.
TEST(SearchBounds, DirectoryOf257IsSearchedAndNoneUnderACutName) {
    ScratchDir dir;
    const std::u16string d256 = directoryOfLength(dir, 256, u'd');
    const std::u16string d257 = d256 + u"e", d258 = d256 + u"ee";
    dir.create(d257 + u"/x.chm");
    dir.create(d258 + u"/x.chm");
    SettingsSandbox lib;

    Outcome out = search(dir.path(d257), u"x.chm", 400);
    EXPECT_TRUE(out.found);
    EXPECT_EQ(out.text, dir.path(d257 + u"/x.chm"));

    out = search(dir.path(d258), u"x.chm", 400);
    if (out.found) {
        EXPECT_EQ(out.text, dir.path(d258 + u"/x.chm"));
    } else {
        EXPECT_TRUE(out.untouched);
    }
}

TEST(SearchBounds, SubdirectoriesUpTo257AreSearched) {
    for (const std::size_t length : {256u, 257u, 258u, 259u, 260u}) {
        ScratchDir dir;
        const std::u16string sub = directoryOfLength(dir, length, u's');
        dir.create(sub + u"/x.chm");
        SettingsSandbox lib;
        const Outcome out = search(dir.path(), u"x.chm", 400);
        if (length <= 257) {
            EXPECT_TRUE(out.found) << length;
        }
        if (out.found) {
            EXPECT_EQ(out.text, dir.path(sub + u"/x.chm")) << length;
        }
        EXPECT_TRUE(out.guardsIntact);
    }
}

// The result is written whole with its terminator, or not at all; never past the size.
TEST(SearchBounds, ResultThatJustFitsAndJustDoesNot) {
    ScratchDir dir;
    dir.create(u"sub/x.chm");
    const std::size_t need = dir.path(u"sub/x.chm").size() + 1;
    SettingsSandbox lib;
    for (const std::size_t size : {need + 1, need, need - 1, std::size_t{1}, std::size_t{0}}) {
        const Outcome out = search(dir.path(), u"x.chm", size);
        EXPECT_EQ(out.found, size >= need) << size;
        EXPECT_EQ(out.untouched, size < need) << size;
        EXPECT_TRUE(out.guardsIntact) << size;
        if (out.found) {
            EXPECT_EQ(out.text, dir.path(u"sub/x.chm"));
        }
    }
}

TEST(SearchBounds, FindFileHasNoLimit) {
    ScratchDir dir;
    const std::u16string d257 = directoryOfLength(dir, 257, u'd');
    const std::u16string name(200, u'n');
    dir.create(d257 + u"/" + name);
    SettingsSandbox lib;
    std::vector<char16_t> buffer(600, kGuard);
    ASSERT_TRUE(FindFile(tc(dir.path()), tc(name), reinterpret_cast<TavloChar*>(buffer.data())));
    const std::u16string expected = dir.path(d257 + u"/" + name);
    EXPECT_EQ(std::u16string(buffer.data()), expected);
    EXPECT_EQ(buffer[expected.size() + 1], kGuard);
}

TEST(SearchBounds, NullNameLeavesTheBufferAlone) {
    ScratchDir dir;
    dir.create(u"x.chm");
    SettingsSandbox lib;
    const Outcome out = search(dir.path(), nullptr, 300);
    EXPECT_FALSE(out.found);
    EXPECT_TRUE(out.untouched);
}

// --- a listed tree: a fixed order, and attributes a real file system can't give --------------

platform::DirEntry F(const char16_t* name, std::uint32_t bits = attr::normal) {
    return {name, bits};
}
platform::DirEntry D(const char16_t* name, std::uint32_t bits = 0) {
    return {name, attr::directory | bits};
}

struct ListedCase {
    const char* what;
    std::vector<std::pair<std::u16string, std::vector<platform::DirEntry>>> tree;
    const char16_t* found; // null: not found
    Log listed;            // the directories listed, in order
    std::u16string start = u"C:\\R";
};

void PrintTo(const ListedCase& c, std::ostream* os) {
    *os << c.what;
}

const ListedCase kListed[] = {
    {"depth first",
     {{u"C:\\R", {D(u"a"), F(u"x.chm")}}, {u"C:\\R\\a", {F(u"x.chm")}}},
     u"C:\\R\\a\\x.chm",
     {u"C:\\R", u"C:\\R\\a"}},
    {"first match ends the search",
     {{u"C:\\R", {F(u"X.CHM"), D(u"a")}}, {u"C:\\R\\a", {F(u"x.chm")}}},
     u"C:\\R\\x.chm",
     {u"C:\\R"}},
    {"subtree before the next sibling",
     {{u"C:\\R", {D(u"a"), D(u"b")}},
      {u"C:\\R\\a", {D(u"a1")}},
      {u"C:\\R\\a\\a1", {F(u"y.chm")}},
      {u"C:\\R\\b", {F(u"x.chm")}}},
     u"C:\\R\\b\\x.chm",
     {u"C:\\R", u"C:\\R\\a", u"C:\\R\\a\\a1", u"C:\\R\\b"}},
    {"dot-directories skipped though not hidden",
     {{u"C:\\R", {D(u"."), D(u".."), D(u".cache"), D(u"b")}},
      {u"C:\\R\\.cache", {F(u"x.chm")}},
      {u"C:\\R\\b", {F(u"x.chm")}}},
     u"C:\\R\\b\\x.chm",
     {u"C:\\R", u"C:\\R\\b"}},
    {"hidden, system, offline ignored; other bits not",
     {{u"C:\\R",
       {F(u"x.chm", attr::hidden), F(u"x.chm", attr::system), F(u"x.chm", attr::offline),
        D(u"h", attr::hidden), D(u"s", attr::system), D(u"o", attr::offline),
        D(u"j", attr::reparse_point | attr::readonly)}},
      {u"C:\\R\\h", {F(u"x.chm")}},
      {u"C:\\R\\s", {F(u"x.chm")}},
      {u"C:\\R\\o", {F(u"x.chm")}},
      {u"C:\\R\\j", {F(u"x.chm", attr::readonly | 0x20)}}},
     u"C:\\R\\j\\x.chm",
     {u"C:\\R", u"C:\\R\\j"}},
    {"unlistable directory passed over",
     {{u"C:\\R", {D(u"locked"), D(u"b")}}, {u"C:\\R\\b", {F(u"x.chm")}}},
     u"C:\\R\\b\\x.chm",
     {u"C:\\R", u"C:\\R\\locked", u"C:\\R\\b"}},
    {"directory named like the file",
     {{u"C:\\R", {D(u"X.Chm"), F(u"x.chm")}}, {u"C:\\R\\X.Chm", {F(u"x.chm")}}},
     u"C:\\R\\x.chm",
     {u"C:\\R"}},
    {"directory as given, not normalised",
     {{u"C:\\R\\", {F(u"x.chm")}}},
     u"C:\\R\\\\x.chm",
     {u"C:\\R\\"},
     u"C:\\R\\"},
    {"nothing",
     {{u"C:\\R", {F(u"y.chm"), D(u"e")}}, {u"C:\\R\\e", {}}},
     nullptr,
     {u"C:\\R", u"C:\\R\\e"}},
};

class SearchListed : public ::testing::TestWithParam<ListedCase> {};

TEST_P(SearchListed, TakesEntriesInListingOrder) {
    const ListedCase& c = GetParam();
    SettingsSandbox lib;
    Log log;
    ListedFiles files(log);
    files.tree.insert(c.tree.begin(), c.tree.end());
    lib.scope.get().services.files = &files;
    const Outcome out = search(c.start, u"x.chm", 300);
    EXPECT_EQ(out.found, c.found != nullptr);
    EXPECT_EQ(out.text, c.found ? c.found : u"");
    Log expected;
    for (const auto& dir : c.listed)
        expected.push_back(u"list " + dir);
    EXPECT_EQ(log, expected);
    EXPECT_EQ(files.open, 0) << "every listing is closed";
}

INSTANTIATE_TEST_SUITE_P(Listed, SearchListed, ::testing::ValuesIn(kListed));

// --- the application directory, FindHelpPathname, ResolveHelpPath --------------------------

struct Host {
    std::u16string key = kOtherKey;                         // empty: no app key can be found
    std::optional<std::u16string> location = std::nullopt;  // the application directory value
    std::optional<std::u16string> help = std::nullopt;      // the help file setting of the host's
    std::optional<std::u16string> otherHelp = std::nullopt; // the other host's setting
};

// A scratch tree holding Docs/main.chm, and a library whose host is h; "<scratch>" in h's
// texts stands for the scratch directory.
struct HelpHost {
    explicit HelpHost(const Host& h) : lib(h.key) {
        dir.create(u"Docs/main.chm");
        const bool kora = h.key == kKoraKey;
        if (h.location)
            lib.machine(kora ? u"KoraLocation" : u"Location", fill(*h.location));
        if (h.help)
            lib.profile(u"General", kora ? u"KORAHELP" : u"HELP", fill(*h.help));
        if (h.otherHelp)
            lib.profile(u"General", kora ? u"HELP" : u"KORAHELP", fill(*h.otherHelp));
    }
    std::u16string fill(std::u16string text) const {
        const std::u16string mark = u"<scratch>";
        if (const auto at = text.find(mark); at != std::u16string::npos)
            text.replace(at, mark.size(), dir.path());
        return text;
    }
    ScratchDir dir;
    SettingsSandbox lib;
};

const Host kInScratch{kOtherKey, u"<scratch>"};

struct AppDirCase {
    const char* what;
    Host host;
    bool found;
    const char* reports;
};

void PrintTo(const AppDirCase& c, std::ostream* os) {
    *os << c.what;
}

const AppDirCase kAppDirs[] = {
    {"application directory", kInScratch, true, ""},
    {"trailing backslashes removed", {kOtherKey, u"<scratch>\\\\"}, true, ""},
    {"Corvida's value name", {kKoraKey, u"<scratch>"}, true, ""},
    {"empty application directory", {kOtherKey, u""}, false, ""},
    {"application directory not registered", {kOtherKey}, false, "55"},
    {"no app key", {u""}, false, "57"},
};

class SearchAppDirectory : public ::testing::TestWithParam<AppDirCase> {};

TEST_P(SearchAppDirectory, SearchesBelowIt) {
    const AppDirCase& c = GetParam();
    HelpHost h(c.host);
    const Outcome out = search(u"", u"MAIN.chm", 300);
    EXPECT_EQ(out.found, c.found);
    EXPECT_EQ(out.text, c.found ? h.dir.path(u"Docs/MAIN.chm") : u"");
    EXPECT_EQ(h.lib.reportIds(), c.reports);

    std::u16string result = u"before";
    EXPECT_EQ(help::FindHelpPathname(u"MAIN.chm", result), c.found);
    EXPECT_EQ(result, c.found ? h.dir.path(u"Docs/MAIN.chm") : u"MAIN.chm");
}

INSTANTIATE_TEST_SUITE_P(Hosts, SearchAppDirectory, ::testing::ValuesIn(kAppDirs));

TEST(FindHelpPathname, NullOrAbsentNames) {
    HelpHost h(kInScratch);
    std::u16string result = u"before";
    // Through the typed export.
    EXPECT_FALSE(::FindHelpPathname(nullptr, result));
    EXPECT_EQ(result, u"");
    EXPECT_FALSE(::FindHelpPathname(u"absent.chm", result));
    EXPECT_EQ(result, u"absent.chm");
}

struct ResolveCase {
    const char* what;
    Host host;
    const char16_t* name;
    bool resolved;
    std::u16string path;
    const char* reports = "";
};

void PrintTo(const ResolveCase& c, std::ostream* os) {
    *os << c.what;
}

const ResolveCase kResolve[] = {
    {"full pathname, no host needed", {u""}, u"C:\\Docs\\x.chm", true, u"C:\\Docs\\x.chm"},
    {"relative folder", {u""}, u"sub\\x.chm", true, u"sub\\x.chm"},
    {"forward slash", {u""}, u"sub/x.chm", true, u"sub/x.chm"},
    {"drive only", {u""}, u"C:x.chm", true, u"C:x.chm"},
    {"help directory",
     {kOtherKey, {}, u"C:\\Prog\\Help\\main.chm"},
     u"x.chm",
     true,
     u"C:\\Prog\\Help\\x.chm"},
    {"help directory with trailing backslashes",
     {kOtherKey, {}, u"C:\\Prog\\Help\\\\"},
     u"X.CHM",
     true,
     u"C:\\Prog\\Help\\X.CHM"},
    {"Corvida's help setting",
     {kKoraKey, {}, u"D:\\K\\k.chm", u"C:\\O\\o.chm"},
     u"x.chm",
     true,
     u"D:\\K\\x.chm"},
    {"default help directory", {kOtherKey, u"C:\\Prog"}, u"x.chm", true, u"C:\\Prog\\Help\\x.chm"},
    {"no help directory: found in the tree",
     {kOtherKey, u"<scratch>", u"main.chm"},
     u"Main.chm",
     true,
     u"<scratch>\\Docs\\Main.chm"},
    {"no help directory: not in the tree",
     {kOtherKey, u"<scratch>", u"main.chm"},
     u"x.chm",
     false,
     u"x.chm"},
    {"no app key", {u""}, u"x.chm", false, u"", "57"},
};

class ResolveHelpPath : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveHelpPath, GivesAPathname) {
    const ResolveCase& c = GetParam();
    HelpHost h(c.host);
    std::u16string path;
    EXPECT_EQ(help::ResolveHelpPath(c.name, path), c.resolved);
    EXPECT_EQ(path, h.fill(c.path));
    EXPECT_EQ(h.lib.reportIds(), c.reports);
}

INSTANTIATE_TEST_SUITE_P(Names, ResolveHelpPath, ::testing::ValuesIn(kResolve));

struct DefaultCase {
    const char* what;
    Host host;
    std::u16string file;
    const char* reports = "";
};

void PrintTo(const DefaultCase& c, std::ostream* os) {
    *os << c.what;
}

const DefaultCase kDefaults[] = {
    {"file of the setting", {kOtherKey, {}, u"C:\\Prog\\Help\\main.chm"}, u"main.chm"},
    {"Corvida's setting", {kKoraKey, {}, u"C:\\K\\k.chm", u"C:\\O\\o.chm"}, u"k.chm"},
    {"several dots", {kOtherKey, {}, u"C:\\H\\a.b.chm"}, u"a.b.chm"},
    {"no extension", {kOtherKey, {}, u"C:\\H\\main"}, u"main"},
    {"folder only", {kOtherKey, {}, u"C:\\Prog\\Help\\"}, u"Help"},
    {"empty", {kOtherKey, {}, u""}, u""},
    {"drive root", {kOtherKey, {}, u"C:\\"}, u""},
    {"no setting", {kOtherKey, u"C:\\Prog"}, u"Help"},
    {"other host's setting only", {kKoraKey, u"C:\\Prog", {}, u"C:\\O\\o.chm"}, u"Help"},
    {"no setting, no application directory", {kOtherKey}, u"", "55"},
    {"no app key", {u""}, u""},
};

class DefaultHelpFile : public ::testing::TestWithParam<DefaultCase> {};

TEST_P(DefaultHelpFile, NamesTheSettingsFile) {
    const DefaultCase& c = GetParam();
    HelpHost h(c.host);
    EXPECT_EQ(help::GetDefaultHelpFile(), c.file);
    EXPECT_EQ(h.lib.reportIds(), c.reports);
}

INSTANTIATE_TEST_SUITE_P(Settings, DefaultHelpFile, ::testing::ValuesIn(kDefaults));

} // namespace
} // namespace tavlo::test
