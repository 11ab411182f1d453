// The host product's identity: names taken from the app key's components, and back-door driver
// notices: which registration matches a driver name, where the notice's template comes from, and
// how the flat export hands it over within the caller's buffer.
#include "settings_sandbox.h"

#include "identity/identity.h"
#include "identity/notice.h"
#include "tavlo/tavlo.hpp"

namespace tavlo::test {
namespace {

using namespace identity;

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
        SCOPED_TRACE(narrow(key));
        lib.scope.get().appKeyCache = key;
        EXPECT_EQ(GetProgramName(), program);
        EXPECT_EQ(GetCompanyName(), company);
        EXPECT_EQ(GetProductBaseName(), base);
    }
    EXPECT_EQ(lib.reportIds(), "");
}

const std::u16string kHpgl = u"C:\\Drv\\hpgl.dll", kOther = u"C:\\Drv\\other.dll";
const std::u16string kPlain = u"C:\\Drv\\plain.dll",
                     kBig = u"C:\\Drv\\big.dll"; // no string 1; long
const std::u16string kP511 = u"C:\\" + std::u16string(504, u'p') + u".dll", kP512 = kP511 + u"l";
const std::u16string kHpglNotice = u"HPGL for Corvida 2.", kDefault = u"Default for Corvida 2.";

// The product Corvida 2 with registrations below the CSP key, drivers' modules held in memory
// (any other path loads for real), and a resource module whose string 1 is the default notice.
struct Notices : SettingsSandbox {
    explicit Notices(bool product = true) {
        if (product)
            machine(u"ProductName", u"Corvida 2");
        modules.passThrough = true;
        modules.add(u"tavlo9Res.dll").strings[1] = u"Default for %1.";
        modules.add(kHpgl).strings[1] = u"HPGL for %1.";
        modules.add(kOther).strings[1] = u"Other for %1.";
        modules.add(kPlain).strings[7] = u"Seven";
        modules.add(kBig).strings[1] = std::u16string(3000, u'b');
        modules.add(kP511).strings[1] = modules.add(kP512).strings[1] = u"Long for %1.";
    }
    void add(const char16_t* fragment, std::uint32_t type, const std::u16string& path) {
        scratch.setRaw(Root::LocalMachine, u"Software\\Veltrane\\CSP", fragment, type,
                       utf16Bytes(path));
    }
};

Log loaded(const std::u16string& path) {
    return {u"load " + path, u"free " + path};
}

// Wine enumerates values sorted by name, Windows in the order they were made: where the order
// matters, the names sort in the order they are made. A null fragment is the default value.
TEST(Notice, FromTheFirstMatchingRegistration) {
    using Registrations = std::vector<std::tuple<const char16_t*, std::uint32_t, std::u16string>>;
    const std::u16string k254(254, u'z'), k300(300, u'a');
    const auto sz = regtype::sz;
    // clang-format off
    const std::tuple<Registrations, std::u16string, std::optional<std::u16string>, Log> rows[] = {
        {{{u"HPGL", sz, kHpgl}}, u"MyHpgl-Driver.drv", kHpglNotice, loaded(kHpgl)},
        {{{u"HPGL", sz, kHpgl}}, u"hpg.drv", std::nullopt, {}},
        {{{u"Driver", sz, kOther}, {u"hpgl", sz, kHpgl}}, u"MyHpgl-Driver.drv", u"Other for Corvida 2.", loaded(kOther)},
        {{{u"apcl", sz, kOther}, {u"hpgl", sz, kHpgl}}, u"x.hpgl", kHpglNotice, loaded(kHpgl)},
        {{{u"apcl", sz, kOther}, {nullptr, sz, kHpgl}}, u"anything", kHpglNotice, loaded(kHpgl)},
        {{{u"\u00c4RGER", sz, kHpgl}}, u"x\u00e4rgerx", kHpglNotice, loaded(kHpgl)},
        {{{k254.c_str(), sz, kHpgl}}, k254 + u".drv", kHpglNotice, loaded(kHpgl)},
        {{{k300.c_str(), sz, kOther}, {u"hpgl", sz, kHpgl}}, u"hpgl", std::nullopt, {}},
        {{{u"hpgl", regtype::expand_sz, kHpgl}}, u"hpgl", kDefault, {}},
        {{{u"hpgl", sz, kPlain}}, u"hpgl", kDefault, loaded(kPlain)},
        {{{u"hpgl", sz, u"C:\\missing.dll"}}, u"hpgl", kDefault, {u"load C:\\missing.dll: none"}},
        {{{u"hpgl", sz, kP511}}, u"hpgl", u"Long for Corvida 2.", loaded(kP511)},
        {{{u"hpgl", sz, kP512}}, u"hpgl", u"Long for Corvida 2.", loaded(kP512)},
        {{{u"hpgl", sz, kBig}}, u"hpgl", std::u16string(2048, u'b'), loaded(kBig)},
        {{}, u"hpgl", std::nullopt, {}},
    };
    // clang-format on
    for (const auto& [registrations, driver, expected, modules] : rows) {
        Notices n;
        n.scratch.createKey(Root::LocalMachine, u"Software\\Veltrane\\CSP");
        for (const auto& [fragment, type, path] : registrations)
            n.add(fragment, type, path);
        std::u16string notice = u"unchanged";
        EXPECT_EQ(identity::IsBackDoorDriverAvailable(driver.c_str(), notice),
                  expected.has_value());
        EXPECT_EQ(notice, expected.value_or(u"unchanged"));
        EXPECT_EQ(n.modules.log, modules);
        EXPECT_EQ(n.modules.outstanding, 0);
        EXPECT_EQ(n.reportIds(), "");
    }
}

TEST(Notice, NoKeyOrNoProductName) {
    Notices n(false);
    std::u16string notice = u"unchanged";
    EXPECT_FALSE(::IsBackDoorDriverAvailable(u"hpgl", notice)); // through the typed export
    EXPECT_EQ(notice, u"unchanged");
    n.add(u"hpgl", regtype::sz, kHpgl);
    EXPECT_TRUE(identity::IsBackDoorDriverAvailable(u"hpgl", notice));
    EXPECT_EQ(notice, u"HPGL for .");
    EXPECT_EQ(n.reportIds(), "55");
}

// A driver module on disk: the shipped resource module serves as one on both builds.
TEST(Notice, RealModuleOnDisk) {
    Notices n;
    n.add(u"hpgl", regtype::sz, std::filesystem::path(TAVLO_RES_DLL).u16string());
    std::u16string notice;
    EXPECT_TRUE(identity::IsBackDoorDriverAvailable(u"hpgl", notice));
    EXPECT_NE(notice.find(u" Corvida 2 "), std::u16string::npos);
    EXPECT_EQ(notice.find(u"%1"), std::u16string::npos);
    EXPECT_EQ(n.modules.outstanding, 0);
}

// The size asked for always comes back; the notice is written only whole, and an empty string
// whenever there is room for one; nothing is written past the capacity.
TEST(CheckForBackDoor, NeverWritesPastTheCapacity) {
    const std::int32_t need = static_cast<std::int32_t>(kHpglNotice.size() + 1);
    const std::tuple<bool, std::int32_t, bool, TavloRetVal, std::u16string> rows[] = {
        {true, need, false, TAVLO_Success, kHpglNotice},
        {true, need - 1, false, TAVLO_Buffer_Too_Small, u""},
        {true, 1, false, TAVLO_Buffer_Too_Small, u""},
        {true, 0, false, TAVLO_Buffer_Too_Small, u"untouched"},
        {true, 0, true, TAVLO_Buffer_Too_Small, u"untouched"}, // no buffer
        {false, 1, false, TAVLO_Success, u""},
        {false, 0, false, TAVLO_Buffer_Too_Small, u"untouched"},
    };
    for (const auto& [registered, capacity, nullBuffer, result, content] : rows) {
        Notices n;
        if (registered)
            n.add(u"HPGL", regtype::sz, kHpgl);
        std::vector<char16_t> buffer(static_cast<std::size_t>(capacity) + 8, u'#');
        std::int32_t size = capacity;
        TavloBool available = 7;
        auto* out = nullBuffer ? nullptr : reinterpret_cast<TavloChar*>(buffer.data());
        EXPECT_EQ(CheckForBackDoorDriver(tc(u"MyHpgl.drv"), out, &size, &available), result);
        EXPECT_EQ(available, registered ? 1 : 0);
        EXPECT_EQ(size, registered ? need : 1);
        EXPECT_EQ(std::u16string(buffer.begin() + capacity, buffer.end()), u"########") << capacity;
        EXPECT_EQ(buffer[0] == u'#' ? u"untouched" : std::u16string(buffer.data()), content);
    }
}

} // namespace
} // namespace tavlo::test
