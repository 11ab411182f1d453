// UTF-8 as the library reads it, at its edges and in Wine's registry files alike: well-formed
// text exactly, and each maximal ill-formed subpart as one U+FFFD. Standard C++ only: this
// program also runs under Wine.
#include "platform/portable/reg_file.h"
#include "platform/utf.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace tavlo::platform;
using namespace tavlo::platform::portable;

// What a Wine file's string value holding bytes reads as, and whether the load reported it.
std::u16string throughWineFile(const std::string& bytes, bool& reported) {
    MemoryRegistry registry;
    loadRegistryText(registry, "WINE REGISTRY Version 2\n[T]\n\"v\"=\"" + bytes + "\"\n", "t.reg",
                     Hive::LocalMachine);
    registry.readAllValues();
    reported = !registry.diagnostics().empty();
    RegKey key;
    std::uint32_t type = 0, size = 0;
    std::vector<std::uint8_t> data(2 * bytes.size() + 2);
    size = static_cast<std::uint32_t>(data.size());
    if (key.open(registry, Root::LocalMachine, u"T") != status::success ||
        key.query(u"v", &type, data.data(), &size) != status::success || size < 2)
        return u"(not loaded)";
    std::u16string text;
    for (std::size_t i = 0; i + 3 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    return text;
}

TEST(Utf8, EachMaximalIllFormedSubpartIsOneReplacement) {
    struct Row {
        std::string bytes;
        std::u16string text;
    };
    // clang-format off
    const Row rows[] = {
        {"", u""},
        {"plain", u"plain"},
        {"\xC3\xA9", u"\u00E9"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        // The edges of what the lead bytes allow.
        {"\xC2\x80", u"\u0080"},
        {"\xE0\xA0\x80", u"\u0800"},
        {"\xED\x9F\xBF", u"\uD7FF"},
        {"\xEE\x80\x80", u"\uE000"},
        {"\xF0\x90\x80\x80", u"\U00010000"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        // A sequence broken off by a byte that can't continue it: the start is one U+FFFD, the
        // byte is read afresh.
        {"\xE2\x82\x41", u"\uFFFDA"},
        {"\xC2\x41\x42", u"\uFFFDAB"},
        {"\xF0\x9F\x98\x41", u"\uFFFDA"},
        {"\xE2\x28\xA1", u"\uFFFD(\uFFFD"},
        {"\xE2\x82\xE2\x82\xAC", u"\uFFFD\u20AC"},
        // Lead bytes that begin nothing, and second bytes out of their lead's range (overlong
        // forms, surrogates, past U+10FFFF): every byte is one U+FFFD.
        {"\xC0\x80", u"\uFFFD\uFFFD"},
        {"\xC1\xBF", u"\uFFFD\uFFFD"},
        {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD"},
        {"\xF0\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\x80", u"\uFFFD"},
        {"\x80\xBF", u"\uFFFD\uFFFD"},
        {"\xFE\xFF", u"\uFFFD\uFFFD"},
        // Cut short by the end of the text.
        {"\xC3", u"\uFFFD"},
        {"\xE2\x82", u"\uFFFD"},
        {"\xF0\x9F\x98", u"\uFFFD"},
        {"a\xF0\x9F", u"a\uFFFD"},
        // The standard's own example of the practice, and ill-formed bytes right after a run
        // of ASCII long enough to be copied eight bytes a step.
        {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64", u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
        {"abcdefgh\xE2\x82" "A", u"abcdefgh\uFFFDA"},
        {"abcdefghijklmno\xC3\xA9pqrstuvwxyz\xC3", u"abcdefghijklmno\u00E9pqrstuvwxyz\uFFFD"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.bytes));
        EXPECT_EQ(fromUtf8(row.bytes), row.text);
        bool reported = false;
        EXPECT_EQ(throughWineFile(row.bytes, reported), row.text);
        EXPECT_EQ(reported, row.text.find(u'\uFFFD') != std::u16string::npos);
    }
}

} // namespace
