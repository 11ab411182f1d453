// The host product's identity: names taken from the app key's components, and the machine-wide
// values of its installation.
#include "settings_sandbox.h"

#include "identity/identity.h"

#include <gtest/gtest.h>

namespace tavlo::test {
namespace {

using namespace identity;
namespace regtype = platform::regtype;

TEST(Identity, NamesTakenFromTheKeysComponents) {
    // key, program, company, base
    const std::u16string names[][4] = {
        {u"SOFTWARE\\Veltrane\\Corvida\\R1\\KORA-7:1", u"KORA", u"Veltrane", u"Corvida"},
        {u"Software\\veltrane\\CORVIDA\\R1\\kora-1-2", u"kora", u"veltrane", u"CORVIDA"},
        {u"SOFTWARE\\Veltrane\\Corvida\\R1\\KORA", u"", u"Veltrane", u"Corvida"},
        {u"SOFTWARE\\Veltrane\\Corvida\\R1\\-7", u"", u"Veltrane", u"Corvida"},
        {u"SOFTWARE\\Veltrane\\Corvida\\R1\\", u"", u"Veltrane", u"Corvida"},
        {u"SOFTWARE\\Veltrane\\", u"", u"Veltrane", u""},
        {u"SOFTWARE\\Veltrane", u"", u"", u""},
        {u"A\\B-1", u"B", u"", u""},
        {u"\\SOFTWARE\\Veltrane\\Corvida\\R1", u"", u"SOFTWARE", u"Veltrane"},
        {u"SOFTWARE\\\\Corvida\\R1", u"", u"", u"Corvida"},
        {u"SOFTWARE\\Veltrane\\\\R1-2", u"R1", u"Veltrane", u""},
    };
    SettingsSandbox lib; // some of these keys can't exist in a registry
    for (const auto& [key, program, company, base] : names) {
        lib.scope.get().appKeyCache = key;
        EXPECT_EQ(GetProgramName(), program) << std::string(key.begin(), key.end());
        EXPECT_EQ(GetCompanyName(), company) << std::string(key.begin(), key.end());
        EXPECT_EQ(GetProductBaseName(), base) << std::string(key.begin(), key.end());
    }
    EXPECT_EQ(lib.reportIds(), "");
}

struct MachineCase {
    std::u16string (*get)();
    const char16_t* name;
    std::uint32_t type; // 0: missing
    std::u16string stored, expected;
    const char* reports;
};

const std::u16string k300(300, u'L');

// clang-format off
const MachineCase kMachine[] = {
    {GetAppDirectory, u"Location", regtype::sz, u"C:\\Prog\\\\", u"C:\\Prog", ""},
    {GetAppDirectory, u"Location", regtype::sz, k300, k300, ""},
    {GetAppDirectory, u"Location", regtype::sz, u"", u"", ""},
    {GetAppDirectory, u"Location", 0, u"", u"", "55"},
    {GetAppDirectory, u"Location", regtype::expand_sz, u"C:\\P", u"", "55"},
    {GetLanguage, u"Language", regtype::sz, u" en \\\\ ", u" en \\\\ ", ""},
    {GetLanguage, u"Language", 0, u"", u"", "55"},
    {GetProductName, u"ProductName", regtype::binary, u"12", u"", "55"},
};
// clang-format on

TEST(MachineValues, ReadOnceAndReportedOnce) {
    for (const MachineCase& c : kMachine) {
        SCOPED_TRACE(&c - kMachine);
        SettingsSandbox lib;
        lib.machine(u"Other", u"X:\\decoy");
        if (c.type != 0)
            lib.scratch.setRaw(Root::LocalMachine, lib.key, c.name, c.type, utf16Bytes(c.stored));
        EXPECT_EQ(c.get(), c.expected);
        EXPECT_EQ(lib.reportIds(), c.reports);
    }
}

} // namespace
} // namespace tavlo::test
