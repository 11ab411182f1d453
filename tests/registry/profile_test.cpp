// The current profile's values and the fixed profile.
#include "settings_sandbox.h"

#include "registry/profile.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

namespace tavlo::test {
namespace {

namespace regtype = platform::regtype;
constexpr std::uint32_t kUnset = 0xAAAAAAAAu;

// The same values in the current profile's "General" section and in the fixed profile's "Plot".
struct Profiles : SettingsSandbox {
    explicit Profiles(const std::u16string& current = u"P") {
        scratch.setString(Root::CurrentUser, key + u"\\Profiles", nullptr, current);
        for (const std::u16string& section :
             {key + u"\\Profiles\\" + current + u"\\General", key + u"\\FixedProfile\\Plot"}) {
            scratch.setDword(Root::CurrentUser, section, u"Count", 7);
            scratch.setString(Root::CurrentUser, section, u"Short", u"A");
            scratch.setRaw(Root::CurrentUser, section, u"Half", regtype::binary, {0x34, 0x12});
            scratch.setString(Root::CurrentUser, section, u"Dir", u"C:\\Plot\\Dir");
        }
    }
};

struct DwordCase {
    const char16_t* name;
    TavloRetVal result;
    std::uint32_t value;
};

// What a read of four bytes wrote stays in the variable, even when the type is wrong.
const DwordCase kDwordCases[] = {
    {u"Count", TAVLO_Success, 7},    {u"Missing", TAVLO_Failure, kUnset},
    {u"Short", TAVLO_Failure, 0x41}, {u"Half", TAVLO_Failure, 0xAAAA1234u},
    {u"Dir", TAVLO_Failure, kUnset},
};

TEST(Dwords, BothReadersWriteStraightIntoTheVariable) {
    for (const DwordCase& c : kDwordCases) {
        SCOPED_TRACE(&c - kDwordCases);
        Profiles lib;
        std::uint32_t current = kUnset, fixed = kUnset;
        EXPECT_EQ(registry::GetProfileDWord(&current, u"General", c.name), c.result);
        EXPECT_EQ(registry::GetFixedProfileDWord(fixed, u"\\Plot", c.name), c.result);
        EXPECT_EQ(current, c.value);
        EXPECT_EQ(fixed, c.value);
        EXPECT_TRUE(lib.handler.calls.empty());
    }
}

// Components of up to 200 characters make a 511-character name that exists on every registry.
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
                  fits ? lib.key + u"\\Profiles\\" + profileName(length) : u"");
        std::uint32_t value = kUnset;
        EXPECT_EQ(registry::GetProfileDWord(&value, u"General", u"Count"), fits ? 0 : 1);
        std::u16string out;
        try {
            registry::GetProfileStr(out, u"General", u"Dir", 64);
            EXPECT_TRUE(fits);
        } catch (const TAVLO_Key_Error& e) {
            EXPECT_FALSE(fits);
            EXPECT_EQ(std::u16string(e.operation), u"GetActiveProfileKey");
        }
        EXPECT_TRUE(lib.handler.calls.empty());
    }
}

TEST(FixedProfile, IsReadWithoutAndApartFromTheCurrentProfile) {
    SettingsSandbox lib(u""); // no profiles at first
    lib.scope.get().appKeyCache = lib.key = kOtherKey;
    lib.scratch.setDword(Root::CurrentUser, lib.key + u"\\Profiles\\Other\\Plot", u"Count", 99);
    lib.scratch.setDword(Root::CurrentUser, lib.key + u"\\FixedProfile\\Plot", u"Count", 5);
    for (const char16_t* current : {u"", u"Other"}) {
        if (*current)
            lib.scratch.setString(Root::CurrentUser, lib.key + u"\\Profiles", nullptr, current);
        std::uint32_t fixed = 0, ordinary = 0;
        EXPECT_EQ(registry::GetFixedProfileDWord(fixed, u"Plot", u"Count"), 0);
        EXPECT_EQ(fixed, 5u);
        EXPECT_EQ(registry::GetProfileDWord(&ordinary, u"Plot", u"Count"), *current ? 0 : 1);
        EXPECT_EQ(ordinary, *current ? 99u : 0u);
    }
}

} // namespace
} // namespace tavlo::test
