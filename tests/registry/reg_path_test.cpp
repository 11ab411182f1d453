// Registry path texts: composition and the 100-character shortening.
#include "registry/reg_path.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace tavlo::test {
namespace {

using registry::AbbreviatePathText;
using registry::FormatRegPath;
using Root = platform::Root;

// n characters, backslashes at the given indices, digits elsewhere (so every cut is visible).
std::u16string pathOf(std::size_t n, std::initializer_list<std::size_t> backslashes) {
    std::u16string text;
    for (std::size_t i = 0; i < n; ++i)
        text += static_cast<char16_t>(u'0' + i % 10);
    for (std::size_t i : backslashes)
        text[i] = u'\\';
    return text;
}

struct AbbreviateCase {
    const char* what;
    std::u16string text;
    std::u16string expected;
};

std::u16string head(const std::u16string& t, std::size_t n) {
    return t.substr(0, n) + u"...";
}
std::u16string last(const std::u16string& t, std::size_t n) {
    return t.substr(t.size() - n);
}

const std::u16string k100 = pathOf(100, {18});
const std::u16string k101 = pathOf(101, {18});
const std::u16string k120 = pathOf(120, {});
const std::u16string k180 = pathOf(180, {18, 27, 36, 44, 60, 80, 120, 150});
const std::u16string kStops = pathOf(200, {5, 98, 150});  // 98 + 1 reaches 99: no more tries
const std::u16string kGoesOn = pathOf(200, {5, 97, 150}); // 97 + 1 does not
const std::u16string kLongHead = pathOf(150, {98, 120});  // head and "..." exceed 100 already
const std::u16string kTailFits = pathOf(130, {18, 40});   // 22 + 90 > 100: bare last characters

const AbbreviateCase kAbbreviateCases[] = {
    {"100 characters stay", k100, k100},
    {"101 characters, one backslash", k101, head(k101, 19) + last(k101, 78)},
    {"no backslash at all", k120, u"..." + last(k120, 97)},
    {"longest run of whole components", k180, head(k180, 19) + k180.substr(120)},
    {"search stops at index 98", kStops, head(kStops, 6) + last(kStops, 91)},
    {"search goes on past index 97", kGoesOn, head(kGoesOn, 6) + kGoesOn.substr(150)},
    {"head of 99 leaves no room", kLongHead, head(kLongHead, 99)},
    {"no component fits", kTailFits, head(kTailFits, 19) + last(kTailFits, 78)},
};

class AbbreviateTable : public ::testing::TestWithParam<AbbreviateCase> {};

TEST_P(AbbreviateTable, ShortensToTheRule) {
    EXPECT_EQ(AbbreviatePathText(GetParam().text), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Texts, AbbreviateTable, ::testing::ValuesIn(kAbbreviateCases));

struct FormatCase {
    const char* what;
    Root root;
    const char16_t* key;
    const char16_t* value;
    std::u16string expected;
};

const std::u16string kLongComponent(100, u'x');
const std::u16string kLongKey = u"SOFTWARE\\" + kLongComponent + u"\\R1";

const FormatCase kFormatCases[] = {
    {"key and value", Root::LocalMachine, u"SOFTWARE\\A", u"v",
     u"HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\v"},
    {"default value: no trailing backslash", Root::LocalMachine, u"SOFTWARE\\A", nullptr,
     u"HKEY_LOCAL_MACHINE\\SOFTWARE\\A"},
    {"empty key doubles nothing away", Root::LocalMachine, u"", u"v", u"HKEY_LOCAL_MACHINE\\\\v"},
    {"no key, no value", Root::LocalMachine, nullptr, nullptr, u"HKEY_LOCAL_MACHINE\\"},
    {"trailing backslash kept", Root::LocalMachine, u"A\\", u"v", u"HKEY_LOCAL_MACHINE\\A\\\\v"},
    {"user root has its own label", Root::CurrentUser, u"A", u"v", u"HKEY_CURRENT_USER\\A\\v"},
    {"other roots get no label", Root::ClassesRoot, u"A", u"v", u"A\\v"},
    {"long text keeps the label", Root::LocalMachine, kLongKey.c_str(), u"Name",
     u"HKEY_LOCAL_MACHINE\\...\\R1\\Name"},
};

class FormatTable : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTable, ComposesLabelKeyAndValue) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatRegPath(c.root, c.key, c.value), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Paths, FormatTable, ::testing::ValuesIn(kFormatCases));

} // namespace
} // namespace tavlo::test
