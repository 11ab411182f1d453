// Huge class trees: HKEY_CLASSES_ROOT of the portable registry is the user's classes merged over
// the machine's, and a machine can hold tens of thousands of classes. Walking a merged key by
// index, as RegEnumKeyExW and RegEnumValueW callers do, must give every entry once, in Windows'
// order, and must end: made again for every index the merged list made such a walk take minutes.
// The model is the portable code, so these run in both builds.
#include "platform/portable/memory_registry.h"
#include "registry_fixture.h"
#include "stand_ins.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace tavlo::platform::portable {
namespace {

std::u16string upper(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - 32);
    return text;
}

// A value whose data is the side it is on: "u" for the user's, "m" for the machine's.
void setValue(MemoryRegistry& registry, Hive hive, const std::u16string& key,
              const std::u16string& name) {
    registry.setValue(hive, key, name, regtype::sz,
                      tavlo::test::utf16Bytes(hive == Hive::CurrentUser ? u"u" : u"m", false));
}

// An entry as "name" (a sub-key) or "name=data" (a value).
using Entries = std::vector<std::u16string>;

// Where the lists first differ (a whole list is too long to show), or -1 when they are equal.
std::ptrdiff_t difference(const Entries& seen, const Entries& expected) {
    const auto [a, b] = std::mismatch(seen.begin(), seen.end(), expected.begin(), expected.end());
    return a == seen.end() && b == expected.end() ? -1 : a - seen.begin();
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

// Sub-keys of HKEY_CLASSES_ROOT itself, and values of one class both sides have.
TEST(HugeClassTrees, MergedKeysEnumerateEveryEntryOnceInOrder) {
    // Entries on each side, and how many of the user's (the first ones) shadow the machine's.
    const std::tuple<std::size_t, std::size_t, std::size_t> shapes[] = {
        {20000, 50, 25}, {64000, 64000, 32000}, {3000, 3000, 3000}, {1, 1, 1}};
    for (const auto& [machineEntries, userEntries, shadowed] : shapes) {
        SCOPED_TRACE(machineEntries);
        MemoryRegistry registry;
        // "Both" is a class of both sides, so it is listed once, among the user's.
        Entries keys[2] = {{u"Both"}, {u"Both"}}, values[2]; // the machine's, the user's
        for (const Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
            const bool user = hive == Hive::CurrentUser;
            registry.createKey(hive, u"Software\\Classes\\Both");
            for (std::size_t i = 0; i < (user ? userEntries : machineEntries); ++i) {
                const std::u16string n = tavlo::test::decimal(i);
                // The user's shadowing names differ in case only.
                const std::u16string name = !user          ? u".cls" + n
                                            : i < shadowed ? upper(u".cls" + n)
                                                           : u".own" + n;
                registry.createKey(hive, u"Software\\Classes\\" + name);
                setValue(registry, hive, u"Software\\Classes\\Both", name);
                keys[user].push_back(name);
                values[user].push_back(name + (user ? u"=u" : u"=m"));
            }
        }
        KeyHandle root = nullptr, both = nullptr;
        ASSERT_EQ(registry.openKey(Root::ClassesRoot, nullptr, &root), status::success);
        ASSERT_EQ(registry.openKey(Root::ClassesRoot, u"Both", &both), status::success);
        EXPECT_EQ(difference(walk(registry, root, false), mergedOrder(keys[1], keys[0])), -1);
        EXPECT_EQ(difference(walk(registry, both, true), mergedOrder(values[1], values[0])), -1);
        registry.closeKey(root);
        registry.closeKey(both);
    }
}

// A merged key open while the registry changes answers what the registry holds now, as a key
// enumerated while it changes does on Windows: whatever the first walk kept is not reused.
TEST(HugeClassTrees, AnOpenMergedKeyFollowsChanges) {
    const std::u16string kClass = u"Software\\Classes\\.x";
    const Hive user = Hive::CurrentUser, machine = Hive::LocalMachine;
    // A value added (else deleted) on one side, and the values listed after that.
    const std::tuple<Hive, const char16_t*, bool, Entries> changes[] = {
        {machine, u"m3", true, {u"u1=u", u"shared=u", u"m1=m", u"m2=m", u"m3=m"}},
        {user, u"u2", true, {u"u1=u", u"shared=u", u"u2=u", u"m1=m", u"m2=m"}},
        {user, u"M1", true, {u"u1=u", u"shared=u", u"M1=u", u"m2=m"}}, // now shadows
        {user, u"shared", false, {u"u1=u", u"m1=m", u"shared=m", u"m2=m"}},
        {machine, u"m1", false, {u"u1=u", u"shared=u", u"m2=m"}},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(&change - changes);
        const auto& [hive, name, added, values] = change;
        MemoryRegistry registry;
        for (const char16_t* value : {u"u1", u"shared"})
            setValue(registry, user, kClass, value);
        for (const char16_t* value : {u"m1", u"shared", u"m2"})
            setValue(registry, machine, kClass, value);
        KeyHandle key = nullptr;
        ASSERT_EQ(registry.openKey(Root::ClassesRoot, u".x", &key), status::success);
        EXPECT_EQ(walk(registry, key, true).size(), 4u); // the merged list is made
        if (added)
            setValue(registry, hive, kClass, name);
        else
            registry.deleteValue(hive, kClass, name);
        EXPECT_EQ(walk(registry, key, true), values);
        registry.closeKey(key);
    }
}

} // namespace
} // namespace tavlo::platform::portable
