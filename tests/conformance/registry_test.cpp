// The registry calls the library depends on, checked against the backend of the build: the
// real API under Wine, the in-memory registry natively. Both must give the same answers.
#include "registry_fixture.h"

#include "platform/services.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace tavlo::test {
namespace {

using namespace platform;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kUntouched = 0xDEADBEEF;
constexpr std::uint8_t kFill = 0xCC;
constexpr std::uint32_t kNoBuffer = 0xFFFFFFFF;

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

// What is stored, its type and bytes; the buffer's size; the result, the size reported and the
// buffer's first bytes after the call (none: nothing of it changes).
// clang-format off
const std::tuple<const char*, std::uint32_t, Bytes, std::uint32_t, Status, std::uint32_t, Bytes> kQueryCases[] = {
    {"terminated string, room to spare", regtype::sz, utf16Bytes(u"AB"), 16, status::success, 6, utf16Bytes(u"AB")},
    {"ten characters need 22 bytes", regtype::sz, utf16Bytes(u"0123456789"), 20, status::more_data, 22, {}},
    {"exact fit", regtype::sz, utf16Bytes(u"0123456789"), 22, status::success, 22, utf16Bytes(u"0123456789")},
    {"unterminated string, no spare bytes", regtype::sz, utf16Bytes(u"AB", false), 4, status::success, 4, utf16Bytes(u"AB", false)},
    {"unterminated string gains a terminator", regtype::sz, utf16Bytes(u"AB", false), 6, status::success, 4, utf16Bytes(u"AB")},
    {"unterminated expandable string", regtype::expand_sz, utf16Bytes(u"%X%", false), 8, status::success, 6, utf16Bytes(u"%X%")},
    {"odd byte count is not rounded", regtype::binary, {1, 2, 3}, 8, status::success, 3, {1, 2, 3}},
    {"a number read as text gives raw bytes", regtype::dword, {0x78, 0x56, 0x34, 0x12}, 16, status::success, 4, {0x78, 0x56, 0x34, 0x12}},
    {"zero-length string", regtype::sz, {}, 8, status::success, 0, {}},
    {"zero-length buffer for a number", regtype::dword, {1, 0, 0, 0}, 0, status::more_data, 4, {}},
    {"no buffer: the size given is ignored", regtype::sz, utf16Bytes(u"hello"), kNoBuffer, status::success, 12, {}},
};
// clang-format on

TEST_F(RegistryConformance, QueriesFollowTheSizeProtocol) {
    for (const auto& [what, storedType, stored, bufferSize, expect, expectSize, prefix] :
         kQueryCases) {
        SCOPED_TRACE(what);
        scratch.setRaw(Root::LocalMachine, u"Q", u"v", storedType, stored);
        const bool sized = bufferSize != kNoBuffer;
        Bytes buffer(sized ? bufferSize + 8 : 8, kFill);
        std::uint32_t type = kUntouched, size = sized ? bufferSize : 1;
        RegKey key = open(Root::LocalMachine, u"Q");
        EXPECT_EQ(key.query(u"v", &type, sized ? buffer.data() : nullptr, &size), expect);
        EXPECT_EQ(std::pair(type, size), std::pair(storedType, expectSize));
        const Bytes& after = prefix.empty() ? Bytes(buffer.size(), kFill) : prefix;
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + after.size()), after);
    }
}

// A missing value leaves the type alone; the default value answers to a null or an empty name;
// the root itself holds values; key and value names ignore case.
TEST_F(RegistryConformance, ValueNames) {
    scratch.createKey(Root::LocalMachine, u"NoDefault");
    scratch.setString(Root::LocalMachine, u"WithDefault", nullptr, u"dflt");
    scratch.setString(Root::LocalMachine, u"", u"AtRoot", u"r");
    RegKey without = open(Root::LocalMachine, u"NoDefault");
    std::uint8_t buffer[8] = {};
    std::uint32_t type = kUntouched, size = sizeof buffer;
    EXPECT_EQ(without.query(u"absent", &type, buffer, &size), status::file_not_found);
    EXPECT_EQ(type, kUntouched);
    for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u""}) {
        EXPECT_EQ(without.query(name, nullptr, nullptr, &size), status::file_not_found);
        EXPECT_EQ(text(open(Root::LocalMachine, u"WithDefault"), name), u"dflt");
    }
    EXPECT_EQ(text(open(Root::LocalMachine, nullptr), u"AtRoot"), u"r");
    scratch.setString(Root::CurrentUser, u"Software\\Mixed\\Case", u"ValueName", u"x");
    for (const char16_t* path : {u"software\\MIXED\\case", u"SOFTWARE\\mixed\\CASE"})
        for (const char16_t* name : {u"valuename", u"VALUENAME", u"ValueName"})
            EXPECT_EQ(text(open(Root::CurrentUser, path), name), u"x");
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

// Per root: the paths that open, the malformed ones and the missing ones.
struct OpenCase {
    Root root;
    std::vector<const char16_t*> opens, malformed, missing;
};

const OpenCase kOpenCases[] = {
    {Root::LocalMachine,
     {nullptr, u"", u"A\\B", u"A\\B\\", u"A\\B\\\\", u"A\\\\B", u"a\\b"},
     {u"\\A\\B"},
     {u"A\\Missing", u"Missing"}},
    {Root::CurrentUser, {u"A"}, {u"\\A"}, {}},
    {Root::ClassesRoot, {u".pc3", u"\\.pc3"}, {u"\\\\.pc3"}, {u".ctb"}},
};

TEST_F(RegistryConformance, OpenAcceptsAndRefusesPathsAsWindowsDoes) {
    scratch.createKey(Root::LocalMachine, u"A\\B");
    scratch.createKey(Root::CurrentUser, u"A");
    scratch.setString(Root::ClassesRoot, u".pc3", nullptr, u"Kind.pc3");
    for (const OpenCase& c : kOpenCases) {
        for (const auto& [paths, expect] :
             {std::pair(&c.opens, status::success), std::pair(&c.malformed, status::bad_pathname),
              std::pair(&c.missing, status::file_not_found)}) {
            for (const char16_t* path : *paths) {
                const std::u16string_view shown = path ? path : u"(null)";
                SCOPED_TRACE(testing::Message() << "root " << static_cast<int>(c.root) << ", "
                                                << std::string(shown.begin(), shown.end()));
                KeyHandle handle = reinterpret_cast<KeyHandle>(0x1);
                const Status result = registry().openKey(c.root, path, &handle);
                EXPECT_EQ(result, expect);
                if (result == status::success)
                    registry().closeKey(handle);
                else
                    EXPECT_EQ(handle, nullptr) << "a failed open clears the handle";
            }
        }
    }
}

// --- enumerating values -------------------------------------------------------------------------

TEST_F(RegistryConformance, EnumerationNameAndDataThatDoNotFit) {
    scratch.setString(Root::LocalMachine, u"E", u"Name", u"0123456789");
    RegKey key = open(Root::LocalMachine, u"E");
    // Name room; data room (0: no data buffer; kNoBuffer: neither type, data nor its size asked
    // for); result; the name's first units afterwards ("#": left alone, and its room unchanged).
    const std::tuple<std::uint32_t, std::uint32_t, Status, std::u16string> rows[] = {
        {4, kNoBuffer, status::more_data, u"#"},
        {5, kNoBuffer, status::success, u"Name"},
        {16, kNoBuffer, status::success, u"Name"},
        {16, 8, status::more_data, u"Name"}, // the name fits, the data doesn't: the name is written
        {2, 8, status::more_data, u"#"},     // neither fits: the name is left alone
        {16, 0, status::success, u"Name"},   // without a data buffer the data never fails the call
    };
    for (const auto& [room, dataRoom, expect, written] : rows) {
        SCOPED_TRACE(testing::Message() << "name room " << room << ", data room " << dataRoom);
        const bool withData = dataRoom != kNoBuffer;
        std::u16string name(16, u'#');
        Bytes data(8, kFill);
        std::uint32_t count = room, type = kUntouched, dataSize = dataRoom;
        EXPECT_EQ(key.enumerate(0, name.data(), &count, withData ? &type : nullptr,
                                withData && dataRoom ? data.data() : nullptr,
                                withData ? &dataSize : nullptr),
                  expect);
        EXPECT_EQ(name.substr(0, written.size()), written);
        if (written == u"#" || expect == status::success) {
            EXPECT_EQ(count, written == u"#" ? room : 4u);
        }
        EXPECT_EQ(type, withData ? regtype::sz : kUntouched);
        EXPECT_EQ(dataSize, withData ? 22u : kNoBuffer) << "the data's size is reported";
        EXPECT_EQ(data, Bytes(8, kFill)) << "the data is not written";
    }
}

TEST_F(RegistryConformance, EnumerationListsEveryValueAndSubKeyThenStops) {
    // Names whose sorted order equals their insertion order: Wine sorts, Windows doesn't.
    scratch.setString(Root::LocalMachine, u"E", nullptr, u"default");
    scratch.setString(Root::LocalMachine, u"E", u"alpha", u"1");
    scratch.setDword(Root::LocalMachine, u"E", u"beta", 2);
    scratch.setString(Root::LocalMachine, u"E", u"gamma", u"3");
    scratch.createKey(Root::LocalMachine, u"E\\first");
    scratch.createKey(Root::LocalMachine, u"E\\second");
    RegKey key = open(Root::LocalMachine, u"E");
    EXPECT_EQ(listed(key), (std::vector<std::u16string>{u"", u"alpha", u"beta", u"gamma"}));
    EXPECT_EQ(listed(key, true), (std::vector<std::u16string>{u"first", u"second"}));
    std::array<char16_t, 8> name{};
    std::uint32_t count = name.size();
    EXPECT_EQ(key.enumerate(9, name.data(), &count, nullptr, nullptr, nullptr),
              status::no_more_items);
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
