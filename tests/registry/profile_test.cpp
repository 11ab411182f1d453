// The current profile's values and the fixed profile.
#include "discovery_stand_ins.h"

#include "registry/profile.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

namespace tavlo::test {
namespace {

namespace regtype = platform::regtype;
const std::u16string kKey = u"SOFTWARE\\Veltrane\\Corvida\\R1\\X-1";
const std::u16string kProfiles = kKey + u"\\Profiles";
const std::u16string kFixed = kKey + u"\\FixedProfile\\Plot";
constexpr std::uint32_t kUnset = 0xAAAAAAAAu;

// The same values in the current profile's "General" section and in the fixed profile's "Plot".
struct Profiles : LibrarySandbox {
    explicit Profiles(const std::u16string& current = u"Main") {
        hookBesideLibrary(kKey);
        scratch.setString(Root::CurrentUser, kProfiles, nullptr, current);
        for (const std::u16string& section : {kProfiles + u"\\" + current + u"\\General", kFixed}) {
            scratch.setDword(Root::CurrentUser, section, u"Count", 7);
            scratch.setString(Root::CurrentUser, section, u"Short", u"A");
            scratch.setRaw(Root::CurrentUser, section, u"Half", regtype::binary, {0x34, 0x12});
            scratch.setString(Root::CurrentUser, section, u"Dir", u"C:\\Plot\\Dir");
        }
    }
};

struct DwordCase {
    const char* what;
    const char16_t* name;
    TavloRetVal result;
    std::uint32_t value;
};

const DwordCase kDwordCases[] = {
    {"REG_DWORD", u"Count", TAVLO_Success, 7},
    {"missing leaves the variable", u"Missing", TAVLO_Failure, kUnset},
    {"REG_SZ of four bytes written through", u"Short", TAVLO_Failure, 0x41},
    {"two bytes of binary written through", u"Half", TAVLO_Failure, 0xAAAA1234u},
    {"longer REG_SZ writes nothing", u"Dir", TAVLO_Failure, kUnset},
};

class DwordTable : public ::testing::TestWithParam<DwordCase> {};

TEST_P(DwordTable, BothReadersWriteStraightIntoTheVariable) {
    const DwordCase& c = GetParam();
    Profiles lib;
    for (const char16_t* section : {u"General", u"\\General"}) {
        std::uint32_t value = kUnset;
        EXPECT_EQ(registry::GetProfileDWord(&value, section, c.name), c.result) << c.what;
        EXPECT_EQ(value, c.value) << c.what << " in the current profile";
    }
    for (const char16_t* key : {u"Plot", u"\\Plot"}) {
        std::uint32_t value = kUnset;
        EXPECT_EQ(registry::GetFixedProfileDWord(value, key, c.name), c.result) << c.what;
        EXPECT_EQ(value, c.value) << c.what << " in the fixed profile";
    }
    EXPECT_TRUE(lib.handler.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Values, DwordTable, ::testing::ValuesIn(kDwordCases));

TEST(ProfileStr, SectionWithOrWithoutBackslashAndLongValues) {
    Profiles lib;
    const std::u16string longText(700, u'q');
    lib.scratch.setString(Root::CurrentUser, kProfiles + u"\\Main\\General", u"Long", longText);
    for (const char16_t* section : {u"General", u"\\General"}) {
        std::u16string out;
        EXPECT_EQ(registry::GetProfileStr(out, section, u"Dir", 260), 0);
        EXPECT_EQ(out, u"C:\\Plot\\Dir");
        EXPECT_EQ(registry::GetProfileStr(out, section, u"Long", 260), 0);
        EXPECT_EQ(out, longText);
    }
    EXPECT_EQ(registry::GetCurrentProfileKey(), kProfiles + u"\\Main");
}

// A profile name is one key path: components of up to 200 characters make a 511-character name
// that exists as keys on every registry.
std::u16string profileName(std::size_t length) {
    std::u16string name(length, u'p');
    name[200] = name[401] = u'\\';
    return name;
}

TEST(ProfileName, At511CharactersItIsReadAt512EveryReadFails) {
    for (std::size_t length : {511u, 512u}) {
        Profiles lib(profileName(length));
        const bool fits = length == 511;
        EXPECT_EQ(registry::GetCurrentProfileKey(),
                  fits ? kProfiles + u"\\" + profileName(length) : u"")
            << length;
        std::uint32_t value = kUnset;
        EXPECT_EQ(registry::GetProfileDWord(&value, u"General", u"Count"), fits ? 0 : 1);
        std::u16string out;
        try {
            registry::GetProfileStr(out, u"General", u"Dir", 64);
            EXPECT_TRUE(fits) << length;
        } catch (const TAVLO_Key_Error& e) {
            EXPECT_FALSE(fits);
            EXPECT_EQ(std::u16string(e.operation), u"GetActiveProfileKey");
            EXPECT_EQ(std::u16string(e.argument), u"HKEY_CURRENT_USER\\" + kProfiles);
        }
        EXPECT_TRUE(lib.handler.calls.empty());
    }
}

TEST(FixedProfile, DoesNotDependOnTheCurrentProfile) {
    Profiles lib;
    lib.scratch.setDword(Root::CurrentUser, kProfiles + u"\\Other\\General", u"Count", 99);
    lib.scratch.setDword(Root::CurrentUser, kFixed, u"Count", 5);
    std::uint32_t current = 0, fixed = 0;
    EXPECT_EQ(registry::GetProfileDWord(&current, u"General", u"Count"), 0);
    EXPECT_EQ(registry::GetFixedProfileDWord(fixed, u"Plot", u"Count"), 0);
    EXPECT_EQ(current, 7u);
    EXPECT_EQ(fixed, 5u);

    lib.scratch.setString(Root::CurrentUser, kProfiles, nullptr, u"Other");
    EXPECT_EQ(registry::GetProfileDWord(&current, u"General", u"Count"), 0);
    EXPECT_EQ(current, 99u);
    fixed = 0;
    EXPECT_EQ(registry::GetFixedProfileDWord(fixed, u"Plot", u"Count"), 0);
    EXPECT_EQ(fixed, 5u);
}

TEST(FixedProfile, IsReadWithoutAnyProfile) {
    LibrarySandbox lib;
    lib.hookBesideLibrary(kKey);
    lib.scratch.setDword(Root::CurrentUser, kFixed, u"Count", 5);
    std::uint32_t fixed = 0;
    EXPECT_EQ(registry::GetFixedProfileDWord(fixed, u"Plot", u"Count"), 0);
    EXPECT_EQ(fixed, 5u);
    EXPECT_EQ(registry::GetCurrentProfileKey(), u"");
}

} // namespace
} // namespace tavlo::test
