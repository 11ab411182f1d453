// Huge class trees: HKEY_CLASSES_ROOT of the portable registry is the user's classes merged over
// the machine's, and a machine can hold tens of thousands of classes. Walking a merged key by
// index, as RegEnumKeyExW and RegEnumValueW callers do, must give every entry once, in Windows'
// order, and must end: made again for every index the merged list made such a walk take minutes.
// The model is the portable code, so these run in both builds.
#include "platform/portable/memory_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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
    std::vector<std::uint8_t> bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

struct Entry {
    std::u16string name;
    std::u16string data; // values only: the side it came from
    bool operator==(const Entry&) const = default;
};

// Empty when the lists are equal, else where they first differ.
std::string difference(const std::vector<Entry>& seen, const std::vector<Entry>& expected) {
    const auto text = [](const Entry& e) { return std::string(e.name.begin(), e.name.end()); };
    for (std::size_t i = 0; i < std::min(seen.size(), expected.size()); ++i)
        if (!(seen[i] == expected[i]))
            return "at " + std::to_string(i) + ": " + text(seen[i]) + " where " +
                   text(expected[i]) + " belongs";
    if (seen.size() != expected.size())
        return std::to_string(seen.size()) + " entries where " + std::to_string(expected.size()) +
               " belong";
    return "";
}

// Every sub-key, then every value with its data, by index until the registry says no more.
std::vector<Entry> subKeys(MemoryRegistry& registry, KeyHandle key) {
    std::vector<Entry> out;
    char16_t name[256];
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t count = 256;
        const Status result = registry.enumKey(key, index, name, &count);
        if (result == status::no_more_items)
            break;
        EXPECT_EQ(result, status::success) << index;
        if (result != status::success)
            break;
        out.push_back({std::u16string(name, count), u""});
    }
    return out;
}
std::vector<Entry> values(MemoryRegistry& registry, KeyHandle key) {
    std::vector<Entry> out;
    char16_t name[256];
    std::uint8_t data[64];
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t count = 256, size = sizeof data, type = 0;
        const Status result = registry.enumValue(key, index, name, &count, &type, data, &size);
        if (result == status::no_more_items)
            break;
        EXPECT_EQ(result, status::success) << index;
        if (result != status::success)
            break;
        out.push_back({std::u16string(name, count),
                       std::u16string(reinterpret_cast<const char16_t*>(data), size / 2)});
    }
    return out;
}

// The user's entries in their order, then the machine's that no user entry names (in any case).
std::vector<Entry> mergedOrder(const std::vector<Entry>& user, const std::vector<Entry>& machine) {
    std::set<std::u16string> shadowed;
    for (const Entry& entry : user)
        shadowed.insert(upper(entry.name));
    std::vector<Entry> out = user;
    for (const Entry& entry : machine)
        if (!shadowed.count(upper(entry.name)))
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
        registry.createKey(Hive::LocalMachine, u"Software\\Classes\\Both");
        registry.createKey(Hive::CurrentUser, u"Software\\Classes\\Both");
        std::vector<Entry> machineKeys{{u"Both", u""}}, userKeys{{u"Both", u""}};
        std::vector<Entry> machineValues, userValues;
        for (std::size_t i = 0; i < shape.machine; ++i) {
            const std::u16string name = numbered(u".cls", i);
            registry.createKey(Hive::LocalMachine, u"Software\\Classes\\" + name);
            registry.setValue(Hive::LocalMachine, u"Software\\Classes\\Both", name, regtype::sz,
                              bytesOf(u"m"));
            machineKeys.push_back({name, u""});
            machineValues.push_back({name, u"m"});
        }
        for (std::size_t i = 0; i < shape.user; ++i) {
            // Shadowing names differ in case only; the others are the user's own.
            const std::u16string name =
                i < shape.shadowed ? upper(numbered(u".cls", i)) : numbered(u".own", i);
            registry.createKey(Hive::CurrentUser, u"Software\\Classes\\" + name);
            registry.setValue(Hive::CurrentUser, u"Software\\Classes\\Both", name, regtype::sz,
                              bytesOf(u"u"));
            userKeys.push_back({name, u""});
            userValues.push_back({name, u"u"});
        }

        KeyHandle root = nullptr, both = nullptr;
        ASSERT_EQ(registry.openKey(Root::ClassesRoot, nullptr, &root), status::success);
        ASSERT_EQ(registry.openKey(Root::ClassesRoot, u"Both", &both), status::success);
        EXPECT_EQ(difference(subKeys(registry, root), mergedOrder(userKeys, machineKeys)), "");
        EXPECT_EQ(difference(values(registry, both), mergedOrder(userValues, machineValues)), "");
        registry.closeKey(root);
        registry.closeKey(both);
    }
}

// A merged key open while the registry changes answers what the registry holds now, as a key
// enumerated while it changes does on Windows: whatever the first walk kept is not reused.
TEST(HugeClassTrees, AnOpenMergedKeyFollowsChanges) {
    const std::u16string kUser = u"Software\\Classes\\.x", kMachine = kUser;
    struct Change {
        const char* what;
        std::function<void(MemoryRegistry&)> apply;
        std::vector<std::u16string> values; // after it, in order
    };
    // clang-format off
    const Change changes[] = {
        {"a machine value added", [&](MemoryRegistry& r) {
             r.setValue(Hive::LocalMachine, kMachine, u"m3", regtype::sz, bytesOf(u"m")); },
         {u"u1", u"shared", u"m1", u"m2", u"m3"}},
        {"a user value added", [&](MemoryRegistry& r) {
             r.setValue(Hive::CurrentUser, kUser, u"u2", regtype::sz, bytesOf(u"u")); },
         {u"u1", u"shared", u"u2", u"m1", u"m2"}},
        {"a user value now shadows a machine one", [&](MemoryRegistry& r) {
             r.setValue(Hive::CurrentUser, kUser, u"M1", regtype::sz, bytesOf(u"u")); },
         {u"u1", u"shared", u"M1", u"m2"}},
        {"the shadowing user value deleted", [&](MemoryRegistry& r) {
             r.deleteValue(Hive::CurrentUser, kUser, u"shared"); },
         {u"u1", u"m1", u"shared", u"m2"}},
        {"a machine value deleted", [&](MemoryRegistry& r) {
             r.deleteValue(Hive::LocalMachine, kMachine, u"m1"); },
         {u"u1", u"shared", u"m2"}},
    };
    // clang-format on
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        MemoryRegistry registry;
        for (const char16_t* name : {u"u1", u"shared"})
            registry.setValue(Hive::CurrentUser, kUser, name, regtype::sz, bytesOf(u"u"));
        for (const char16_t* name : {u"m1", u"shared", u"m2"})
            registry.setValue(Hive::LocalMachine, kMachine, name, regtype::sz, bytesOf(u"m"));
        KeyHandle key = nullptr;
        ASSERT_EQ(registry.openKey(Root::ClassesRoot, u".x", &key), status::success);
        EXPECT_EQ(values(registry, key).size(), 4u); // u1, shared (the user's), m1, m2
        change.apply(registry);
        std::vector<std::u16string> names;
        for (const Entry& entry : values(registry, key))
            names.push_back(entry.name);
        EXPECT_EQ(names, change.values);
        registry.closeKey(key);
    }
}

} // namespace
} // namespace tavlo::platform::portable
