// Kept results: a host keeps a caught exception, or the pointer a flat getter returned, and reads
// it after later calls. The texts it points to are the library's and show the latest error or
// result, as documented; they must never have moved away, whatever the length of what came
// later.
#include "settings_sandbox.h"

#include "frame/errors.h"
#include "frame/fixed_text.h"

namespace tavlo::test {
namespace {

TEST(KeptException, StaysReadableAfterLongerErrors) {
    const std::u16string longName = u"AValueNameLongerThanAnyBefore" + std::u16string(40, u'n');
    struct Later {
        const char* what;
        std::function<void()> call;
        std::u16string operation;
        std::u16string argumentEnd; // how the latest argument text ends
    };
    const std::u16string tooLong = u"HKEY_LOCAL_MACHINE\\" + std::u16string(400, u'k');
    // clang-format off
    const Later rows[] = {
        {"GetProfileDWord drops its error", [&] {
             std::uint32_t value = 0;
             GetProfileDWord(&value, tc(u"General"), tc(longName)); },
         u"GetProfileDWord", longName.substr(longName.size() - 20)},
        {"GetHKeyLocalMachineString raises", [&] {
             std::u16string value;
             try { GetHKeyLocalMachineString(value, longName.c_str(), 260); }
             catch (const TAVLO_Exception&) {} },
         u"GetHKeyLocalMachineString", longName.substr(longName.size() - 20)},
        {"an argument longer than the context's room", [&] {
             try { frame::raise<TAVLO_Entry_Error>(u"GetProfileStr", 61, tooLong); }
             catch (const TAVLO_Exception&) {} },
         u"GetProfileStr", std::u16string(20, u'k')},
    };
    // clang-format on
    for (const Later& later : rows) {
        SCOPED_TRACE(later.what);
        SettingsSandbox lib;
        // Both keys exist, so that the later errors name a value, the longest texts.
        lib.profile(u"General", u"Other", u"x");
        lib.machine(u"Other", u"x");
        TAVLO_Exception kept{};
        try {
            std::u16string value;
            GetProfileStr(value, u"G", u"v", 260);
            FAIL() << "nothing raised";
        } catch (const TAVLO_Exception& error) {
            kept = error;
        }
        later.call();
        // The kept exception reads the context's own storage, which holds the latest error's.
        const frame::LibraryState& state = lib.scope.get();
        EXPECT_EQ(kept.operation, state.currentOperation.c_str());
        EXPECT_EQ(kept.argument, state.currentArgument.c_str());
        EXPECT_EQ(kept.source, state.sourceMarker.c_str());
        EXPECT_EQ(std::u16string(kept.operation), later.operation);
        EXPECT_TRUE(std::u16string(kept.argument).ends_with(later.argumentEnd))
            << narrow(kept.argument);
        EXPECT_LE(std::u16string(kept.argument).size(), frame::LibraryState::kContextTextLimit);
    }
}

// What a room keeps of a longer text: its first units, never half a surrogate pair.
TEST(KeptException, LongerTextsAreCutWithoutSplittingAPair) {
    // clang-format off
    const std::tuple<std::u16string, std::size_t, std::size_t> rows[] = {
        {u"abc", 3, 3},
        {u"abcd", 3, 3},
        {u"ab\U0001F600", 3, 2},   // the pair would be split: it goes whole
        {u"ab\U0001F600", 4, 4},
        {u"a\U0001F600b", 3, 3},   // the pair fits whole
        {u"\xDC00\xDC00\xDC00", 2, 2}, // a lone low surrogate is text like any other
        {u"\U0001F600", 1, 0},
        {u"", 0, 0},
    };
    // clang-format on
    for (const auto& [text, capacity, kept] : rows)
        EXPECT_EQ(frame::keptLength(text, capacity), kept) << narrow(text) << " in " << capacity;
    frame::FixedText<4> room;
    const char16_t* address = room.c_str();
    for (const std::u16string text : {u"ab", u"abcdefgh", u"", u"xyz\U0001F600"}) {
        room.assign(text);
        EXPECT_EQ(room.c_str(), address);
        EXPECT_EQ(room.view(), std::u16string_view(text).substr(0, frame::keptLength(text, 4)));
        EXPECT_EQ(room.c_str()[room.size()], u'\0');
    }
}

// The flat result string holds still from its first use on: a kept pointer shows every later
// result, and one longer than its room is cut as an error text is.
TEST(FlatResult, KeptPointerShowsEveryLaterResult) {
    constexpr std::size_t kRoom = frame::FlatResult::kCapacity;
    const std::u16string huge = std::u16string(kRoom + 7000, u'x');
    const std::u16string straddling = std::u16string(kRoom - 1, u'y') + u"\U0001F600" + u"z";
    // clang-format off
    const std::pair<std::u16string, std::u16string> rows[] = {
        {u"C:\\first", u"C:\\first"},
        {huge, huge.substr(0, kRoom)},
        {u"C:\\short again", u"C:\\short again"},
        {straddling, straddling.substr(0, kRoom - 1)},
        {std::u16string(kRoom, u'w'), std::u16string(kRoom, u'w')},
    };
    // clang-format on
    SettingsSandbox lib;
    const TavloChar* kept = nullptr;
    for (const auto& [stored, shown] : rows) {
        lib.profile(u"General Configuration", u"DefaultLoginName", stored);
        const TavloChar* result = _GetDefaultLoginName();
        if (!kept)
            kept = result;
        EXPECT_EQ(result, kept);
        EXPECT_EQ(str(kept), shown) << shown.size() << " units expected";
    }
}

} // namespace
} // namespace tavlo::test
