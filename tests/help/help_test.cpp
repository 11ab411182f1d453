// Finding help files, on real files and on listed trees of a fixed order, within the bounds of
// paths and of the caller's buffer; showing help through recording help engines; and under Wine
// the real HTML Help control, and a help viewer automation server of the test's own.
#include "settings_sandbox.h"

#include "help/help_search.h"
#include "tavlo/tavlo.hpp"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>
#endif

namespace tavlo::test {
namespace {

namespace attr = platform::attr;
constexpr char16_t kGuard = u'#';

// What FindFilePath leaves in a buffer of `size` units with guards behind it: the text, or
// "untouched" when no unit was written. It reports success exactly when it writes, and never
// writes past the size.
std::u16string search(const std::u16string& directory, const char16_t* name,
                      std::size_t size = 300) {
    std::vector<char16_t> buffer(size + 8, kGuard);
    const bool found = FindFilePath(directory.empty() ? nullptr : tc(directory), tc(name),
                                    reinterpret_cast<TavloChar*>(buffer.data()), size) != 0;
    const std::u16string text = found ? buffer.data() : u"untouched";
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), kGuard),
              std::ptrdiff_t(size + 8 - (found ? text.size() + 1 : 0)));
    return text;
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
        EXPECT_EQ(search(dir.path(), sought), found ? dir.path(found) : u"untouched");
#ifndef _WIN32
    // Below a Unix path the library composes "<directory>\<entry>", which must still descend.
    const std::u16string unixPath = dir.real().u16string();
    EXPECT_EQ(search(unixPath, u"main.chm"), unixPath + u"\\Docs\\main.chm");
#else
    // Hidden and system attributes, as Wine's file system keeps them, keep entries out: files
    // are not matched, a hidden directory is not entered.
    const std::tuple<const char16_t*, const char16_t*, DWORD> marked[] = {
        {u"Hid/h.chm", u"Hid/h.chm", FILE_ATTRIBUTE_HIDDEN},
        {u"Sys/s.chm", u"Sys/s.chm", FILE_ATTRIBUTE_SYSTEM},
        {u"HidDir/i.chm", u"HidDir", FILE_ATTRIBUTE_HIDDEN}};
    for (const auto& [entry, target, bits] : marked) {
        dir.create(entry);
        SetFileAttributesW(dir.real(target).c_str(), bits);
    }
    if (!(GetFileAttributesW(dir.real(u"Hid/h.chm").c_str()) & FILE_ATTRIBUTE_HIDDEN))
        GTEST_SKIP() << "this file system keeps no DOS attributes";
    for (const char16_t* sought : {u"h.chm", u"s.chm", u"i.chm"})
        EXPECT_EQ(search(dir.path(), sought), u"untouched") << "found a marked entry";
#endif
}

platform::DirEntry F(const std::u16string& name, std::uint32_t bits = attr::normal) {
    return {name, bits};
}
platform::DirEntry D(const std::u16string& name, std::uint32_t bits = 0) {
    return {name, attr::directory | bits};
}

// A searched directory has at most 257 characters, so that "<directory>\*" fits 260.
const std::u16string kR = u"C:\\R", kD257 = u"C:\\" + std::u16string(254, u'd');
const std::u16string kS257(252, u's'), kS258(253, u's'); // below C:\R

// The directories a search listed, in order.
Log listed(const std::vector<std::u16string>& directories) {
    Log log;
    for (const std::u16string& directory : directories)
        log.push_back(u"list " + directory);
    return log;
}

// Depth first in listing order, the first match (in the caller's spelling) ending the search:
// dot, hidden, system and offline entries skipped, other bits not; unlistable and empty directories
// passed over; a subdirectory of 258 characters not searched. Directories reached again, each
// listed tree in a fixed order with a link made by giving a directory another's identity: one whose
// search failed is searched again only by a shorter path, where more of it fits. A service that
// tells no identities gets the plain walk. (Directories met below themselves: the hostile link
// trees.)
TEST(SearchListed, DepthFirstUntilTheFirstMatch) {
    using Tree = std::map<std::u16string, ListedFiles::Entries>;
    // deep fits below C:\R\bc (257 characters) but not below C:\R\a\x, one longer.
    const std::u16string a = kR + u"\\a", b = kR + u"\\b", bc = kR + u"\\bc", deep(249, u'd');
    const std::u16string y = kR + u"\\y.chm";
    const ListedFiles::Entries yChm = {F(u"y.chm")};
    // Two links to one directory whose search fails.
    const Tree joined = {{kR, {D(u"a"), D(u"b"), F(u"y.chm")}},
                         {a, {D(u"c")}},
                         {b, {D(u"c")}},
                         {a + u"\\c", {F(u"n")}},
                         {b + u"\\c", {F(u"n")}}};
    const struct {
        const char* what;
        Tree tree;
        std::map<std::u16string, std::u16string> same;
        bool identities;
        std::u16string found;
        std::vector<std::u16string> listed;
    } rows[] = {
        // clang-format off
        {"every rule on one tree",
         {{kR, {D(u"."), D(u".."), D(u".c"), F(u"y.chm", attr::hidden), F(u"y.chm", attr::system),
                F(u"y.chm", attr::offline), D(u"h", attr::hidden), D(u"s", attr::system),
                D(u"o", attr::offline), D(u"locked"), D(u"e"), D(u"a"), D(kS257), D(kS258),
                D(u"j", attr::reparse_point | attr::readonly), D(u"z")}},
          {kR + u"\\e", {}}, {a, {D(u"a1")}}, {a + u"\\a1", {F(u"n.chm")}}, {kR + u"\\" + kS257, {}},
          {kR + u"\\j", {F(u"Y.CHM", attr::readonly | 0x20)}}, {kR + u"\\.c", yChm}, {kR + u"\\h", yChm},
          {kR + u"\\s", yChm}, {kR + u"\\o", yChm}, {kR + u"\\z", yChm}, {kR + u"\\" + kS258, yChm}},
         {}, true, kR + u"\\j\\y.chm",
         {kR, kR + u"\\locked", kR + u"\\e", a, a + u"\\a1", kR + u"\\" + kS257, kR + u"\\j"}},
        {"failed where its subdirectory didn't fit, searched again one character shorter",
         {{kR, {D(u"a"), D(u"bc")}}, {a, {D(u"x")}}, {a + u"\\x", {D(deep)}},
          {bc, {D(deep)}}, {bc + u"\\" + deep, {F(u"y.chm")}}},
         {{a + u"\\x", bc}}, true, bc + u"\\" + deep + u"\\y.chm",
         {kR, a, a + u"\\x", bc, bc + u"\\" + deep}},
        {"two links to one failed directory",
         joined, {{b, a}, {b + u"\\c", a + u"\\c"}}, true, y, {kR, a, a + u"\\c", b}},
        {"the same without identities", joined, {}, false, y, {kR, a, a + u"\\c", b, b + u"\\c"}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SettingsSandbox l;
        l.listFiles().tree = row.tree;
        l.files.same = row.same;
        l.files.identities = row.identities;
        EXPECT_EQ(search(kR, u"y.chm"), row.found) << row.what;
        EXPECT_EQ(l.modules.log, listed(row.listed)) << row.what;
        EXPECT_EQ(l.files.open, 0) << row.what << ": every listing is closed";
    }
}

// The result is written whole with its terminator or not at all, never past the size; FindFile
// has no limit. A start of 257 characters is searched, one of 258 not.
TEST(SearchListed, ResultWrittenWholeOrNotAtAll) {
    SettingsSandbox l;
    const std::u16string name(200, u'n'), found = kD257 + u"\\" + name;
    l.listFiles().tree = {{kD257, {F(name)}}, {kD257 + u"d", {F(name)}}};
    for (const std::size_t size : {found.size() + 1, found.size(), std::size_t{1}, std::size_t{0}})
        EXPECT_EQ(search(kD257, name.c_str(), size), size > found.size() ? found : u"untouched");
    EXPECT_EQ(search(kD257, nullptr), u"untouched");
    std::vector<char16_t> buffer(600, kGuard);
    ASSERT_TRUE(FindFile(tc(kD257), tc(name), reinterpret_cast<TavloChar*>(buffer.data())));
    EXPECT_EQ(std::u16string(buffer.data()), found);
    EXPECT_EQ(buffer[found.size() + 1], kGuard);
    l.modules.log.clear();
    EXPECT_EQ(search(kD257 + u"d", name.c_str()), u"untouched");
    EXPECT_EQ(l.modules.log, Log{});
}

// A library whose host is given by its key (empty: none can be found), application directory and
// help file settings (its own and the other host's), with C:\App\Docs\main.chm listed, and help
// engines that record what they are asked into the modules' log.
struct Host {
    std::u16string key = kOtherKey;
    std::optional<std::u16string> location = {}, help = {}, otherHelp = {};
};

struct HelpLib : SettingsSandbox {
    explicit HelpLib(const Host& h) : SettingsSandbox(h.key) {
        listFiles().tree = {{u"C:\\App", {D(u"Docs")}}, {u"C:\\App\\Docs", {F(u"main.chm")}}};
        const bool kora = h.key == kKoraKey;
        if (h.location)
            machine(kora ? u"KoraLocation" : u"Location", *h.location);
        if (h.help)
            profile(u"General", kora ? u"KORAHELP" : u"HELP", *h.help);
        if (h.otherHelp)
            profile(u"General", kora ? u"HELP" : u"KORAHELP", *h.otherHelp);
        scope.get().services.help = &engines;
    }
    // What the help engines and the control were asked, without discovery's probes for hooks.
    Log calls() const {
        Log shown;
        for (const auto& line : modules.log)
            if (line.find(u"userdata.dll") == std::u16string::npos)
                shown.push_back(line);
        return shown;
    }
    RecordingHelpEngines engines{modules.log};
};

// A name searched for below the application directory (FindHelpPathname agreeing, or giving the
// name back), resolved to a pathname ("unresolved" when that fails), and the default help file's
// name, each with the reports it shows.
TEST(HelpFiles, FoundResolvedOrDefault) {
    enum Finder { Search, Resolve, Default };
    const Host app{kOtherKey, u"C:\\App"}, helpSet{kOtherKey, u"C:\\App", u"C:\\P\\H\\main.chm"},
        bare{kOtherKey, u"C:\\App", u"main.chm"}, none{u""};
    // clang-format off
    const std::tuple<Finder, Host, const char16_t*, std::u16string, const char*> rows[] = {
        {Search, app, u"MAIN.chm", u"C:\\App\\Docs\\MAIN.chm", ""},
        {Search, {kOtherKey}, u"MAIN.chm", u"untouched", "55"},
        {Search, none, u"MAIN.chm", u"untouched", "57"},
        {Resolve, none, u"sub/x.chm", u"sub/x.chm", ""},
        {Resolve, none, u"C:x.chm", u"C:x.chm", ""},
        {Resolve, helpSet, u"X.CHM", u"C:\\P\\H\\X.CHM", ""},
        {Resolve, bare, u"Main.chm", u"C:\\App\\Docs\\Main.chm", ""},
        {Resolve, bare, u"x.chm", u"unresolved x.chm", ""},
        {Resolve, none, u"x.chm", u"unresolved ", "57"},
        {Default, {kOtherKey, {}, u"C:\\H\\main.chm", u"C:\\K\\k.chm"}, nullptr, u"main.chm", ""},
        {Default, {kKoraKey, {}, u"C:\\K\\k.chm", u"C:\\O\\o.chm"}, nullptr, u"k.chm", ""},
        {Default, {kOtherKey, {}, u"C:\\H\\main"}, nullptr, u"main", ""},
        {Default, {kOtherKey, {}, u"C:\\"}, nullptr, u"", ""},
        {Default, {kOtherKey, u"C:\\Prog"}, nullptr, u"Help", ""}, // the default: the help directory
        {Default, {kOtherKey}, nullptr, u"", "55"},
        {Default, none, nullptr, u"", ""},
    };
    // clang-format on
    for (const auto& [finder, host, name, expected, reports] : rows) {
        HelpLib h(host);
        std::u16string result;
        if (finder == Search)
            result = search(u"", name);
        else if (finder == Resolve)
            result = help::ResolveHelpPath(name, result) ? result : u"unresolved " + result;
        else
            result = help::GetDefaultHelpFile();
        EXPECT_EQ(result, expected);
        EXPECT_EQ(h.reportIds(), reports);
        if (finder != Search)
            continue;
        std::u16string pathname = u"before";
        EXPECT_EQ(help::FindHelpPathname(name, pathname), result != u"untouched");
        EXPECT_EQ(pathname, result != u"untouched" ? result : name);
    }
    std::u16string result = u"before";
    EXPECT_FALSE(::FindHelpPathname(nullptr, result)); // through the typed export
    EXPECT_EQ(result, u"");
}

std::uintptr_t P(const char16_t* text) {
    return reinterpret_cast<std::uintptr_t>(text);
}

void* const kWindow = reinterpret_cast<void*>(7);
const std::u16string kHlp = u"C:\\H\\m.hlp";
const char16_t* const kChm = u"C:\\H\\Main.chm";
const Host kShown{kOtherKey, {}, kHlp}; // the help file setting is C:\H\m.hlp

// Command 0 forces the file, then jumps by macro: only the jump's answer counts.
TEST(DoHelp, CallsWindowsHelp) {
    const std::u16string force = u"help 7 " + kHlp + u" 9 0", run = u"help 7 " + kHlp + u" 258 ";
    const std::u16string jump = run + u"JumpId(\"C:/H/m.hlp\", \"T\")", sub = u"help 7 S\\M.HLP ";
    const std::u16string subJump = sub + u"258 JumpId(\"S/M.HLP\", \"T\")";
    const std::tuple<std::u16string, std::uintptr_t, std::uint32_t, std::vector<bool>, bool, Log>
        rows[] = {
            {kHlp, P(u"T"), 0, {false, true}, true, {force, jump}},
            {kHlp, P(u"T"), 0, {true, false}, false, {force, jump}},
            {u"S\\M.HLP", P(u"T"), 0, {}, true, {sub + u"9 0", subJump}},
            {kHlp, P(u"M()"), 0x102, {false, true}, true, {force, run + u"M()"}},
            {kHlp, 42, 1, {}, true, {u"help 7 " + kHlp + u" 1 42"}},
            {kHlp, 0, 2, {false}, false, {u"help 7 " + kHlp + u" 2 0"}},
            {kHlp, 0, 9, {}, true, {force}},
        };
    for (const auto& [file, data, command, answers, result, calls] : rows) {
        HelpLib d(kShown);
        d.engines.winHelpAnswers = answers;
        EXPECT_EQ(_DoHelp(kWindow, tc(file), data, command), result ? 1 : 0);
        EXPECT_EQ(d.calls(), calls);
    }
    HelpLib hostless({u""});
    EXPECT_EQ(_DoHelp(kWindow, tc(u"x.hlp"), P(u"T"), 0), 0);
    EXPECT_EQ(hostless.calls(), Log{});
    EXPECT_EQ(hostless.reportIds(), "57");
}

// The macro lives in 512 characters: JumpId(" (8), the pathname while two characters are free,
// then ", "<topic>") (6 + topic) within what is left. It is never longer than 511.
TEST(DoHelp, JumpMacroStaysInsideItsBuffer) {
    const std::pair<std::size_t, std::size_t> rows[] = {{400, 97}, {400, 98}, {497, 0}, {498, 0},
                                                        {502, 3},  {503, 3},  {504, 3}, {700, 3}};
    for (const auto& [length, topicLength] : rows) {
        // A pathname of `length` characters with a drive, so that it is used as it is.
        const std::size_t folder = std::min<std::size_t>(250, length - 7);
        const std::size_t name = std::min<std::size_t>(250, length - 6 - folder);
        const std::u16string pathname = u"C:\\" + std::u16string(folder, u'f') + u"\\" +
                                        std::u16string(name, u'n') + u"." +
                                        std::u16string(length - 5 - folder - name, u'e');
        const std::u16string topic(topicLength, u't');
        HelpLib d(kShown);
        _DoHelp(kWindow, tc(pathname), P(topic.c_str()), 0);
        const std::u16string prefix = u"help 7 " + pathname + u" 258 ";
        ASSERT_EQ(d.calls().size(), 2u);
        ASSERT_EQ(d.calls()[1].substr(0, prefix.size()), prefix);
        const std::u16string macro = d.calls()[1].substr(prefix.size());
        std::u16string whole = u"JumpId(\"" + pathname + u"\", \"" + topic + u"\")";
        std::replace(whole.begin(), whole.end(), u'\\', u'/');
        EXPECT_LE(macro.size(), 511u) << length << " " << topicLength;
        // Only the pathname's share of a macro that doesn't fit is fixed.
        const std::size_t fixed = std::min<std::size_t>(8 + length, 511);
        EXPECT_EQ(macro.substr(0, fixed), whole.substr(0, fixed));
        if (whole.size() <= 511) {
            EXPECT_EQ(macro, whole) << length << " " << topicLength;
        }
    }
}

// The pathname is lower-cased, the topic not; only command 0 with a topic shows a page.
TEST(DoHtmlHelp, TargetsGoToTheViewer) {
    const Host noHelpFile{kOtherKey, {}, u""}, none{u""};
    // Host, file, topic, command, the target shown (empty: nothing shown), reports.
    // clang-format off
    const std::tuple<Host, const char16_t*, const char16_t*, std::int32_t, std::u16string, const char*> rows[] = {
        {kShown, kChm, u"Intro", 0, u"c:\\h\\main.chm::/Intro.htm", ""},
        {kShown, kChm, u"Intro", 1, u"c:\\h\\main.chm", ""},
        {kShown, kChm, u"", 0, u"c:\\h\\main.chm", ""},
        {kShown, kChm, nullptr, 0, u"c:\\h\\main.chm", ""},
        {kShown, nullptr, u"A/B", 0, u"c:\\h\\m.hlp::/A/B.htm", ""}, // the default help file
        {kShown, u"C:\\\u00c4RGER\\X.CHM", nullptr, 1, u"c:\\\u00e4rger\\x.chm", ""},
        {noHelpFile, nullptr, u"T", 0, u"", ""},
        {none, u"x.chm", u"T", 0, u"", "57"}, // a bare name needs the host
    };
    // clang-format on
    for (const auto& [host, file, topic, command, target, reports] : rows) {
        HelpLib d(host);
        EXPECT_EQ(_DoHtmlHelp(tc(file), tc(topic), command), target.empty() ? 0 : 1);
        EXPECT_EQ(d.calls(), (target.empty() ? Log{} : Log{u"create", u"invoke 1 " + target}));
        EXPECT_EQ(d.reportIds(), reports);
    }
}

// The connection lives until command 2 or a failed call, which drops it without a release.
TEST(DoHtmlHelp, ViewerConnectionLife) {
    const std::u16string t = u" c:\\h\\main.chm";
    const std::tuple<std::int32_t, bool, Log> steps[] = {
        {2, false, {}},
        {1, false, {u"create", u"invoke 1" + t}},
        {0, false, {u"invoke 1" + t}},
        {2, false, {u"release 1"}},
        {2, false, {}},
        {1, false, {u"create", u"invoke 2" + t}},
        {1, true, {u"invoke 2" + t}},
        {1, false, {u"create", u"invoke 3" + t}},
        {2, false, {u"release 3"}},
    };
    HelpLib d(kShown);
    for (const auto& [command, fails, calls] : steps) {
        d.modules.log.clear();
        d.engines.invokeFails = fails;
        EXPECT_EQ(_DoHtmlHelp(tc(kChm), nullptr, command), 1);
        EXPECT_EQ(d.calls(), calls) << command;
    }
}

const char16_t* const kControlKey =
    u"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

// Without a viewer: the registered control (its server key's default value, of any type, not
// expanded, within 260 bytes' worth), else hhctrl.ocx; loaded once for the process and never
// freed, and a load that failed never tried again.
TEST(DoHtmlHelp, HtmlHelpControl) {
    const std::u16string show = u"html desktop c:\\h\\main.chm::/Intro.htm 0 0", hh = u"C:\\hh.ocx";
    const std::u16string p259 = u"C:\\" + std::u16string(252, u'h') + u".ocx";
    const std::u16string p260 = u"C:\\" + std::u16string(253, u'h') + u".ocx";
    // EntryLater: the control lacks the entry point at first; it is kept, and the entry point is
    // looked up again.
    enum Mode { Shows, NoWindow, EntryLater };
    // clang-format off
    const std::tuple<std::optional<std::u16string>, std::uint32_t, Log, Mode, Log> rows[] = {
        {hh, regtype::sz, {hh, u"hhctrl.ocx"}, Shows, {u"load " + hh, show}},
        {u"C:\\Gone.ocx", regtype::sz, {u"hhctrl.ocx"}, Shows, {u"load C:\\Gone.ocx: none", u"load hhctrl.ocx", show}},
        {{}, 0, {u"hhctrl.ocx"}, Shows, {u"load hhctrl.ocx", show}},
        {u"%S%\\h.ocx", regtype::expand_sz, {u"%S%\\h.ocx"}, Shows, {u"load %S%\\h.ocx", show}},
        {p259, regtype::sz, {p259, u"hhctrl.ocx"}, Shows, {u"load " + p259, show}},
        {p260, regtype::sz, {p260, u"hhctrl.ocx"}, Shows, {u"load hhctrl.ocx", show}},
        {{}, 0, {u"hhctrl.ocx"}, NoWindow, {u"load hhctrl.ocx", show}}, // no window: failure
        {hh, regtype::sz, {}, Shows, {u"load " + hh + u": none", u"load hhctrl.ocx: none"}},
        {{}, 0, {u"hhctrl.ocx"}, EntryLater, {u"load hhctrl.ocx"}},
    };
    // clang-format on
    for (const auto& [registered, type, controls, mode, calls] : rows) {
        HelpLib d(kShown);
        d.engines.viewerAvailable = false;
        // A path of 260 characters is stored without its terminator, so that it fits what is
        // read and only its length keeps it out.
        if (registered)
            d.scratch.setRaw(Root::ClassesRoot, kControlKey, nullptr, type,
                             utf16Bytes(*registered, registered->size() < 260));
        const auto entries = [&](void* entry) {
            for (const auto& name : controls)
                d.modules.add(name).ordinals[15] = entry;
        };
        entries(mode == EntryLater ? nullptr : FakeModules::htmlHelpEntry);
        if (mode == NoWindow)
            d.modules.htmlWindow = nullptr;
        const bool loaded = !controls.empty();
        EXPECT_EQ(_DoHtmlHelp(tc(kChm), tc(u"Intro"), 0), loaded && mode == Shows ? 1 : 0);
        Log expected{u"create: none"};
        expected.insert(expected.end(), calls.begin(), calls.end());
        EXPECT_EQ(d.calls(), expected);
        d.modules.log.clear();
        entries(FakeModules::htmlHelpEntry);
        EXPECT_EQ(_DoHtmlHelp(tc(kChm), tc(u"Intro"), 0), loaded && mode != NoWindow ? 1 : 0);
        EXPECT_EQ(d.calls(), (loaded ? Log{u"create: none", show} : Log{u"create: none"}));
    }
}

#ifdef _WIN32

// The build's own help engines and loader, every load logged.
struct RealHelp : SettingsSandbox {
    RealHelp() {
        modules.passThrough = true;
        scope.get().services.help = platform::defaultServices().help;
    }
};

// COM isn't initialised on this thread, so no viewer can be made and the control is used. The
// help file doesn't exist, so the control opens no window: the test checks only that the control
// and its Unicode entry point (ordinal 15) were found, registered, registered but missing, or not.
TEST(RealHtmlHelpControl, LoadsTheControlAndItsEntryPoint) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::u16string control =
        reinterpret_cast<char16_t*>(system) + std::u16string(u"\\hhctrl.ocx");
    const std::pair<std::u16string, Log> rows[] = {
        {control, {u"load " + control}},
        {u"C:\\nowhere\\hh.ocx", {u"load C:\\nowhere\\hh.ocx: none", u"load hhctrl.ocx"}},
        {u"", {u"load hhctrl.ocx"}},
    };
    for (const auto& [registered, loads] : rows) {
        RealHelp h;
        if (!registered.empty())
            h.scratch.setString(Root::ClassesRoot, kControlKey, nullptr, registered);
        _DoHtmlHelp(tc(u"C:\\nowhere\\x.chm"), tc(u"T"), 0);
        EXPECT_EQ(h.modules.log, loads);
        EXPECT_FALSE(h.scope.get().htmlHelpFailed);
        EXPECT_NE(h.scope.get().htmlHelpEntry, nullptr);
        EXPECT_EQ(h.scope.get().htmlHelpEntry, reinterpret_cast<void*>(GetProcAddress(
                                                   GetModuleHandleW(L"hhctrl.ocx"), "HtmlHelpW")));
    }
}

const CLSID kViewerClass = {
    0xB39E0A42, 0xB1C0, 0x11D3, {0xA9, 0x67, 0x00, 0x60, 0xB0, 0xEF, 0x5B, 0x11}};

struct ServerLog {
    Log calls;
    bool fail = false;
    int made = 0;
};

// Records each call as "call <object> id <dispid> flags <flags> args <n> named <n> <target>
// <integer>" (" result" appended when a result was asked for), and "gone <object>" when the
// last reference is released. It is its own class factory, which COM never releases for good.
class Viewer final : public IDispatch, public IClassFactory {
public:
    Viewer(ServerLog& log, int id) : log_(log), id_(id) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = IsEqualIID(iid, IID_IClassFactory)
                   ? static_cast<void*>(static_cast<IClassFactory*>(this))
               : IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)
                   ? static_cast<void*>(static_cast<IDispatch*>(this))
                   : nullptr;
        return *out ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (--refs_ != 0)
            return refs_;
        log_.calls.push_back(u"gone " + decimal(id_));
        delete this;
        return 0;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        std::u16string line = u"call " + decimal(id_) + u" id " + decimal(member) + u" flags " +
                              decimal(flags) + u" args " + decimal(params->cArgs) + u" named " +
                              decimal(params->cNamedArgs);
        if (params->cArgs == 2 && params->rgvarg[1].vt == VT_BSTR && params->rgvarg[0].vt == VT_I4)
            line += u" " + std::u16string(reinterpret_cast<char16_t*>(params->rgvarg[1].bstrVal)) +
                    u" " + decimal(static_cast<std::uint32_t>(params->rgvarg[0].lVal));
        log_.calls.push_back(result ? line + u" result" : line);
        return log_.fail ? DISP_E_EXCEPTION : S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* object = new Viewer(log_, ++log_.made);
        const HRESULT result = object->QueryInterface(iid, out);
        object->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ServerLog& log_;
    int id_;
    ULONG refs_ = 1;
};

// The object whose call failed is forgotten, not released; the next call makes a new one.
TEST(HelpViewerServer, ReceivesTargetsAndIsMadeAgainAfterAFailure) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ServerLog server;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kViewerClass,
                                    static_cast<IClassFactory*>(new Viewer(server, 0)),
                                    CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    {
        RealHelp h;
        const std::u16string call = u" id 1 flags 1 args 2 named 0 c:\\prog\\help\\main.chm";
        const std::tuple<const char16_t*, std::int32_t, bool, Log> steps[] = {
            {u"Intro", 0, false, {u"call 1" + call + u"::/Intro.htm 0"}},
            {u"Intro", 1, false, {u"call 1" + call + u" 0"}},
            {nullptr, 0, true, {u"call 1" + call + u" 0"}},
            {nullptr, 0, false, {u"call 2" + call + u" 0"}},
            {nullptr, 2, false, {u"gone 2"}},
            {nullptr, 2, false, {}},
        };
        for (const auto& [topic, command, fail, calls] : steps) {
            server.calls.clear();
            server.fail = fail;
            EXPECT_EQ(_DoHtmlHelp(tc(u"C:\\Prog\\Help\\Main.chm"), tc(topic), command), 1);
            EXPECT_EQ(server.calls, calls) << command;
        }
        EXPECT_EQ(h.modules.log, Log{}) << "the control is never needed";
        server.calls.clear();
    }
    EXPECT_EQ(server.calls, Log{}) << "the forgotten object is never released";
    CoRevokeClassObject(cookie);
    CoUninitialize();
}

#endif

} // namespace
} // namespace tavlo::test
