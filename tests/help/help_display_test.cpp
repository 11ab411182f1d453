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
#include <tuple>

namespace tavlo::test {
namespace {

const TavloChar* tc(const char16_t* text) {
    return reinterpret_cast<const TavloChar*>(text);
}

std::uintptr_t P(const char16_t* text) {
    return reinterpret_cast<std::uintptr_t>(text);
}

void* const kWindow = reinterpret_cast<void*>(7);
const std::u16string kHlp = u"C:\\H\\m.hlp";
const char16_t* const kChm = u"C:\\H\\Main.chm";

// A library whose help file setting is C:\H\m.hlp, with recording help engines and modules (the
// resource module among them) that write into one log.
struct Display {
    explicit Display(std::u16string key = kOtherKey)
        : lib(std::move(key)), engines(log), modules(log) {
        if (!lib.key.empty())
            lib.profile(u"General", u"HELP", kHlp);
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
        std::copy_if(log.begin(), log.end(), std::back_inserter(shown), [](const auto& line) {
            return line.find(u"userdata.dll") == std::u16string::npos;
        });
        return shown;
    }

    SettingsSandbox lib;
    Log log;
    RecordingHelpEngines engines;
    FakeModules modules;
};

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
        Display d;
        d.engines.winHelpAnswers = answers;
        EXPECT_EQ(_DoHelp(kWindow, tc(file.c_str()), data, command), result ? 1 : 0);
        EXPECT_EQ(d.calls(), calls);
    }
    Display hostless(u"");
    EXPECT_EQ(_DoHelp(kWindow, tc(u"x.hlp"), P(u"T"), 0), 0);
    EXPECT_EQ(hostless.calls(), Log{});
    EXPECT_EQ(hostless.lib.reportIds(), "57");
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
        Display d;
        _DoHelp(kWindow, tc(pathname.c_str()), P(topic.c_str()), 0);
        const std::u16string prefix = u"help 7 " + pathname + u" 258 ";
        ASSERT_EQ(d.calls().size(), 2u);
        ASSERT_EQ(d.calls()[1].substr(0, prefix.size()), prefix);
        const std::u16string macro = d.calls()[1].substr(prefix.size());
        std::u16string whole = u"JumpId(\"" + pathname + u"\", \"" + topic + u"\")";
        std::replace(whole.begin(), whole.end(), u'\\', u'/');
        EXPECT_LE(macro.size(), 511u) << length << " " << topicLength;
        // Only the pathname's share of a macro that doesn't fit is fixed.
        EXPECT_EQ(macro.substr(0, std::min<std::size_t>(8 + length, 511)),
                  whole.substr(0, std::min<std::size_t>(8 + length, 511)));
        if (whole.size() <= 511) {
            EXPECT_EQ(macro, whole) << length << " " << topicLength;
        }
    }
}

// The pathname is lower-cased, the topic not; only command 0 with a topic shows a page.
TEST(DoHtmlHelp, TargetsGoToTheViewer) {
    const std::tuple<const char16_t*, const char16_t*, std::int32_t, std::u16string> rows[] = {
        {kChm, u"Intro", 0, u"c:\\h\\main.chm::/Intro.htm"},
        {kChm, u"Intro", 1, u"c:\\h\\main.chm"},
        {kChm, u"", 0, u"c:\\h\\main.chm"},
        {kChm, nullptr, 0, u"c:\\h\\main.chm"},
        {nullptr, u"A/B", 0, u"c:\\h\\m.hlp::/A/B.htm"}, // the default help file
        {u"C:\\\u00c4RGER\\X.CHM", nullptr, 1, u"c:\\\u00e4rger\\x.chm"},
    };
    for (const auto& [file, topic, command, target] : rows) {
        Display d;
        EXPECT_EQ(_DoHtmlHelp(tc(file), tc(topic), command), 1);
        EXPECT_EQ(d.calls(), (Log{u"create", u"invoke 1 " + target}));
    }
    // Nothing to show: an empty default help file, no host for it, no host for a bare name.
    const std::tuple<std::u16string, const char16_t*, const char*> none[] = {
        {kOtherKey, nullptr, ""}, {u"", nullptr, ""}, {u"", u"x.chm", "57"}};
    for (const auto& [key, file, reports] : none) {
        Display d(key);
        if (!key.empty())
            d.lib.profile(u"General", u"HELP", u"");
        EXPECT_EQ(_DoHtmlHelp(tc(file), tc(u"T"), 0), 0);
        EXPECT_EQ(d.calls(), Log{});
        EXPECT_EQ(d.lib.reportIds(), reports);
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
    Display d;
    for (const auto& [command, fails, calls] : steps) {
        d.log.clear();
        d.engines.invokeFails = fails;
        EXPECT_EQ(_DoHtmlHelp(tc(kChm), nullptr, command), 1);
        EXPECT_EQ(d.calls(), calls) << command;
    }
}

// Without a viewer: the registered control (its server key's default value, of any type, not
// expanded, within 260 bytes' worth), else hhctrl.ocx; loaded once for the process and never
// freed, and a load that failed never tried again.
TEST(DoHtmlHelp, HtmlHelpControl) {
    const std::u16string show = u"html desktop c:\\h\\main.chm::/Intro.htm 0 0", hh = u"C:\\hh.ocx";
    const std::u16string p259 = u"C:\\" + std::u16string(252, u'h') + u".ocx";
    const std::u16string p260 = u"C:\\" + std::u16string(253, u'h') + u".ocx";
    namespace regtype = platform::regtype;
    const std::tuple<std::optional<std::u16string>, std::uint32_t, std::vector<std::u16string>,
                     bool, Log>
        rows[] = {
            {hh, regtype::sz, {hh, u"hhctrl.ocx"}, true, {u"load " + hh, show}},
            {u"C:\\Gone.ocx",
             regtype::sz,
             {u"hhctrl.ocx"},
             true,
             {u"load C:\\Gone.ocx: none", u"load hhctrl.ocx", show}},
            {{}, 0, {u"hhctrl.ocx"}, true, {u"load hhctrl.ocx", show}},
            {u"%S%\\h.ocx", regtype::expand_sz, {u"%S%\\h.ocx"}, true, {u"load %S%\\h.ocx", show}},
            {p259, regtype::sz, {p259, u"hhctrl.ocx"}, true, {u"load " + p259, show}},
            {p260, regtype::sz, {p260, u"hhctrl.ocx"}, true, {u"load hhctrl.ocx", show}},
            {{}, 0, {u"hhctrl.ocx"}, false, {u"load hhctrl.ocx", show}}, // no window: failure
            {hh, regtype::sz, {}, false, {u"load " + hh + u": none", u"load hhctrl.ocx: none"}},
        };
    for (const auto& [registered, type, controls, window, calls] : rows) {
        Display d;
        d.engines.viewerAvailable = false;
        if (registered)
            d.lib.scratch.setRaw(Root::ClassesRoot,
                                 u"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32",
                                 nullptr, type, utf16Bytes(*registered));
        for (const auto& name : controls)
            d.modules.add(name).ordinals[15] = FakeModules::htmlHelpEntry;
        if (!window)
            d.modules.htmlWindow = nullptr;
        const bool shown = window && !controls.empty();
        EXPECT_EQ(_DoHtmlHelp(tc(kChm), tc(u"Intro"), 0), shown ? 1 : 0);
        Log expected{u"create: none"};
        expected.insert(expected.end(), calls.begin(), calls.end());
        EXPECT_EQ(d.calls(), expected);
        d.log.clear();
        EXPECT_EQ(_DoHtmlHelp(tc(kChm), tc(u"Intro"), 0), shown ? 1 : 0);
        expected = controls.empty() ? Log{u"create: none"} : Log{u"create: none", show};
        EXPECT_EQ(d.calls(), expected);
    }
    // A control without the entry point is kept; the entry point is looked up again.
    Display d;
    d.engines.viewerAvailable = false;
    d.modules.add(u"hhctrl.ocx");
    EXPECT_EQ(_DoHtmlHelp(tc(kChm), tc(u"Intro"), 0), 0);
    EXPECT_EQ(d.calls(), (Log{u"create: none", u"load hhctrl.ocx"}));
    d.log.clear();
    d.modules.add(u"hhctrl.ocx").ordinals[15] = FakeModules::htmlHelpEntry;
    EXPECT_EQ(_DoHtmlHelp(tc(kChm), tc(u"Intro"), 0), 1);
    EXPECT_EQ(d.calls(), (Log{u"create: none", show}));
}

} // namespace
} // namespace tavlo::test
