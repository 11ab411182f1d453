// Huge class trees: HKEY_CLASSES_ROOT of the portable registry is the user's classes merged over
// the machine's, and a machine can hold tens of thousands of classes. Walking a merged key by
// index, as RegEnumKeyExW and RegEnumValueW callers do, must give every entry once, in Windows'
// order, and must end: made again for every index the merged list made such a walk take minutes.
// The model is the portable code, so these run in both builds.
#include "platform/portable/memory_registry.h"
#include "registry_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace tavlo::platform::portable {
namespace {

std::u16string numbered(const char16_t* stem, std::size_t i) {
    std::u16string name = stem;
    for (const char c : std::to_string(i))
        name += static_cast<char16_t>(c);
    return name;
}

std::u16string upper(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - 32);
    return text;
}

std::vector<std::uint8_t> bytesOf(std::u16string_view text) {
    return tavlo::test::utf16Bytes(text, false);
}

// An entry as "name" (a sub-key) or "name=data" (a value).
using Entries = std::vector<std::u16string>;

// Empty when the lists are equal, else where they first differ (a whole list is too long to
// show).
std::string difference(const Entries& seen, const Entries& expected) {
    const auto text = [](const std::u16string& e) { return std::string(e.begin(), e.end()); };
    const auto [a, b] = std::mismatch(seen.begin(), seen.end(), expected.begin(), expected.end());
    if (a == seen.end() && b == expected.end())
        return "";
    return "at " + std::to_string(a - seen.begin()) + ": " + (a == seen.end() ? "end" : text(*a)) +
           " where " + (b == expected.end() ? "end" : text(*b)) + " belongs";
}

// A key's sub-keys, or its values with their data, by index until the registry says no more.
Entries walk(MemoryRegistry& registry, KeyHandle key, bool values) {
    Entries out;
    char16_t name[256];
    std::uint8_t data[64];
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t count = 256, size = sizeof data, type = 0;
        const Status result = values
                                  ? registry.enumValue(key, index, name, &count, &type, data, &size)
                                  : registry.enumKey(key, index, name, &count);
        if (result != status::success) {
            EXPECT_EQ(result, status::no_more_items) << index;
            return out;
        }
        out.emplace_back(name, count);
        if (values)
            out.back() += u"=" + std::u16string(reinterpret_cast<const char16_t*>(data), size / 2);
    }
}

// The user's entries in their order, then the machine's that no user entry names (in any case).
Entries mergedOrder(const Entries& user, const Entries& machine) {
    const auto nameOf = [](const std::u16string& e) { return upper(e.substr(0, e.find(u'='))); };
    std::set<std::u16string> shadowed;
    for (const std::u16string& entry : user)
        shadowed.insert(nameOf(entry));
    Entries out = user;
    for (const std::u16string& entry : machine)
        if (!shadowed.count(nameOf(entry)))
            out.push_back(entry);
    return out;
}

struct Shape {
    const char* what;
    std::size_t machine, user, shadowed; // entries on each side; the user's first ones shadow
};

// Sub-keys of HKEY_CLASSES_ROOT itself, and values of one class both sides have.
TEST(HugeClassTrees, MergedKeysEnumerateEveryEntryOnceInOrder) {
    // clang-format off
    const Shape shapes[] = {
        {"many machine classes, a few of the user's", 20000, 50, 25},
        {"both sides large, half of them shadowed",   64000, 64000, 32000},
        {"the user's shadow every machine entry",     3000, 3000, 3000},
        {"one entry each, shadowed",                  1, 1, 1},
    };
    // clang-format on
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.what);
        MemoryRegistry registry;
        // "Both" is a class of both sides, so it is listed once, among the user's.
        Entries keys[2] = {{u"Both"}, {u"Both"}}, values[2]; // the machine's, the user's
        for (const Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
            const bool user = hive == Hive::CurrentUser;
            registry.createKey(hive, u"Software\\Classes\\Both");
            for (std::size_t i = 0; i < (user ? shape.user : shape.machine); ++i) {
                // The user's shadowing names differ in case only.
                const std::u16string name = !user                ? numbered(u".cls", i)
                                            : i < shape.shadowed ? upper(numbered(u".cls", i))
                                                                 : numbered(u".own", i);
                registry.createKey(hive, u"Software\\Classes\\" + name);
                registry.setValue(hive, u"Software\\Classes\\Both", name, regtype::sz,
                                  bytesOf(user ? u"u" : u"m"));
                keys[user].push_back(name);
                values[user].push_back(name + (user ? u"=u" : u"=m"));
            }
        }
        KeyHandle root = nullptr, both = nullptr;
        ASSERT_EQ(registry.openKey(Root::ClassesRoot, nullptr, &root), status::success);
        ASSERT_EQ(registry.openKey(Root::ClassesRoot, u"Both", &both), status::success);
        EXPECT_EQ(difference(walk(registry, root, false), mergedOrder(keys[1], keys[0])), "");
        EXPECT_EQ(difference(walk(registry, both, true), mergedOrder(values[1], values[0])), "");
        registry.closeKey(root);
        registry.closeKey(both);
    }
}

// A merged key open while the registry changes answers what the registry holds now, as a key
// enumerated while it changes does on Windows: whatever the first walk kept is not reused.
TEST(HugeClassTrees, AnOpenMergedKeyFollowsChanges) {
    const std::u16string kClass = u"Software\\Classes\\.x";
    struct Change {
        const char* what;
        Hive hive;
        const char16_t* name;
        bool added; // else deleted
        Entries values;
    };
    // clang-format off
    const Change changes[] = {
        {"a machine value added",    Hive::LocalMachine, u"m3", true,
         {u"u1=u", u"shared=u", u"m1=m", u"m2=m", u"m3=m"}},
        {"a user value added",       Hive::CurrentUser, u"u2", true,
         {u"u1=u", u"shared=u", u"u2=u", u"m1=m", u"m2=m"}},
        {"a user value now shadows", Hive::CurrentUser, u"M1", true,
         {u"u1=u", u"shared=u", u"M1=u", u"m2=m"}},
        {"a shadowing one deleted",  Hive::CurrentUser, u"shared", false,
         {u"u1=u", u"m1=m", u"shared=m", u"m2=m"}},
        {"a machine value deleted",  Hive::LocalMachine, u"m1", false,
         {u"u1=u", u"shared=u", u"m2=m"}},
    };
    // clang-format on
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        MemoryRegistry registry;
        for (const char16_t* name : {u"u1", u"shared"})
            registry.setValue(Hive::CurrentUser, kClass, name, regtype::sz, bytesOf(u"u"));
        for (const char16_t* name : {u"m1", u"shared", u"m2"})
            registry.setValue(Hive::LocalMachine, kClass, name, regtype::sz, bytesOf(u"m"));
        KeyHandle key = nullptr;
        ASSERT_EQ(registry.openKey(Root::ClassesRoot, u".x", &key), status::success);
        EXPECT_EQ(walk(registry, key, true).size(), 4u); // the merged list is made
        const char16_t* data = change.hive == Hive::CurrentUser ? u"u" : u"m";
        if (change.added)
            registry.setValue(change.hive, kClass, change.name, regtype::sz, bytesOf(data));
        else
            registry.deleteValue(change.hive, kClass, change.name);
        EXPECT_EQ(walk(registry, key, true), change.values);
        registry.closeKey(key);
    }
}

} // namespace
} // namespace tavlo::platform::portable
