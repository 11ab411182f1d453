// The host product's identity: names taken from the app key's components, and the machine-wide
// values of its installation.
#include "settings_sandbox.h"

#include "identity/identity.h"

#include <gtest/gtest.h>

namespace tavlo::test {
namespace {

using namespace identity;
namespace regtype = platform::regtype;

struct NameCase {
    std::u16string key;
    std::u16string program, company, base;
};

const NameCase kNames[] = {
    {u"SOFTWARE\\Veltrane\\Corvida\\R1\\KORA-7:1", u"KORA", u"Veltrane", u"Corvida"},
    {u"Software\\veltrane\\CORVIDA\\R1\\kora-1-2", u"kora", u"veltrane", u"CORVIDA"},
    {u"SOFTWARE\\Veltrane\\Corvida\\R1\\KORA", u"", u"Veltrane", u"Corvida"},
    {u"SOFTWARE\\Veltrane\\Corvida\\R1\\-7", u"", u"Veltrane", u"Corvida"},
    {u"SOFTWARE\\Veltrane\\Corvida\\R1\\", u"", u"Veltrane", u"Corvida"},
    {u"SOFTWARE\\Veltrane\\Corvida", u"", u"Veltrane", u""},
    {u"SOFTWARE\\Veltrane\\", u"", u"Veltrane", u""},
    {u"SOFTWARE\\Veltrane", u"", u"", u""},
    {u"KORA-7", u"", u"", u""},
    {u"A\\B-1", u"B", u"", u""},
    {u"\\SOFTWARE\\Veltrane\\Corvida\\R1", u"", u"SOFTWARE", u"Veltrane"},
    {u"SOFTWARE\\\\Corvida\\R1", u"", u"", u"Corvida"},
    {u"SOFTWARE\\Veltrane\\\\R1-2", u"R1", u"Veltrane", u""},
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << std::string(c.key.begin(), c.key.end());
}

class Names : public ::testing::TestWithParam<NameCase> {};

TEST_P(Names, TakenFromTheKeysComponents) {
    const NameCase& c = GetParam();
    SettingsSandbox lib(u""); // some of these keys can't exist in a registry
    lib.scope.get().appKeyCache = c.key;
    EXPECT_EQ(GetProgramName(), c.program);
    EXPECT_EQ(GetCompanyName(), c.company);
    EXPECT_EQ(GetProductBaseName(), c.base);
    EXPECT_EQ(lib.reportIds(), "");
}

INSTANTIATE_TEST_SUITE_P(Keys, Names, ::testing::ValuesIn(kNames));

struct MachineCase {
    const char* what;
    std::u16string (*get)();
    const char16_t* name;
    std::uint32_t type;
    std::u16string stored; // empty with type 0: missing
    std::u16string expected;
    const char* reports;
};

const std::u16string k300(300, u'L');

const MachineCase kMachine[] = {
    {"directory", GetAppDirectory, u"Location", regtype::sz, u"C:\\Prog\\\\", u"C:\\Prog", ""},
    {"drive root", GetAppDirectory, u"Location", regtype::sz, u"C:\\", u"C:", ""},
    {"longer than the first read", GetAppDirectory, u"Location", regtype::sz, k300, k300, ""},
    {"empty: not reported", GetAppDirectory, u"Location", regtype::sz, u"", u"", ""},
    {"missing", GetAppDirectory, u"Location", 0, u"", u"", "55"},
    {"expandable", GetAppDirectory, u"Location", regtype::expand_sz, u"C:\\P", u"", "55"},
    {"language as stored", GetLanguage, u"Language", regtype::sz, u" en \\\\ ", u" en \\\\ ", ""},
    {"language missing", GetLanguage, u"Language", 0, u"", u"", "55"},
    {"language of 300", GetLanguage, u"Language", regtype::sz, k300, k300, ""},
    {"product name as stored", GetProductName, u"ProductName", regtype::sz, u"Corvida 9 \\",
     u"Corvida 9 \\", ""},
    {"product name binary", GetProductName, u"ProductName", regtype::binary, u"12", u"", "55"},
};

void PrintTo(const MachineCase& c, std::ostream* os) {
    *os << c.what;
}

class MachineValues : public ::testing::TestWithParam<MachineCase> {};

TEST_P(MachineValues, ReadOnceAndReportedOnce) {
    const MachineCase& c = GetParam();
    SettingsSandbox lib;
    lib.machine(u"Other", u"X:\\decoy");
    if (c.type != 0)
        lib.scratch.setRaw(Root::LocalMachine, lib.key, c.name, c.type, utf16Bytes(c.stored));
    EXPECT_EQ(c.get(), c.expected);
    EXPECT_EQ(lib.reportIds(), c.reports);
}

INSTANTIATE_TEST_SUITE_P(Values, MachineValues, ::testing::ValuesIn(kMachine));

TEST(MachineValues, MissingKeyIsReportedWithItsPath) {
    SettingsSandbox lib;
    EXPECT_EQ(GetProductName(), u"");
    ASSERT_EQ(lib.handler.calls.size(), 1u);
    EXPECT_EQ(lib.handler.calls[0].message, u"55[HKEY_LOCAL_MACHINE\\" + kOtherKey + u"]");
}

} // namespace
} // namespace tavlo::test
