// The registry calls the library depends on, checked against the backend of the build: the
// real API under Wine, the in-memory registry natively. Both must give the same answers.
#include "registry_fixture.h"

#include "platform/services.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace tavlo::test {
namespace {

using namespace platform;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kUntouched = 0xDEADBEEF;
constexpr std::uint8_t kFill = 0xCC;

RegistryService& registry() {
    return *defaultServices().registry;
}

class RegistryConformance : public ::testing::Test {
protected:
    ScratchRegistry scratch;

    RegKey open(Root root, const char16_t* path) {
        RegKey key;
        EXPECT_EQ(key.open(registry(), root, path), status::success) << "opening the test key";
        return key;
    }
};

// Every value name of key, or every sub-key name, in the order enumeration gives them.
std::vector<std::u16string> listed(const RegKey& key, bool subKeys = false) {
    std::vector<std::u16string> names;
    for (std::uint32_t index = 0;; ++index) {
        std::array<char16_t, 64> name{};
        std::uint32_t count = name.size();
        const Status result =
            subKeys ? key.enumerateKey(index, name.data(), &count)
                    : key.enumerate(index, name.data(), &count, nullptr, nullptr, nullptr);
        if (result != status::success) {
            EXPECT_EQ(result, status::no_more_items);
            return names;
        }
        names.emplace_back(name.data(), count);
    }
}

std::u16string text(const RegKey& key, const char16_t* name) {
    std::array<char16_t, 32> buffer{};
    std::uint32_t size = sizeof buffer;
    EXPECT_EQ(key.query(name, nullptr, reinterpret_cast<std::uint8_t*>(buffer.data()), &size),
              status::success);
    return buffer.data();
}

// --- querying values --------------------------------------------------------------------------

struct QueryCase {
    const char* what;
    std::uint32_t storedType;
    Bytes stored;
    std::uint32_t bufferSize;
    Status expectStatus;
    std::uint32_t expectSize;
    Bytes expectPrefix;   // the buffer's first bytes after the call
    bool bufferUntouched; // nothing of the buffer may change
};

// clang-format off
const QueryCase kQueryCases[] = {
    {"terminated string, room to spare", regtype::sz, utf16Bytes(u"AB"), 16, status::success, 6, utf16Bytes(u"AB"), false},
    {"ten characters need 22 bytes", regtype::sz, utf16Bytes(u"0123456789"), 20, status::more_data, 22, {}, true},
    {"exact fit", regtype::sz, utf16Bytes(u"0123456789"), 22, status::success, 22, utf16Bytes(u"0123456789"), false},
    {"unterminated string, no spare bytes", regtype::sz, utf16Bytes(u"AB", false), 4, status::success, 4, utf16Bytes(u"AB", false), false},
    {"unterminated string gains a terminator", regtype::sz, utf16Bytes(u"AB", false), 6, status::success, 4, utf16Bytes(u"AB"), false},
    {"unterminated expandable string", regtype::expand_sz, utf16Bytes(u"%X%", false), 8, status::success, 6, utf16Bytes(u"%X%"), false},
    {"odd byte count is not rounded", regtype::binary, {1, 2, 3}, 8, status::success, 3, {1, 2, 3}, false},
    {"a number read as text gives raw bytes", regtype::dword, {0x78, 0x56, 0x34, 0x12}, 16, status::success, 4, {0x78, 0x56, 0x34, 0x12}, false},
    {"zero-length string", regtype::sz, {}, 8, status::success, 0, {}, true},
    {"zero-length buffer for a number", regtype::dword, {1, 0, 0, 0}, 0, status::more_data, 4, {}, true},
};
// clang-format on

class RegistryQuery : public RegistryConformance,
                      public ::testing::WithParamInterface<QueryCase> {};

TEST_P(RegistryQuery, FollowsTheSizeProtocol) {
    const QueryCase& c = GetParam();
    scratch.setRaw(Root::LocalMachine, u"Q", u"v", c.storedType, c.stored);
    RegKey key = open(Root::LocalMachine, u"Q");

    std::vector<std::uint8_t> buffer(c.bufferSize + 8, kFill);
    std::uint32_t type = kUntouched;
    std::uint32_t size = c.bufferSize;
    EXPECT_EQ(key.query(u"v", &type, buffer.data(), &size), c.expectStatus);
    EXPECT_EQ(type, c.storedType);
    EXPECT_EQ(size, c.expectSize);
    if (c.bufferUntouched) {
        for (std::size_t i = 0; i < c.bufferSize; ++i)
            ASSERT_EQ(buffer[i], kFill) << "byte " << i << " was written";
    } else {
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + c.expectPrefix.size()), c.expectPrefix);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryQuery, ::testing::ValuesIn(kQueryCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(RegistryConformance, SizeOnlyQueryReportsTypeAndFullSize) {
    scratch.setString(Root::LocalMachine, u"Q", u"v", u"hello");
    RegKey key = open(Root::LocalMachine, u"Q");
    std::uint32_t type = kUntouched;
    std::uint32_t size = 1; // ignored without a buffer
    EXPECT_EQ(key.query(u"v", &type, nullptr, &size), status::success);
    EXPECT_EQ(type, regtype::sz);
    EXPECT_EQ(size, 12u);
}

TEST_F(RegistryConformance, MissingValueLeavesTypeAlone) {
    scratch.createKey(Root::LocalMachine, u"Q");
    RegKey key = open(Root::LocalMachine, u"Q");
    std::uint32_t type = kUntouched;
    std::array<std::uint8_t, 8> buffer{};
    std::uint32_t size = buffer.size();
    EXPECT_EQ(key.query(u"absent", &type, buffer.data(), &size), status::file_not_found);
    EXPECT_EQ(type, kUntouched);
}

TEST_F(RegistryConformance, DefaultValueByNullOrEmptyName) {
    scratch.createKey(Root::LocalMachine, u"NoDefault");
    scratch.setString(Root::LocalMachine, u"WithDefault", nullptr, u"dflt");
    RegKey without = open(Root::LocalMachine, u"NoDefault");
    RegKey with = open(Root::LocalMachine, u"WithDefault");
    for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u""}) {
        std::uint32_t size = 0;
        EXPECT_EQ(without.query(name, nullptr, nullptr, &size), status::file_not_found);
        EXPECT_EQ(text(with, name), u"dflt");
    }
}

TEST_F(RegistryConformance, NamesIgnoreCase) {
    scratch.setString(Root::CurrentUser, u"Software\\Mixed\\Case", u"ValueName", u"x");
    for (const char16_t* path : {u"software\\MIXED\\case", u"SOFTWARE\\mixed\\CASE"}) {
        RegKey key = open(Root::CurrentUser, path);
        for (const char16_t* name : {u"valuename", u"VALUENAME", u"ValueName"}) {
            std::uint32_t size = 0;
            EXPECT_EQ(key.query(name, nullptr, nullptr, &size), status::success);
        }
    }
}

TEST_F(RegistryConformance, LongNamesAndLargeValues) {
    const std::u16string longName(16383, u'n');
    Bytes large(1 << 20);
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<std::uint8_t>(i * 7);
    scratch.setRaw(Root::LocalMachine, u"Big", longName.c_str(), regtype::binary, large);
    RegKey key = open(Root::LocalMachine, u"Big");
    Bytes read(large.size());
    std::uint32_t size = static_cast<std::uint32_t>(read.size());
    EXPECT_EQ(key.query(longName.c_str(), nullptr, read.data(), &size), status::success);
    EXPECT_EQ(size, large.size());
    EXPECT_TRUE(read == large);

    std::vector<char16_t> name(longName.size() + 1);
    auto count = static_cast<std::uint32_t>(name.size());
    EXPECT_EQ(key.enumerate(0, name.data(), &count, nullptr, nullptr, nullptr), status::success);
    EXPECT_EQ(count, longName.size());
}

// --- opening keys -------------------------------------------------------------------------------

struct OpenCase {
    Root root;
    const char16_t* path;
    Status expect;
};

const OpenCase kOpenCases[] = {
    {Root::LocalMachine, nullptr, status::success},
    {Root::LocalMachine, u"", status::success},
    {Root::LocalMachine, u"A\\B", status::success},
    {Root::LocalMachine, u"A\\B\\", status::success},
    {Root::LocalMachine, u"A\\B\\\\", status::success},
    {Root::LocalMachine, u"A\\\\B", status::success},
    {Root::LocalMachine, u"a\\b", status::success},
    {Root::LocalMachine, u"\\A\\B", status::bad_pathname},
    {Root::LocalMachine, u"A\\Missing", status::file_not_found},
    {Root::LocalMachine, u"Missing", status::file_not_found},
    {Root::CurrentUser, u"\\A", status::bad_pathname},
    {Root::CurrentUser, u"A", status::success},
    {Root::ClassesRoot, u".pc3", status::success},
    {Root::ClassesRoot, u"\\.pc3", status::success},
    {Root::ClassesRoot, u"\\\\.pc3", status::bad_pathname},
    {Root::ClassesRoot, u".ctb", status::file_not_found},
};

class RegistryOpen : public RegistryConformance, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(RegistryOpen, AcceptsAndRefusesPathsAsWindowsDoes) {
    scratch.createKey(Root::LocalMachine, u"A\\B");
    scratch.createKey(Root::CurrentUser, u"A");
    scratch.setString(Root::ClassesRoot, u".pc3", nullptr, u"Kind.pc3");
    const OpenCase& c = GetParam();
    KeyHandle handle = reinterpret_cast<KeyHandle>(0x1);
    const Status result = registry().openKey(c.root, c.path, &handle);
    EXPECT_EQ(result, c.expect);
    if (result == status::success)
        registry().closeKey(handle);
    else
        EXPECT_EQ(handle, nullptr) << "a failed open clears the handle";
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryOpen, ::testing::ValuesIn(kOpenCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(RegistryConformance, RootItselfHoldsItsValues) {
    scratch.setString(Root::LocalMachine, u"", u"AtRoot", u"r");
    RegKey key = open(Root::LocalMachine, nullptr);
    std::uint32_t size = 0;
    EXPECT_EQ(key.query(u"AtRoot", nullptr, nullptr, &size), status::success);
    EXPECT_EQ(size, 4u);
}

// --- enumerating values -------------------------------------------------------------------------

TEST_F(RegistryConformance, EnumerationNameCountProtocol) {
    scratch.setString(Root::LocalMachine, u"E", u"Test", u"data");
    RegKey key = open(Root::LocalMachine, u"E");

    struct {
        std::uint32_t count;
        Status expect;
        std::uint32_t countAfter;
    } const rows[] = {{4, status::more_data, 4}, {5, status::success, 4}, {64, status::success, 4}};
    for (const auto& row : rows) {
        std::array<char16_t, 64> name;
        name.fill(u'#');
        std::uint32_t count = row.count;
        EXPECT_EQ(key.enumerate(0, name.data(), &count, nullptr, nullptr, nullptr), row.expect)
            << "count " << row.count;
        EXPECT_EQ(count, row.countAfter);
        if (row.expect == status::success)
            EXPECT_EQ(std::u16string(name.data()), u"Test");
        else
            EXPECT_EQ(name[0], u'#') << "a name that doesn't fit is not written";
    }
}

TEST_F(RegistryConformance, EnumerationWithDataThatDoesNotFit) {
    scratch.setString(Root::LocalMachine, u"E", u"Name", u"0123456789");
    RegKey key = open(Root::LocalMachine, u"E");

    // The name fits, the data doesn't: the name is written, the data isn't.
    std::array<char16_t, 16> name{};
    std::uint32_t count = name.size();
    std::uint32_t type = kUntouched;
    std::array<std::uint8_t, 8> data;
    data.fill(kFill);
    std::uint32_t dataSize = data.size();
    EXPECT_EQ(key.enumerate(0, name.data(), &count, &type, data.data(), &dataSize),
              status::more_data);
    EXPECT_EQ(std::u16string(name.data()), u"Name");
    EXPECT_EQ(type, regtype::sz);
    EXPECT_EQ(dataSize, 22u);
    for (auto byte : data)
        EXPECT_EQ(byte, kFill);

    // Neither fits: the name is left alone, type and needed data size are reported.
    name.fill(u'#');
    count = 2;
    type = kUntouched;
    dataSize = data.size();
    EXPECT_EQ(key.enumerate(0, name.data(), &count, &type, data.data(), &dataSize),
              status::more_data);
    EXPECT_EQ(name[0], u'#');
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(type, regtype::sz);
    EXPECT_EQ(dataSize, 22u);
    for (auto byte : data)
        EXPECT_EQ(byte, kFill);

    // Without a data buffer the data never makes the call fail.
    count = name.size();
    dataSize = 0;
    EXPECT_EQ(key.enumerate(0, name.data(), &count, &type, nullptr, &dataSize), status::success);
    EXPECT_EQ(dataSize, 22u);
}

TEST_F(RegistryConformance, EnumerationListsEveryValueThenStops) {
    // Names whose sorted order equals their insertion order: Wine sorts, Windows doesn't.
    scratch.setString(Root::LocalMachine, u"E", nullptr, u"default");
    scratch.setString(Root::LocalMachine, u"E", u"alpha", u"1");
    scratch.setDword(Root::LocalMachine, u"E", u"beta", 2);
    scratch.setString(Root::LocalMachine, u"E", u"gamma", u"3");
    RegKey key = open(Root::LocalMachine, u"E");
    EXPECT_EQ(listed(key), (std::vector<std::u16string>{u"", u"alpha", u"beta", u"gamma"}));
    std::array<char16_t, 8> name{};
    std::uint32_t count = name.size();
    EXPECT_EQ(key.enumerate(9, name.data(), &count, nullptr, nullptr, nullptr),
              status::no_more_items);
}

TEST_F(RegistryConformance, SubKeysAreListed) {
    scratch.createKey(Root::CurrentUser, u"P\\first");
    scratch.createKey(Root::CurrentUser, u"P\\second");
    EXPECT_EQ(listed(open(Root::CurrentUser, u"P"), true),
              (std::vector<std::u16string>{u"first", u"second"}));
}

#ifndef _WIN32
// The in-memory registry keeps Windows' insertion order, where Wine would sort.
TEST_F(RegistryConformance, PortableRegistryEnumeratesInInsertionOrder) {
    for (const char16_t* name : {u"b", u"A", u"_x", u"a1"})
        scratch.setString(Root::LocalMachine, u"Order", name, u"v");
    EXPECT_EQ(listed(open(Root::LocalMachine, u"Order")),
              (std::vector<std::u16string>{u"b", u"A", u"_x", u"a1"}));
}

// HKEY_CLASSES_ROOT is the user's classes over the machine's, merged value by value.
TEST_F(RegistryConformance, PortableClassesRootMergesUserOverMachine) {
    ScratchRegistry& s = scratch;
    s.setString(Root::LocalMachine, u"Software\\Classes\\.stb", nullptr, u"machine");
    s.setString(Root::LocalMachine, u"Software\\Classes\\.stb", u"OnlyMachine", u"m");
    s.setString(Root::CurrentUser, u"Software\\Classes\\.stb", nullptr, u"user");
    s.setString(Root::LocalMachine, u"Software\\Classes\\.ctb", nullptr, u"machine-only");
    RegKey stb = open(Root::ClassesRoot, u".stb");
    EXPECT_EQ(text(stb, nullptr), u"user");
    EXPECT_EQ(text(stb, u"OnlyMachine"), u"m");
    EXPECT_EQ(listed(stb), (std::vector<std::u16string>{u"", u"OnlyMachine"}));
    EXPECT_TRUE(open(Root::ClassesRoot, u".ctb").isOpen());
}
#endif

} // namespace
} // namespace tavlo::test
