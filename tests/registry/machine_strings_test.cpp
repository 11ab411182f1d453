// Machine-wide string reads: sizes, types, the default value, and what a failed read leaves.
#include "discovery_stand_ins.h"

#include "registry/machine_strings.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

#include <optional>

namespace tavlo::test {
namespace {

namespace regtype = platform::regtype;
const std::u16string kKey = u"SOFTWARE\\Veltrane\\Corvida\\R1\\X-1";
const std::u16string kMachine = u"HKEY_LOCAL_MACHINE\\" + kKey;

struct Stored {
    std::uint32_t type;
    std::vector<std::uint8_t> data;
};
Stored sz(std::u16string_view text) {
    return {regtype::sz, utf16Bytes(text)};
}

enum class Kind { none, key, entry };

struct ReadCase {
    const char* what;
    std::optional<Stored> stored; // under the name "V", or the default value when name is null
    const char16_t* name;
    std::uint32_t initialSize;
    std::u16string before; // the output's text before the call
    Kind raised;
    std::u16string after;
    int queries; // value reads the registry saw
    bool machineKey = true;
};

const std::u16string k300(300, u'w');
const std::u16string kFormer = u"former text of some length";

const ReadCase kReadCases[] = {
    {"longer than the first guess: second read", sz(k300), u"V", 260, u"", Kind::none, k300, 2},
    {"first guess 0", sz(u"abc"), u"V", 0, u"", Kind::none, u"abc", 2},
    {"fits at once", sz(u"abc"), u"V", 10, kFormer, Kind::none, u"abc", 1},
    {"ten characters and terminator need more than ten units", sz(u"0123456789"), u"V", 10, u"",
     Kind::none, u"0123456789", 2},
    {"unterminated data filling the room", Stored{regtype::sz, utf16Bytes(u"AB", false)}, u"V", 2,
     u"", Kind::none, u"AB", 1},
    {"default value", sz(u"dflt"), nullptr, 8, u"", Kind::none, u"dflt", 1},
    {"missing default value", std::nullopt, nullptr, 8, u"", Kind::entry, u"", 1},
    {"EXPAND_SZ is not expanded and fails", Stored{regtype::expand_sz, utf16Bytes(u"%TEMP%\\x")},
     u"V", 64, kFormer, Kind::entry, u"%TEMP%\\x", 1},
    {"DWORD fails, its data read as text", Stored{regtype::dword, {0x41, 0, 0, 0}}, u"V", 8,
     kFormer, Kind::entry, u"A", 1},
    {"missing value cuts the former text", std::nullopt, u"V", 6, kFormer, Kind::entry,
     kFormer.substr(0, 6), 1},
    {"missing value keeps a short former text", std::nullopt, u"V", 64, kFormer, Kind::entry,
     kFormer, 1},
    {"missing machine key leaves the output untouched", std::nullopt, u"V", 2, kFormer, Kind::key,
     kFormer, 0, false},
};

class MachineStringTable : public ::testing::TestWithParam<ReadCase> {};

TEST_P(MachineStringTable, ReadsAndLeaves) {
    const ReadCase& c = GetParam();
    LibrarySandbox lib;
    lib.hookBesideLibrary(kKey);
    if (c.machineKey)
        lib.scratch.createKey(Root::LocalMachine, kKey);
    if (c.stored)
        lib.scratch.setRaw(Root::LocalMachine, kKey, c.name, c.stored->type, c.stored->data);

    std::u16string out = c.before;
    Kind raised = Kind::none;
    std::u16string argument;
    try {
        EXPECT_EQ(registry::GetHKeyLocalMachineString(out, c.name, c.initialSize), 0);
    } catch (const TAVLO_Key_Error& e) {
        raised = Kind::key;
        argument = e.argument;
        EXPECT_EQ(e.messageId, 55u);
        EXPECT_EQ(std::u16string(e.operation), u"GetHKeyLocalMachineString");
    } catch (const TAVLO_Entry_Error& e) {
        raised = Kind::entry;
        argument = e.argument;
        EXPECT_EQ(e.messageId, 55u);
        EXPECT_EQ(std::u16string(e.operation), u"GetHKeyLocalMachineString");
    }
    EXPECT_EQ(raised, c.raised) << c.what;
    EXPECT_EQ(out, c.after) << c.what;
    EXPECT_EQ(lib.registry.queries, c.queries) << c.what;
    // A missing default value is named by the key alone, without a trailing backslash.
    const std::u16string named = c.name ? kMachine + u"\\" + c.name : kMachine;
    EXPECT_EQ(argument, c.raised == Kind::none  ? u""
                        : c.raised == Kind::key ? kMachine
                                                : named)
        << c.what;
    EXPECT_TRUE(lib.handler.calls.empty()) << "the typed reader reports nothing";
}

INSTANTIATE_TEST_SUITE_P(Reads, MachineStringTable, ::testing::ValuesIn(kReadCases));

} // namespace
} // namespace tavlo::test
