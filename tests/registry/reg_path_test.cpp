// Registry path texts: composition and the 100-character shortening (which other roots, having
// no label, show bare).
#include "registry/reg_path.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace tavlo::test {
namespace {

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
std::u16string head(const std::u16string& t, std::size_t n) {
    return t.substr(0, n) + u"...";
}
std::u16string last(const std::u16string& t, std::size_t n) {
    return t.substr(t.size() - n);
}

const std::u16string k100 = pathOf(100, {18}), k101 = pathOf(101, {18}), k120 = pathOf(120, {});
const std::u16string k180 = pathOf(180, {18, 27, 36, 44, 60, 80, 120, 150});
const std::u16string kStops = pathOf(200, {5, 98, 150});  // 98 + 1 reaches 99: no more tries
const std::u16string kGoesOn = pathOf(200, {5, 97, 150}); // 97 + 1 does not
const std::u16string kLongHead = pathOf(150, {98, 120});  // head and "..." exceed 100 already
const std::u16string kTailFits = pathOf(130, {18, 40});   // 22 + 90 > 100: bare last characters
const std::u16string kLongKey = u"SOFTWARE\\" + std::u16string(100, u'x') + u"\\R1";

struct PathCase {
    Root root;
    const char16_t *key, *value;
    std::u16string expected;
};

// clang-format off
const PathCase kCases[] = {
    {Root::LocalMachine, u"SOFTWARE\\A", u"v", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\v"},
    {Root::LocalMachine, u"SOFTWARE\\A", nullptr, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\A"},
    {Root::LocalMachine, u"", u"v", u"HKEY_LOCAL_MACHINE\\\\v"},
    {Root::CurrentUser, u"A\\", u"v", u"HKEY_CURRENT_USER\\A\\\\v"},
    {Root::LocalMachine, kLongKey.c_str(), u"Name", u"HKEY_LOCAL_MACHINE\\...\\R1\\Name"},
    {Root::ClassesRoot, k100.c_str(), nullptr, k100},
    {Root::ClassesRoot, k101.c_str(), nullptr, head(k101, 19) + last(k101, 78)},
    {Root::ClassesRoot, k120.c_str(), nullptr, u"..." + last(k120, 97)},
    {Root::ClassesRoot, k180.c_str(), nullptr, head(k180, 19) + k180.substr(120)},
    {Root::ClassesRoot, kStops.c_str(), nullptr, head(kStops, 6) + last(kStops, 91)},
    {Root::ClassesRoot, kGoesOn.c_str(), nullptr, head(kGoesOn, 6) + kGoesOn.substr(150)},
    {Root::ClassesRoot, kLongHead.c_str(), nullptr, head(kLongHead, 99)},
    {Root::ClassesRoot, kTailFits.c_str(), nullptr, head(kTailFits, 19) + last(kTailFits, 78)},
};
// clang-format on

TEST(PathTable, ComposesAndShortens) {
    for (const PathCase& c : kCases) {
        SCOPED_TRACE(&c - kCases);
        EXPECT_EQ(registry::FormatRegPath(c.root, c.key, c.value), c.expected);
    }
}

} // namespace
} // namespace tavlo::test
