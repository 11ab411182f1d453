// Finding help files: the search on real files and on a listed tree whose order is fixed, the
// bounds of paths and of the caller's buffer, and a help file name turned into a pathname.
#include "help_stand_ins.h"
#include "settings_sandbox.h"

#include "help/help_search.h"
#include "tavlo/tavlo.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include <algorithm>
#include <optional>

namespace tavlo::test {
namespace {

namespace attr = platform::attr;
constexpr char16_t kGuard = u'#';

const TavloChar* tc(const std::u16string& text) {
    return reinterpret_cast<const TavloChar*>(text.c_str());
}

// What FindFilePath leaves in a buffer of `size` units with guards behind it: the text, or
// "untouched" when no unit was written.
struct Outcome {
    bool found;
    std::u16string text;
    bool guardsIntact;
};

Outcome search(const std::u16string& directory, const char16_t* name, std::size_t size = 300) {
    std::vector<char16_t> buffer(size + 8, kGuard);
    const bool found = FindFilePath(directory.empty() ? nullptr : tc(directory),
                                    reinterpret_cast<const TavloChar*>(name),
                                    reinterpret_cast<TavloChar*>(buffer.data()), size) != 0;
    const auto guard = [](char16_t c) { return c == kGuard; };
    const bool untouched = std::all_of(buffer.begin(), buffer.begin() + size, guard);
    return {found, untouched ? u"untouched" : std::u16string(buffer.data()),
            std::all_of(buffer.begin() + size, buffer.end(), guard)};
}

// Names are compared whole and case-blind, non-ASCII included, and returned as the caller spelt
// them; dot-directories are not entered.
TEST(SearchFiles, OnARealTree) {
    ScratchDir dir;
    for (const char16_t* entry : {u"Docs/main.chm", u"Dok/\u00c4rger.chm", u"R.2/a.b.c", u".h/y.c"})
        dir.create(entry);
    SettingsSandbox lib;
    const std::pair<const char16_t*, const char16_t*> rows[] = {
        {u"MAIN.CHM", u"Docs/MAIN.CHM"},
        {u"\u00e4RGER.CHM", u"Dok/\u00e4RGER.CHM"},
        {u"A.B.C", u"R.2/A.B.C"},
        {u"y.c", nullptr},
        {u"main", nullptr},
        {u"main.ch", nullptr}};
    for (const auto& [sought, found] : rows)
        EXPECT_EQ(search(dir.path(), sought).text, found ? dir.path(found) : u"untouched");
#ifndef _WIN32
    // Below a Unix path the library composes "<directory>\<entry>", which must still descend; a
    // link that loops back ends at the length limit.
    std::filesystem::create_directory_symlink(".", dir.real(u"Docs/loop"));
    const std::u16string unixPath = dir.real().u16string();
    EXPECT_EQ(search(unixPath, u"main.chm").text, unixPath + u"\\Docs\\main.chm");
    EXPECT_EQ(search(dir.path(), u"z.chm").text, u"untouched");
#else
    // Real hidden and system attributes, as Wine's file system reports them, keep entries out:
    // files are not matched, a hidden directory is not entered.
    const std::pair<const char16_t*, DWORD> marked[] = {
        {u"Hid/h.chm", FILE_ATTRIBUTE_HIDDEN},
        {u"Sys/s.chm", FILE_ATTRIBUTE_SYSTEM},
        {u"HidDir/i.chm", 0}};
    for (const auto& [entry, bits] : marked)
        dir.create(entry);
    for (const auto& [entry, bits] : marked)
        if (bits)
            SetFileAttributesW(dir.real(entry).c_str(), bits);
    SetFileAttributesW(dir.real(u"HidDir").c_str(), FILE_ATTRIBUTE_HIDDEN);
    if (!(GetFileAttributesW(dir.real(u"Hid/h.chm").c_str()) & FILE_ATTRIBUTE_HIDDEN))
        GTEST_SKIP() << "this file system keeps no DOS attributes";
    for (const char16_t* sought : {u"h.chm", u"s.chm", u"i.chm"})
        EXPECT_EQ(search(dir.path(), sought).text, u"untouched") << "found a marked entry";
#endif
}

platform::DirEntry F(const std::u16string& name, std::uint32_t bits = attr::normal) {
    return {name, bits};
}
platform::DirEntry D(const std::u16string& name, std::uint32_t bits = 0) {
    return {name, attr::directory | bits};
}

struct Listed {
    explicit Listed(std::u16string key = kOtherKey) : lib(std::move(key)) {
        lib.scope.get().services.files = &files;
    }
    SettingsSandbox lib;
    Log log;
    ListedFiles files{log};
};

// A searched directory has at most 257 characters, so that "<directory>\*" fits 260.
const std::u16string kR = u"C:\\R", kD257 = u"C:\\" + std::u16string(254, u'd');
const std::u16string kS257(252, u's'), kS258(253, u's'); // below C:\R

// One tree for every rule: dot, hidden, system and offline entries skipped, other bits not;
// unlistable and empty directories passed over; a subdirectory of 258 characters not searched;
// depth first in listing order; the first match (in the caller's spelling) ends the search.
TEST(SearchListed, DepthFirstInListingOrderUntilTheFirstMatch) {
    Listed l;
    l.files.tree = {{kR,
                     {D(u"."), D(u".."), D(u".c"), F(u"x.chm", attr::hidden),
                      F(u"x.chm", attr::system), F(u"x.chm", attr::offline), D(u"h", attr::hidden),
                      D(u"s", attr::system), D(u"o", attr::offline), D(u"locked"), D(u"e"), D(u"a"),
                      D(kS257), D(kS258), D(u"j", attr::reparse_point | attr::readonly), D(u"z")}},
                    {kR + u"\\e", {}},
                    {kR + u"\\a", {D(u"a1")}},
                    {kR + u"\\a\\a1", {F(u"y.chm")}},
                    {kR + u"\\" + kS257, {}},
                    {kR + u"\\j", {F(u"X.CHM", attr::readonly | 0x20)}}};
    for (const std::u16string d : {u".c", u"h", u"s", u"o", u"z", kS258.c_str()})
        l.files.tree[kR + u"\\" + d] = {F(u"x.chm")};
    EXPECT_EQ(search(kR, u"x.chm").text, kR + u"\\j\\x.chm");
    Log listed;
    for (const auto& d : std::vector<std::u16string>{u"", u"\\locked", u"\\e", u"\\a", u"\\a\\a1",
                                                     u"\\" + kS257, u"\\j"})
        listed.push_back(u"list " + kR + d);
    EXPECT_EQ(l.log, listed);
    EXPECT_EQ(l.files.open, 0) << "every listing is closed";
}

// The result is written whole with its terminator or not at all, never past the size; FindFile
// has no limit. A start of 257 characters is searched, one of 258 not.
TEST(SearchListed, ResultWrittenWholeOrNotAtAll) {
    Listed l;
    const std::u16string name(200, u'n'), found = kD257 + u"\\" + name;
    l.files.tree = {{kD257, {F(name)}}, {kD257 + u"d", {F(name)}}};
    for (const std::size_t size :
         {found.size() + 1, found.size(), std::size_t{1}, std::size_t{0}}) {
        const Outcome out = search(kD257, name.c_str(), size);
        EXPECT_EQ(out.found, size > found.size()) << size;
        EXPECT_EQ(out.text, size > found.size() ? found : u"untouched") << size;
        EXPECT_TRUE(out.guardsIntact) << size;
    }
    EXPECT_EQ(search(kD257, nullptr).text, u"untouched");
    std::vector<char16_t> buffer(600, kGuard);
    ASSERT_TRUE(FindFile(tc(kD257), tc(name), reinterpret_cast<TavloChar*>(buffer.data())));
    EXPECT_EQ(std::u16string(buffer.data()), found);
    EXPECT_EQ(buffer[found.size() + 1], kGuard);
    l.log.clear();
    EXPECT_EQ(search(kD257 + u"d", name.c_str()).text, u"untouched");
    EXPECT_EQ(l.log, Log{});
}

// A library whose host is given by its key, application directory and help file settings (its
// own and the other host's), with C:\App\Docs\main.chm listed.
struct Host {
    std::u16string key = kOtherKey; // empty: no app key can be found
    std::optional<std::u16string> location = {}, help = {}, otherHelp = {};
};

struct HelpHost : Listed {
    explicit HelpHost(const Host& h) : Listed(h.key) {
        files.tree = {{u"C:\\App", {D(u"Docs")}}, {u"C:\\App\\Docs", {F(u"main.chm")}}};
        const bool kora = h.key == kKoraKey;
        if (h.location)
            lib.machine(kora ? u"KoraLocation" : u"Location", *h.location);
        if (h.help)
            lib.profile(u"General", kora ? u"KORAHELP" : u"HELP", *h.help);
        if (h.otherHelp)
            lib.profile(u"General", kora ? u"HELP" : u"KORAHELP", *h.otherHelp);
    }
};

TEST(SearchAppDirectory, SearchesBelowIt) {
    const struct {
        Host host;
        bool found;
        const char* reports;
    } rows[] = {
        {{kOtherKey, u"C:\\App"}, true, ""},
        {{kOtherKey, u""}, false, ""},
        {{kOtherKey}, false, "55"},
        {{u""}, false, "57"},
    };
    for (const auto& row : rows) {
        HelpHost h(row.host);
        const std::u16string found = u"C:\\App\\Docs\\MAIN.chm";
        EXPECT_EQ(search(u"", u"MAIN.chm").text, row.found ? found : u"untouched");
        EXPECT_EQ(h.lib.reportIds(), row.reports);
        std::u16string result = u"before";
        EXPECT_EQ(help::FindHelpPathname(u"MAIN.chm", result), row.found);
        EXPECT_EQ(result, row.found ? found : u"MAIN.chm");
        EXPECT_FALSE(::FindHelpPathname(nullptr, result)); // through the typed export
        EXPECT_EQ(result, u"");
    }
}

TEST(ResolveHelpPath, GivesAPathname) {
    const Host helpSet{kOtherKey, u"C:\\App", u"C:\\P\\H\\main.chm"},
        bare{kOtherKey, u"C:\\App", u"main.chm"};
    const struct {
        Host host;
        const char16_t* name;
        std::u16string path; // "unresolved" when false is returned
        const char* reports;
    } rows[] = {
        {{u""}, u"C:\\Docs\\x.chm", u"C:\\Docs\\x.chm", ""},
        {{u""}, u"sub/x.chm", u"sub/x.chm", ""},
        {{u""}, u"C:x.chm", u"C:x.chm", ""},
        {helpSet, u"X.CHM", u"C:\\P\\H\\X.CHM", ""},
        {bare, u"Main.chm", u"C:\\App\\Docs\\Main.chm", ""},
        {bare, u"x.chm", u"unresolved x.chm", ""},
        {{u""}, u"x.chm", u"unresolved ", "57"},
    };
    for (const auto& row : rows) {
        HelpHost h(row.host);
        std::u16string path;
        const bool resolved = help::ResolveHelpPath(row.name, path);
        EXPECT_EQ(resolved ? path : u"unresolved " + path, row.path);
        EXPECT_EQ(h.lib.reportIds(), row.reports);
    }
}

TEST(DefaultHelpFile, NamesTheSettingsFile) {
    const struct {
        Host host;
        std::u16string file;
        const char* reports;
    } rows[] = {
        {{kOtherKey, {}, u"C:\\H\\main.chm", u"C:\\K\\k.chm"}, u"main.chm", ""},
        {{kKoraKey, {}, u"C:\\K\\k.chm", u"C:\\O\\o.chm"}, u"k.chm", ""},
        {{kOtherKey, {}, u"C:\\H\\main"}, u"main", ""},
        {{kOtherKey, {}, u"C:\\"}, u"", ""},
        {{kOtherKey, u"C:\\Prog"}, u"Help", ""}, // the default: the help directory
        {{kOtherKey}, u"", "55"},
        {{u""}, u"", ""},
    };
    for (const auto& row : rows) {
        HelpHost h(row.host);
        EXPECT_EQ(help::GetDefaultHelpFile(), row.file);
        EXPECT_EQ(h.lib.reportIds(), row.reports);
    }
}

} // namespace
} // namespace tavlo::test
