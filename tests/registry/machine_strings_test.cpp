// Machine-wide string reads: the second read at the size the registry reports, types, and what a
// failed read leaves in the output.
#include "settings_sandbox.h"

#include "registry/machine_strings.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

namespace tavlo::test {
namespace {

namespace regtype = platform::regtype;
constexpr std::uint32_t kMissing = 0, kNoKey = 99;

struct ReadCase {
    std::uint32_t type; // kMissing: no value; kNoKey: not even the machine key
    std::vector<std::uint8_t> stored;
    const char16_t* name;
    std::uint32_t initialSize;
    const char* raised; // "", "Key" or "Entry"
    std::u16string after;
    int queries;
};

const std::u16string k300(300, u'w'), kFormer = u"former text";

// clang-format off
const ReadCase kCases[] = {
    {regtype::sz, utf16Bytes(k300), u"V", 260, "", k300, 2},
    {regtype::sz, utf16Bytes(u"abc"), u"V", 0, "", u"abc", 2},
    {regtype::sz, utf16Bytes(u"abc"), nullptr, 10, "", u"abc", 1},
    {regtype::sz, utf16Bytes(u"0123456789"), u"V", 10, "", u"0123456789", 2},
    {regtype::sz, utf16Bytes(u"AB", false), u"V", 2, "", u"AB", 1},
    {regtype::expand_sz, utf16Bytes(u"%TEMP%\\x"), u"V", 64, "Entry", u"%TEMP%\\x", 1},
    {regtype::dword, {0x41, 0, 0, 0}, u"V", 8, "Entry", u"A", 1},
    {kMissing, {}, u"V", 6, "Entry", kFormer.substr(0, 6), 1},
    {kMissing, {}, u"V", 64, "Entry", kFormer, 1},
    {kNoKey, {}, u"V", 2, "Key", kFormer, 0},
};
// clang-format on

TEST(MachineStrings, ReadsAndLeaves) {
    for (const ReadCase& c : kCases) {
        SCOPED_TRACE(&c - kCases);
        SettingsSandbox lib;
        if (c.type != kNoKey)
            lib.scratch.createKey(Root::LocalMachine, lib.key);
        if (c.type != kNoKey && c.type != kMissing)
            lib.scratch.setRaw(Root::LocalMachine, lib.key, c.name, c.type, c.stored);
        std::u16string out = kFormer, raised;
        try {
            EXPECT_EQ(registry::GetHKeyLocalMachineString(out, c.name, c.initialSize), 0);
        } catch (const TAVLO_Key_Error&) {
            raised = u"Key";
        } catch (const TAVLO_Entry_Error&) {
            raised = u"Entry";
        }
        EXPECT_EQ(std::string(raised.begin(), raised.end()), c.raised);
        EXPECT_EQ(out, c.after);
        EXPECT_EQ(lib.registry.queries, c.queries);
    }
}

} // namespace
} // namespace tavlo::test
