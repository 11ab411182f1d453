// Registry names: equal when their upper-case forms are, unit by unit, and then hashing equal,
// whether a name is held narrow (as the loader hands most over) or wide (as every lookup asks).
#include "platform/portable/casemap.h"
#include "platform/portable/names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace tavlo::platform::portable;

bool narrowable(const std::u16string& text) {
    for (const char16_t unit : text)
        if (unit >= 0x100)
            return false;
    return true;
}

// The forms a name can be held in: wide always, narrow when every unit fits a byte.
struct Forms {
    explicit Forms(const std::u16string& text) : wide(text) {
        if (narrowable(text))
            narrow.emplace_back(text.begin(), text.end());
    }
    std::vector<Units> all() const {
        std::vector<Units> units{Units::of(wide)};
        for (const std::string& bytes : narrow)
            units.push_back({bytes.data(), bytes.size(), true});
        return units;
    }
    std::u16string wide;
    std::vector<std::string> narrow;
};

TEST(Names, CompareAndHashByUpperCaseUnits) {
    const struct {
        const char* what;
        std::u16string a, b;
        bool same;
    } cases[] = {
        {"ASCII letters", u"Software\\Classes", u"SOFTWARE\\classes", true},
        {"ASCII beside the letters", u"@[`{", u"`{@[", false},
        {"a length past a whole word", u"AbCdEfGhI", u"aBcDeFgHi", true},
        {"lengths that differ", u"Key", u"Keys", false},
        {"empty", u"", u"", true},
        {"Latin-1 letters", u"\u00e9t\u00e9", u"\u00c9T\u00c9", true},
        {"a narrow name equal to a wide one", u"\u00ff", u"\u0178", true},
        {"sharp s has no single upper-case unit", u"\u00df", u"SS", false},
        {"i is not dotted I", u"i", u"\u0130", false},
        {"Greek", u"\u03c3\u03bf\u03c6\u03af\u03b1", u"\u03a3\u039f\u03a6\u038a\u0391", true},
        {"Cyrillic", u"\u0434\u043e\u043c", u"\u0414\u041e\u041c", true},
        {"full-width letters", u"\uff41\uff42", u"\uff21\uff22", true},
        {"a pair whose code points differ only in case", u"\U00010428", u"\U00010400", false},
        {"the same pair", u"x\U00010428", u"X\U00010428", true},
        {"an unpaired surrogate among letters", u"\xd800q", u"\xd800Q", true},
        {"two unpaired surrogates", u"\xd800", u"\xdc00", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Forms a(c.a), b(c.b);
        for (const Units& x : a.all())
            for (const Units& y : b.all()) {
                EXPECT_EQ(sameName(x, y), c.same) << x.narrow << y.narrow;
                EXPECT_EQ(sameName(y, x), c.same) << x.narrow << y.narrow;
                if (c.same) {
                    EXPECT_EQ(hashOf(x), hashOf(y)) << x.narrow << y.narrow;
                }
            }
    }
}

// Every unit against its upper-case form, through each of the ways a unit is folded: ASCII
// inline or four bytes at once, the rest of a narrow name by table, a wide name by the case
// tables. Five of each, so that every position of a four-unit step and the tail meet it.
TEST(Names, EveryUnitMatchesItsUpperCase) {
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        const Forms unit(std::u16string(5, static_cast<char16_t>(c)));
        const Forms upper(std::u16string(5, upperUnit(static_cast<char16_t>(c))));
        for (const Units& x : unit.all())
            for (const Units& y : upper.all())
                if (!sameName(x, y) || hashOf(x) != hashOf(y)) {
                    ADD_FAILURE() << "unit " << std::hex << static_cast<unsigned>(c);
                    return;
                }
    }
}

} // namespace
