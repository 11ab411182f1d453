// Showing help through recording engines: the Windows Help calls of each command and the jump
// macro, the targets handed to the help viewer and the life of its connection, and the HTML
// Help control found through its registration or by name.
#include "help_stand_ins.h"
#include "settings_sandbox.h"

#include "frame/state.h"
#include "tavlo/tavlo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace tavlo::test {
namespace {

const TavloChar* tc(const char16_t* text) {
    return reinterpret_cast<const TavloChar*>(text);
}

const std::u16string kControlKey = u"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
void* const kWindow = reinterpret_cast<void*>(7);

// A library whose help file setting is C:\Prog\Help\main.hlp, with recording help engines and
// modules (the resource module among them) that write into one log.
struct Display {
    explicit Display(std::u16string key = kOtherKey)
        : lib(std::move(key)), engines(log), modules(log) {
        if (!lib.key.empty())
            lib.profile(u"General", u"HELP", u"C:\\Prog\\Help\\main.hlp");
        modules.passThrough = false;
        modules.add(u"tavlo9Res.dll").strings = lib.modules.strings;
        frame::LibraryState& state = lib.scope.get();
        state.resourceModule = modules.handleOf(u"tavlo9Res.dll");
        state.services.help = &engines;
        state.services.modules = &modules;
    }
    // What the help engines and the control were asked, without discovery's probes for hooks.
    Log calls() const {
        Log shown;
        for (const auto& line : log)
            if (line.find(u"userdata.dll") == std::u16string::npos)
                shown.push_back(line);
        return shown;
    }
    // A control module answering by ordinal 15.
    void control(const std::u16string& name) {
        modules.add(name).ordinals[15] = FakeModules::htmlHelpEntry();
    }

    SettingsSandbox lib;
    Log log;
    RecordingHelpEngines engines;
    FakeModules modules;
};

// --- _DoHelp -----------------------------------------------------------------------------------

struct HelpCase {
    const char* what;
    const char16_t* file;
    const char16_t* text; // data points to it when given
    std::uintptr_t number;
    std::uint32_t command;
    std::vector<bool> answers;
    bool result;
    Log calls;
    std::u16string key = kOtherKey;
};

void PrintTo(const HelpCase& c, std::ostream* os) {
    *os << c.what;
}

const std::u16string kMain = u"C:\\Prog\\Help\\main.hlp";
const std::u16string kForce = u"help 7 " + kMain + u" 9 0";

const HelpCase kHelp[] = {
    {"jump to a topic id",
     kMain.c_str(),
     u"IDH_PLOT",
     0,
     0,
     {},
     true,
     {kForce, u"help 7 " + kMain + u" 258 JumpId(\"C:/Prog/Help/main.hlp\", \"IDH_PLOT\")"}},
    {"jump: the forced file's failure ignored",
     kMain.c_str(),
     u"T",
     0,
     0,
     {false, true},
     true,
     {kForce, u"help 7 " + kMain + u" 258 JumpId(\"C:/Prog/Help/main.hlp\", \"T\")"}},
    {"jump: the jump's failure counts",
     kMain.c_str(),
     u"T",
     0,
     0,
     {true, false},
     false,
     {kForce, u"help 7 " + kMain + u" 258 JumpId(\"C:/Prog/Help/main.hlp\", \"T\")"}},
    {"jump keeps the pathname's case",
     u"c:\\PROG/Help\\Main.HLP",
     u"Idh_A",
     0,
     0,
     {},
     true,
     {u"help 7 c:\\PROG/Help\\Main.HLP 9 0",
      u"help 7 c:\\PROG/Help\\Main.HLP 258 JumpId(\"c:/PROG/Help/Main.HLP\", \"Idh_A\")"}},
    {"jump in the help directory",
     u"Other.HLP",
     u"T",
     0,
     0,
     {},
     true,
     {u"help 7 C:\\Prog\\Help\\Other.HLP 9 0",
      u"help 7 C:\\Prog\\Help\\Other.HLP 258 JumpId(\"C:/Prog/Help/Other.HLP\", \"T\")"}},
    {"jump with a relative folder",
     u"sub\\x.hlp",
     u"T",
     0,
     0,
     {},
     true,
     {u"help 7 sub\\x.hlp 9 0", u"help 7 sub\\x.hlp 258 JumpId(\"sub/x.hlp\", \"T\")"}},
    {"caller's macro",
     kMain.c_str(),
     u"CloseWindow(`main')",
     0,
     0x102,
     {},
     true,
     {kForce, u"help 7 " + kMain + u" 258 CloseWindow(`main')"}},
    {"caller's macro fails",
     kMain.c_str(),
     u"M()",
     0,
     0x102,
     {true, false},
     false,
     {kForce, u"help 7 " + kMain + u" 258 M()"}},
    {"context", kMain.c_str(), nullptr, 42, 1, {}, true, {u"help 7 " + kMain + u" 1 42"}},
    {"quit fails", kMain.c_str(), nullptr, 0, 2, {false}, false, {u"help 7 " + kMain + u" 2 0"}},
    {"forcing the file is one call", kMain.c_str(), nullptr, 0, 9, {}, true, {kForce}},
    {"unresolvable", u"x.hlp", u"T", 0, 0, {}, false, {}, u""},
};

class DoHelp : public ::testing::TestWithParam<HelpCase> {};

TEST_P(DoHelp, CallsWindowsHelp) {
    const HelpCase& c = GetParam();
    Display d(c.key);
    d.engines.winHelpAnswers = c.answers;
    const std::uintptr_t data = c.text ? reinterpret_cast<std::uintptr_t>(c.text) : c.number;
    EXPECT_EQ(_DoHelp(kWindow, tc(c.file), data, c.command), c.result ? 1 : 0);
    EXPECT_EQ(d.calls(), c.calls);
    EXPECT_EQ(d.lib.reportIds(), c.key.empty() ? "57" : "");
}

INSTANTIATE_TEST_SUITE_P(Commands, DoHelp, ::testing::ValuesIn(kHelp));

// A pathname of exactly `length` characters with a drive, so it is used as it is.
std::u16string pathnameOfLength(std::size_t length) {
    std::size_t rest = length - 5; // "C:\", "\" and "."
    const std::size_t folder = std::min<std::size_t>(250, rest - 2);
    rest -= folder;
    const std::size_t name = std::min<std::size_t>(250, rest - 1);
    return u"C:\\" + std::u16string(folder, u'f') + u"\\" + std::u16string(name, u'n') + u"." +
           std::u16string(rest - name, u'e');
}

// The macro lives in 512 characters: JumpId(" (8), the pathname while two characters are free,
// then ", "<topic>") (6 + topic) within what is left. It is never longer than 511.
struct MacroCase {
    std::size_t pathname, topic;
};

class JumpMacro : public ::testing::TestWithParam<MacroCase> {};

TEST_P(JumpMacro, StaysInsideItsBuffer) {
    const auto [length, topicLength] = GetParam();
    const std::u16string pathname = pathnameOfLength(length);
    const std::u16string topic(topicLength, u't');
    Display d;
    _DoHelp(kWindow, tc(pathname.c_str()), reinterpret_cast<std::uintptr_t>(topic.c_str()), 0);
    ASSERT_EQ(d.log.size(), 2u);
    const std::u16string prefix = u"help 7 " + pathname + u" 258 ";
    ASSERT_EQ(d.log[1].substr(0, prefix.size()), prefix);
    const std::u16string macro = d.log[1].substr(prefix.size());

    std::u16string slashed = pathname;
    std::replace(slashed.begin(), slashed.end(), u'\\', u'/');
    const std::u16string whole = u"JumpId(\"" + slashed + u"\", \"" + topic + u"\")";
    EXPECT_LE(macro.size(), 511u);
    // Only the pathname's share of a macro that doesn't fit is fixed.
    const std::size_t fixed =
        whole.size() <= 511 ? whole.size() : std::min<std::size_t>(8 + length, 511);
    EXPECT_EQ(macro.substr(0, fixed), whole.substr(0, fixed));
    if (whole.size() <= 511) {
        EXPECT_EQ(macro, whole);
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, JumpMacro,
                         ::testing::Values(MacroCase{400, 97}, MacroCase{400, 98},
                                           MacroCase{497, 0}, MacroCase{498, 0}, MacroCase{502, 3},
                                           MacroCase{503, 3}, MacroCase{504, 3},
                                           MacroCase{700, 3}));

// --- _DoHtmlHelp: targets ------------------------------------------------------------------------

struct TargetCase {
    const char* what;
    const char16_t* file;
    const char16_t* topic;
    std::int32_t command;
    std::u16string target;
};

void PrintTo(const TargetCase& c, std::ostream* os) {
    *os << c.what;
}

const char16_t* const kChm = u"C:\\Prog\\Help\\Main.chm";

const TargetCase kTargets[] = {
    {"topic keeps its case", kChm, u"Intro", 0, u"c:\\prog\\help\\main.chm::/Intro.htm"},
    {"topic with command 1", kChm, u"Intro", 1, u"c:\\prog\\help\\main.chm"},
    {"empty topic", kChm, u"", 0, u"c:\\prog\\help\\main.chm"},
    {"no topic", kChm, nullptr, 0, u"c:\\prog\\help\\main.chm"},
    {"any other command", kChm, u"Intro", -1, u"c:\\prog\\help\\main.chm"},
    {"bare name", u"MAIN.CHM", u"A/B", 0, u"c:\\prog\\help\\main.chm::/A/B.htm"},
    {"default help file", nullptr, u"T", 0, u"c:\\prog\\help\\main.hlp::/T.htm"},
    {"non-ASCII lower-cased", u"C:\\\u00c4RGER\\X.CHM", nullptr, 1, u"c:\\\u00e4rger\\x.chm"},
};

class HtmlTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(HtmlTarget, GoesToTheViewer) {
    const TargetCase& c = GetParam();
    Display d;
    EXPECT_EQ(_DoHtmlHelp(tc(c.file), tc(c.topic), c.command), 1);
    EXPECT_EQ(d.calls(), (Log{u"create", u"invoke 1 " + c.target}));
}

INSTANTIATE_TEST_SUITE_P(Targets, HtmlTarget, ::testing::ValuesIn(kTargets));

TEST(HtmlTarget, NothingToShow) {
    struct Row {
        const char* what;
        std::u16string key;
        std::optional<std::u16string> help;
        const char16_t* file;
        const char* reports;
    };
    const Row rows[] = {
        {"empty default help file", kOtherKey, u"", nullptr, ""},
        {"default help file without a host", u"", {}, nullptr, ""},
        {"bare name without a host", u"", {}, u"x.chm", "57"},
    };
    for (const Row& row : rows) {
        Display d(row.key);
        if (row.help)
            d.lib.profile(u"General", u"HELP", *row.help);
        EXPECT_EQ(_DoHtmlHelp(tc(row.file), tc(u"T"), 0), 0) << row.what;
        EXPECT_EQ(d.calls(), Log{}) << row.what;
        EXPECT_EQ(d.lib.reportIds(), row.reports) << row.what;
    }
}

// --- the help viewer connection --------------------------------------------------------------

TEST(HelpViewer, LivesUntilCommand2OrAFailedCall) {
    struct Step {
        std::int32_t command;
        bool invokeFails;
        Log calls;
    };
    const std::u16string t = u"c:\\prog\\help\\main.chm";
    const Step steps[] = {
        {2, false, {}},
        {1, false, {u"create", u"invoke 1 " + t}},
        {0, false, {u"invoke 1 " + t}},
        {2, false, {u"release 1"}},
        {2, false, {}},
        {1, false, {u"create", u"invoke 2 " + t}},
        {1, true, {u"invoke 2 " + t}},
        {1, false, {u"create", u"invoke 3 " + t}},
        {2, false, {u"release 3"}},
    };
    Display d;
    int index = 0;
    for (const Step& step : steps) {
        d.log.clear();
        d.engines.invokeFails = step.invokeFails;
        EXPECT_EQ(_DoHtmlHelp(tc(kChm), nullptr, step.command), 1) << "step " << index;
        EXPECT_EQ(d.calls(), step.calls) << "step " << index;
        ++index;
    }
}

// --- the HTML Help control -----------------------------------------------------------------------

struct ControlCase {
    const char* what;
    std::optional<std::u16string> registered;
    std::uint32_t type;
    std::vector<std::u16string> controls; // names that load as the control
    bool window;                          // the control answers a window
    bool result;
    Log calls; // after "create: none"
};

void PrintTo(const ControlCase& c, std::ostream* os) {
    *os << c.what;
}

namespace regtype = platform::regtype;
const std::u16string kShow = u"html desktop c:\\prog\\help\\main.chm::/Intro.htm 0 0";
const std::u16string kHH = u"C:\\HH\\hhctrl.ocx";
const std::u16string k259 = u"C:\\" + std::u16string(252, u'h') + u".ocx";
const std::u16string k260 = u"C:\\" + std::u16string(253, u'h') + u".ocx";

const ControlCase kControls[] = {
    {"registered", kHH, regtype::sz, {kHH, u"hhctrl.ocx"}, true, true, {u"load " + kHH, kShow}},
    {"registered but missing",
     u"C:\\Gone\\hh.ocx",
     regtype::sz,
     {u"hhctrl.ocx"},
     true,
     true,
     {u"load C:\\Gone\\hh.ocx: none", u"load hhctrl.ocx", kShow}},
    {"not registered", {}, 0, {u"hhctrl.ocx"}, true, true, {u"load hhctrl.ocx", kShow}},
    {"registered as any type, not expanded",
     u"%SystemRoot%\\hh.ocx",
     regtype::expand_sz,
     {u"%SystemRoot%\\hh.ocx"},
     true,
     true,
     {u"load %SystemRoot%\\hh.ocx", kShow}},
    {"registered path of 259",
     k259,
     regtype::sz,
     {k259, u"hhctrl.ocx"},
     true,
     true,
     {u"load " + k259, kShow}},
    {"registered path of 260 doesn't fit 260 bytes",
     k260,
     regtype::sz,
     {k260, u"hhctrl.ocx"},
     true,
     true,
     {u"load hhctrl.ocx", kShow}},
    {"no window", {}, 0, {u"hhctrl.ocx"}, false, false, {u"load hhctrl.ocx", kShow}},
    {"nowhere",
     kHH,
     regtype::sz,
     {},
     true,
     false,
     {u"load " + kHH + u": none", u"load hhctrl.ocx: none"}},
};

class HtmlHelpControl : public ::testing::TestWithParam<ControlCase> {};

TEST_P(HtmlHelpControl, ShowsWhatTheViewerCant) {
    const ControlCase& c = GetParam();
    Display d;
    d.engines.viewerAvailable = false;
    if (c.registered)
        d.lib.scratch.setRaw(Root::ClassesRoot, kControlKey, nullptr, c.type,
                             utf16Bytes(*c.registered));
    for (const auto& name : c.controls)
        d.control(name);
    if (!c.window)
        d.modules.htmlWindow = nullptr;
    EXPECT_EQ(_DoHtmlHelp(tc(kChm), tc(u"Intro"), 0), c.result ? 1 : 0);
    Log expected{u"create: none"};
    expected.insert(expected.end(), c.calls.begin(), c.calls.end());
    EXPECT_EQ(d.calls(), expected);

    // Loaded once for the process, never freed; a load that failed is never tried again.
    d.log.clear();
    EXPECT_EQ(_DoHtmlHelp(tc(kChm), tc(u"Intro"), 0), c.result ? 1 : 0);
    expected = {u"create: none"};
    if (!c.controls.empty())
        expected.push_back(kShow);
    EXPECT_EQ(d.calls(), expected);
}

INSTANTIATE_TEST_SUITE_P(Locations, HtmlHelpControl, ::testing::ValuesIn(kControls));

TEST(HtmlHelpControl, EntryPointLookedUpAgainAfterItFailed) {
    Display d;
    d.engines.viewerAvailable = false;
    d.modules.add(u"hhctrl.ocx");
    EXPECT_EQ(_DoHtmlHelp(tc(kChm), tc(u"Intro"), 0), 0);
    EXPECT_EQ(d.calls(), (Log{u"create: none", u"load hhctrl.ocx"}));
    d.log.clear();
    d.control(u"hhctrl.ocx");
    EXPECT_EQ(_DoHtmlHelp(tc(kChm), tc(u"Intro"), 0), 1);
    EXPECT_EQ(d.calls(), (Log{u"create: none", kShow}));
}

} // namespace
} // namespace tavlo::test
