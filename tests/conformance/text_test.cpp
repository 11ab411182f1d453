// Message formatting and case mapping, checked against the backend of the build (the real
// FormatMessageW and CharLowerBuffW / CharUpperBuffW under Wine, the portable code natively).
// Under Wine the portable code is run as well and must give the real API's answers.
#include "platform/portable/casemap.h"
#include "platform/portable/format_message.h"
#include "platform/services.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using namespace tavlo::platform;
namespace portable = tavlo::platform::portable;
using namespace std::literals;

TextService& text() {
    return *defaultServices().text;
}

// --- FormatMessage ------------------------------------------------------------------------------

constexpr const char16_t* kIns = u"INS";
constexpr Status kEmpty = status::no_work_done;
constexpr Status kBad = status::invalid_parameter;

struct FormatCase {
    std::u16string_view templ; // to the backend, up to its first zero
    const char16_t* insert;    // insert 1; every higher insert is empty
    const char16_t* expected;
    Status status = status::success;
};

// Every answer here was observed from the real function under Wine 8.
// clang-format off
const FormatCase kFormatCases[] = {
    // plain inserts
    {u"a%1b", kIns, u"aINSb"}, {u"%1%1", kIns, u"INSINS"}, {u"%1", nullptr, u"(null)"},
    {u"%1", u"", u"", kEmpty}, {u"a%1", u"", u"a"}, {u"%2", kIns, u"", kEmpty},
    {u"%10x", kIns, u"x"},
    {u"%100", kIns, u"0"}, // two digits at most: insert 10, then "0"
    // inserted text is taken as it is: no escapes, no line-break rewriting
    {u"x%1y", u"%2%n%%", u"x%2%n%%y"}, {u"[%1]", u"a\nb\rc", u"[a\nb\rc]"},
    {u"%1!10s!", u"%1", u"        %1"},
    // formatted inserts, wide
    {u"%1!s!", kIns, u"INS"}, {u"%1!ls!", kIns, u"INS"}, {u"%1!10s!", kIns, u"       INS"},
    {u"%1!-10s!|", kIns, u"INS       |"}, {u"%1!.2s!", kIns, u"IN"},
    {u"%1!-5.1s!|", kIns, u"I    |"}, {u"%1!010s!", kIns, u"0000000INS"},
    {u"%1!0-5s!|", kIns, u"INS  |"}, {u"%1!-+ #05s!|", kIns, u"INS  |"},
    {u"%1!.0s!", kIns, u"", kEmpty}, {u"%1!hls!", kIns, u"INS"}, {u"%2!10s!", kIns, u"          "},
    {u"%1!s!", nullptr, u"(null)"}, {u"%1!.3s!", nullptr, u"(nu"},
    // narrow forms read the wide text's bytes: ASCII stops after its first letter
    {u"%1!S!", kIns, u"I"}, {u"%1!3S!", kIns, u"  I"}, {u"%1!S!", nullptr, u"(null)"},
    // the rest of the format between the marks
    {u"%1!sx!", kIns, u"INSx"}, {u"%1!s%%!", kIns, u"INS%"}, {u"%1!%s!", kIns, u"%s"},
    {u"%1!s\n!|", kIns, u"INS\n|"}, {u"%1!!abc", kIns, u"abc"}, {u"%1!!", kIns, u"", kEmpty},
    {u"%1!5!", kIns, u"", kEmpty}, {u"%1!k!", kIns, u"k"}, {u"%1!zs!", kIns, u"zs"},
    {u"%1!.-3s!", kIns, u"-3s"}, {u"%1!5.*s!", kIns, u"     "}, {u"%1!s", kIns, u"", kBad},
    {u"%1!", kIns, u"", kBad},
    // escapes
    {u"%%%.%!", kIns, u"%.!"}, {u"x% y", kIns, u"x y"}, {u"a%nb", kIns, u"a\r\nb"},
    {u"%r%n%t", kIns, u"\r\r\n\t"}, {u"%b%Z%\u00E9", kIns, u"bZ\u00E9"}, {u"ab%0cd", kIns, u"ab"},
    {u"ab%0%", kIns, u"ab"}, {u"%0", kIns, u"", kEmpty}, {u"abc%", kIns, u"", kBad},
    {u"%1%", kIns, u"", kBad},
    // line breaks in the template all become CR LF
    {u"hi\n", kIns, u"hi\r\n"}, {u"\r", kIns, u"\r\n"}, {u"a\n\rb", kIns, u"a\r\n\r\nb"},
    {u"%1\n%1", kIns, u"INS\r\nINS"}, {u"", kIns, u"", kEmpty},
};
// clang-format on

// Natively the backend is the portable formatter; under Wine it is the real function, and the
// portable one runs beside it.
void expectFormat(bool viaBackend, const FormatCase& c) {
    std::string d = viaBackend ? "backend, template \"" : "portable, template \"";
    for (const char16_t u : c.templ)
        d += u >= 0x20 && u < 0x7F ? static_cast<char>(u) : '?';
    SCOPED_TRACE(d + "\"" + (c.insert ? "" : " with a null insert"));
    std::u16string out = u"stale";
    EXPECT_EQ(viaBackend ? text().formatMessage(c.templ.data(), c.insert, out)
                         : portable::formatMessage(c.templ, c.insert, out),
              c.status);
    EXPECT_EQ(out, c.expected);
}

TEST(MessageFormat, FollowsTheInsertRules) {
    for (const FormatCase& c : kFormatCases) {
        expectFormat(true, c);
#ifdef _WIN32
        expectFormat(false, c);
#endif
    }
}

// Where the real function would print or write through an insert's address, the portable one
// gives the documented stand-in; these cannot be compared with the real API. Nor can a template
// that holds a zero, which the real function never sees past.
TEST(MessageFormat, PortableStandInsForAddressConversions) {
    // clang-format off
    const FormatCase cases[] = {
        {u"%1!d!", kIns, u"INS"}, {u"%1!5x!", kIns, u"  INS"}, {u"%1!.1c!", kIns, u"I"},
        {u"%1!n!|", kIns, u"|"}, {u"%1!*s!|", kIns, u"|"}, {u"%1!*.5s!|", kIns, u"|"},
        {u"%1!99999999999s!", kIns, u"", status::not_enough_memory},
        // bytes past 0x7F in a narrow reading are Windows-1252
        {u"%1!S!", u"\u9C80\u0099", u"\u20AC\u0153\u2122"},
        // the template ends at its first zero
        {u"ab\0cd"sv, kIns, u"ab"}, {u"ab%\0cd"sv, kIns, u"", kBad},
    };
    // clang-format on
    for (const FormatCase& c : cases)
        expectFormat(false, c);
}

#ifdef _WIN32
TEST(MessageFormat, NarrowReadingMatchesTheRealCodePage) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "the prefix's code page is " << GetACP();
    for (const char16_t* insert : {u"\u9C80\u0099", u"\u00E9\u00E9", u"\u4E2D\u0041"}) {
        std::u16string real, ours;
        EXPECT_EQ(text().formatMessage(u"%1!S!", insert, real), status::success);
        EXPECT_EQ(portable::formatMessage(u"%1!S!", insert, ours), status::success);
        EXPECT_EQ(ours, real);
    }
}
#endif

// --- case mapping -------------------------------------------------------------------------------

// A unit, its lower and its upper case, observed from CharLowerBuffW / CharUpperBuffW under
// Wine 8: no title-case letter maps, and ß, ς, µ, İ, ı and the Kelvin and Ångström signs stay.
const char16_t kCaseRows[][3] = {
    {u'A', u'a', u'A'},       {u'z', u'z', u'Z'},       {u'@', u'@', u'@'},
    {u'[', u'[', u'['},       {u'`', u'`', u'`'},       {u'{', u'{', u'{'},
    {0x00C4, 0x00E4, 0x00C4}, {0x00E4, 0x00E4, 0x00C4}, {0x00B5, 0x00B5, 0x00B5},
    {0x00DF, 0x00DF, 0x00DF}, {0x00D7, 0x00D7, 0x00D7}, {0x00F7, 0x00F7, 0x00F7},
    {0x00FF, 0x00FF, 0x0178}, {0x0178, 0x00FF, 0x0178}, {0x0130, 0x0130, 0x0130},
    {0x0131, 0x0131, 0x0131}, {0x017F, 0x017F, 0x017F}, {0x01C4, 0x01C6, 0x01C4},
    {0x01C5, 0x01C5, 0x01C5}, {0x01C6, 0x01C6, 0x01C4}, {0x03A3, 0x03C3, 0x03A3},
    {0x03C3, 0x03C3, 0x03A3}, {0x03C2, 0x03C2, 0x03C2}, {0x0390, 0x0390, 0x0390},
    {0x0345, 0x0345, 0x0345}, {0x0401, 0x0451, 0x0401}, {0x0451, 0x0451, 0x0401},
    {0x0416, 0x0436, 0x0416}, {0x0436, 0x0436, 0x0416}, {0x0531, 0x0561, 0x0531},
    {0x0587, 0x0587, 0x0587}, {0x10A0, 0x2D00, 0x10A0}, {0x2D00, 0x2D00, 0x10A0},
    {0x10C7, 0x2D27, 0x10C7}, {0x10D0, 0x10D0, 0x1C90}, {0x1C90, 0x10D0, 0x1C90},
    {0x13A0, 0xAB70, 0x13A0}, {0xAB70, 0xAB70, 0x13A0}, {0x13F8, 0x13F8, 0x13F0},
    {0x1E9E, 0x1E9E, 0x1E9E}, {0x1F88, 0x1F80, 0x1F88}, {0x1FBC, 0x1FB3, 0x1FBC},
    {0x2126, 0x2126, 0x2126}, {0x212A, 0x212A, 0x212A}, {0x212B, 0x212B, 0x212B},
    {0x24B6, 0x24D0, 0x24B6}, {0x24D0, 0x24D0, 0x24B6}, {0x2C2F, 0x2C5F, 0x2C2F},
    {0xA7AE, 0x026A, 0xA7AE}, {0x0265, 0x0265, 0xA78D}, {0xA7C0, 0xA7C1, 0xA7C0},
    {0xFF21, 0xFF41, 0xFF21}, {0xFF41, 0xFF41, 0xFF21}, {0xD801, 0xD801, 0xD801},
    {0xDC00, 0xDC00, 0xDC00}, {0x0000, 0x0000, 0x0000}, {0xFFFF, 0xFFFF, 0xFFFF},
};

// A string, its lower and its upper case: surrogate pairs map as the character they encode;
// lone or reversed surrogates stay.
const std::u16string kStringRows[][3] = {
    {u"Hello, World!", u"hello, world!", u"HELLO, WORLD!"},
    {u"\u00C4rger \u03A3\u03C3\u03C2", u"\u00E4rger \u03C3\u03C3\u03C2",
     u"\u00C4RGER \u03A3\u03A3\u03C2"},
    {u"\U00010400\U00010428", u"\U00010428\U00010428", u"\U00010400\U00010400"},
    {u"a\U0001E900z", u"a\U0001E922z", u"A\U0001E900Z"},
    {u"\xDC00\xD801x", u"\xDC00\xD801x", u"\xDC00\xD801X"},
    {u"x\xD801", u"x\xD801", u"X\xD801"},
    {u"", u"", u""},
};

// The backend's mapping, and under Wine the portable code's beside it.
void expectMapped(const std::u16string& text, const std::u16string& lower,
                  const std::u16string& upper) {
    std::u16string l = text, u = text;
    ::text().toLower(l);
    ::text().toUpper(u);
    EXPECT_EQ(l, lower);
    EXPECT_EQ(u, upper);
#ifdef _WIN32
    l = u = text;
    portable::lowerInPlace(l);
    portable::upperInPlace(u);
    EXPECT_EQ(l, lower) << "portable";
    EXPECT_EQ(u, upper) << "portable";
#endif
}

TEST(CaseMap, UnitsAndStringsMapAsTheRealFunctionsMapThem) {
    for (const auto& [unit, lower, upper] : kCaseRows) {
        SCOPED_TRACE(testing::Message() << std::hex << "U+" << unsigned{unit});
        EXPECT_EQ(unsigned{portable::lowerUnit(unit)}, unsigned{lower});
        EXPECT_EQ(unsigned{portable::upperUnit(unit)}, unsigned{upper});
        expectMapped({unit}, {lower}, {upper});
    }
    for (const auto& [text, lower, upper] : kStringRows)
        expectMapped(text, lower, upper);
}

// The registry compares names unit by unit: a supplementary letter keeps its case.
TEST(CaseMap, FoldNameUpperCasesUnitByUnit) {
    EXPECT_EQ(portable::foldName(u"Software\\Caf\u00E9 \u03C3\u03C2\u0131"),
              u"SOFTWARE\\CAF\u00C9 \u03A3\u03C2\u0131");
    EXPECT_EQ(portable::foldName(u"\U00010428"), u"\U00010428");
    EXPECT_EQ(portable::foldName(std::u16string_view(u"a\0b", 3)), std::u16string(u"A\0B", 3));
    EXPECT_EQ(portable::foldName(u""), u"");
}

#ifdef _WIN32
// Every unit alone, and every supplementary character as its surrogate pair.
TEST(CaseMap, EveryCharacterMatchesTheRealFunctions) {
    unsigned mismatches = 0;
    for (std::uint32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        const std::u16string text =
            cp < 0x10000 ? std::u16string(1, static_cast<char16_t>(cp))
                         : std::u16string{static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)),
                                          static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
        std::wstring lower(text.begin(), text.end()), upper = lower;
        CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
        CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
        std::u16string ours = text, oursUpper = text;
        portable::lowerInPlace(ours);
        portable::upperInPlace(oursUpper);
        bool same = ours == std::u16string(lower.begin(), lower.end()) &&
                    oursUpper == std::u16string(upper.begin(), upper.end());
        if (cp < 0x10000)
            same = same && portable::lowerUnit(text[0]) == lower[0] &&
                   portable::upperUnit(text[0]) == upper[0];
        if (!same) {
            ADD_FAILURE() << std::hex << "U+" << cp << " lower " << unsigned{lower[0]} << " upper "
                          << unsigned{upper[0]};
            ASSERT_LT(++mismatches, 20u);
        }
    }
}
#endif

} // namespace
