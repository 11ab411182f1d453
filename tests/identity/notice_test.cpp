// Back-door driver notices: which registration matches a driver name, where the notice's
// template comes from, and how the flat export hands it over within the caller's buffer.
#include "help_stand_ins.h"
#include "settings_sandbox.h"

#include "identity/notice.h"
#include "tavlo/tavlo.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace tavlo::test {
namespace {

namespace regtype = platform::regtype;

const std::u16string kCsp = u"Software\\Veltrane\\CSP";
const std::u16string kHpgl = u"C:\\Drv\\hpgl.dll";
const std::u16string kOther = u"C:\\Drv\\other.dll";
const std::u16string kPlain = u"C:\\Drv\\plain.dll"; // loads, has no string 1
const std::u16string kBig = u"C:\\Drv\\big.dll";
const std::u16string kMissing = u"C:\\Drv\\missing.dll";
const std::u16string kPath511 = u"C:\\" + std::u16string(504, u'p') + u".dll";
const std::u16string kPath512 = u"C:\\" + std::u16string(505, u'p') + u".dll";
const std::u16string kPath600 = u"C:\\" + std::u16string(593, u'p') + u".dll";
const std::u16string kHpglNotice = u"HPGL for Corvida 2.";
const std::u16string kDefaultNotice = u"Default for Corvida 2.";

// The product Corvida 2 with registrations below the CSP key, drivers' modules held in memory
// (any other path loads for real), and a resource module whose string 1 is the default notice.
struct Notices {
    explicit Notices(bool product = true) : modules(log) {
        if (product)
            lib.machine(u"ProductName", u"Corvida 2");
        auto& res = modules.add(u"tavlo9Res.dll");
        res.strings = lib.modules.strings;
        res.strings[1] = u"Default for %1.";
        modules.add(kHpgl).strings[1] = u"HPGL for %1.";
        modules.add(kOther).strings[1] = u"Other for %1.";
        modules.add(kPlain).strings[7] = u"Seven";
        modules.add(kBig).strings[1] = std::u16string(3000, u'b');
        for (const auto& path : {kPath511, kPath512, kPath600})
            modules.add(path).strings[1] = u"Long for %1.";
        frame::LibraryState& state = lib.scope.get();
        state.resourceModule = modules.handleOf(u"tavlo9Res.dll");
        state.services.modules = &modules;
    }
    void registration(const char16_t* fragment, std::uint32_t type, const std::u16string& data) {
        lib.scratch.setRaw(Root::LocalMachine, kCsp, fragment, type, utf16Bytes(data));
    }

    SettingsSandbox lib;
    Log log;
    FakeModules modules;
};

struct Registration {
    std::optional<std::u16string> fragment; // none: the key's default value
    std::uint32_t type;
    std::u16string path;
};

struct NoticeCase {
    const char* what;
    std::vector<Registration> registrations;
    std::u16string driver;
    bool available;
    std::u16string notice; // "unchanged": as the caller passed it
    Log modules;           // loads and frees of drivers' modules
};

void PrintTo(const NoticeCase& c, std::ostream* os) {
    *os << c.what;
}

// Wine enumerates values sorted by name, Windows in the order they were made: where the order
// matters, the names sort in the order they are made.
const std::u16string k300(300, u'a');
const std::u16string k254(254, u'z');
const Log kHpglLoad{u"load " + kHpgl, u"free " + kHpgl};

const NoticeCase kCases[] = {
    {"fragment inside, case ignored",
     {{u"HPGL", regtype::sz, kHpgl}},
     u"MyHpgl-Driver.drv",
     true,
     kHpglNotice,
     kHpglLoad},
    {"fragment not inside", {{u"HPGL", regtype::sz, kHpgl}}, u"hpg.drv", false, u"unchanged", {}},
    {"first of two matches",
     {{u"Driver", regtype::sz, kOther}, {u"hpgl", regtype::sz, kHpgl}},
     u"MyHpgl-Driver.drv",
     true,
     u"Other for Corvida 2.",
     {u"load " + kOther, u"free " + kOther}},
    {"first of two matches, the other way",
     {{u"hpgl", regtype::sz, kHpgl}, {u"Myhpgl", regtype::sz, kOther}},
     u"MyHpgl-Driver.drv",
     true,
     kHpglNotice,
     kHpglLoad},
    {"a value that doesn't match first",
     {{u"apcl", regtype::sz, kOther}, {u"hpgl", regtype::sz, kHpgl}},
     u"x.hpgl",
     true,
     kHpglNotice,
     kHpglLoad},
    {"default value matches any name",
     {{u"apcl", regtype::sz, kOther}, {std::nullopt, regtype::sz, kHpgl}},
     u"anything",
     true,
     kHpglNotice,
     kHpglLoad},
    {"non-ASCII case",
     {{u"\u00c4RGER", regtype::sz, kHpgl}},
     u"x\u00e4rgerx",
     true,
     kHpglNotice,
     kHpglLoad},
    {"name of 254 characters",
     {{k254, regtype::sz, kHpgl}},
     k254 + u".drv",
     true,
     kHpglNotice,
     kHpglLoad},
    {"a name too long to enumerate ends the search",
     {{k300, regtype::sz, kOther}, {u"hpgl", regtype::sz, kHpgl}},
     u"hpgl",
     false,
     u"unchanged",
     {}},
    {"expandable path counts as empty",
     {{u"hpgl", regtype::expand_sz, kHpgl}},
     u"hpgl",
     true,
     kDefaultNotice,
     {}},
    {"binary path counts as empty",
     {{u"hpgl", regtype::binary, kHpgl}},
     u"hpgl",
     true,
     kDefaultNotice,
     {}},
    {"empty path", {{u"hpgl", regtype::sz, u""}}, u"hpgl", true, kDefaultNotice, {}},
    {"module without string 1",
     {{u"hpgl", regtype::sz, kPlain}},
     u"hpgl",
     true,
     kDefaultNotice,
     {u"load " + kPlain, u"free " + kPlain}},
    {"module that doesn't load",
     {{u"hpgl", regtype::sz, kMissing}},
     u"hpgl",
     true,
     kDefaultNotice,
     {u"load " + kMissing + u": none"}},
    {"path of 511",
     {{u"hpgl", regtype::sz, kPath511}},
     u"hpgl",
     true,
     u"Long for Corvida 2.",
     {u"load " + kPath511, u"free " + kPath511}},
    {"path of 512: read again",
     {{u"hpgl", regtype::sz, kPath512}},
     u"hpgl",
     true,
     u"Long for Corvida 2.",
     {u"load " + kPath512, u"free " + kPath512}},
    {"path of 600: read again",
     {{u"hpgl", regtype::sz, kPath600}},
     u"hpgl",
     true,
     u"Long for Corvida 2.",
     {u"load " + kPath600, u"free " + kPath600}},
    {"notice cut to 2048",
     {{u"hpgl", regtype::sz, kBig}},
     u"hpgl",
     true,
     std::u16string(2048, u'b'),
     {u"load " + kBig, u"free " + kBig}},
    {"key without values", {}, u"hpgl", false, u"unchanged", {}},
};

class Notice : public ::testing::TestWithParam<NoticeCase> {};

TEST_P(Notice, FromTheFirstMatchingRegistration) {
    const NoticeCase& c = GetParam();
    Notices n;
    n.lib.scratch.createKey(Root::LocalMachine, kCsp);
    for (const auto& r : c.registrations)
        n.registration(r.fragment ? r.fragment->c_str() : nullptr, r.type, r.path);
    std::u16string notice = u"unchanged";
    EXPECT_EQ(identity::IsBackDoorDriverAvailable(c.driver.c_str(), notice), c.available);
    EXPECT_EQ(notice, c.notice);
    EXPECT_EQ(n.log, c.modules);
    EXPECT_EQ(n.modules.outstanding, 0);
    EXPECT_EQ(n.lib.reportIds(), "");
}

INSTANTIATE_TEST_SUITE_P(Registrations, Notice, ::testing::ValuesIn(kCases));

TEST(Notice, NoKeyLeavesTheNoticeAlone) {
    Notices n;
    std::u16string notice = u"unchanged";
    // Through the typed export.
    EXPECT_FALSE(::IsBackDoorDriverAvailable(u"hpgl", notice));
    EXPECT_EQ(notice, u"unchanged");
}

TEST(Notice, MissingProductNameIsReportedAndLeftEmpty) {
    Notices n(false);
    n.registration(u"hpgl", regtype::sz, kHpgl);
    std::u16string notice;
    EXPECT_TRUE(identity::IsBackDoorDriverAvailable(u"hpgl", notice));
    EXPECT_EQ(notice, u"HPGL for .");
    EXPECT_EQ(n.lib.reportIds(), "55");
}

// A driver module on disk: the shipped resource module serves as one on both builds.
TEST(Notice, RealModuleOnDisk) {
    Notices n;
    const std::u16string path = std::filesystem::path(TAVLO_RES_DLL).u16string();
    n.registration(u"hpgl", regtype::sz, path);
    std::u16string notice;
    EXPECT_TRUE(identity::IsBackDoorDriverAvailable(u"hpgl", notice));
    EXPECT_NE(notice.find(u" Corvida 2 "), std::u16string::npos)
        << std::string(notice.begin(), notice.end());
    EXPECT_EQ(notice.find(u"%1"), std::u16string::npos);
    EXPECT_EQ(n.modules.outstanding, 0);
}

// --- CheckForBackDoorDriver ----------------------------------------------------------------------

struct BufferCase {
    const char* what;
    bool registered;
    std::int32_t capacity;
    bool nullBuffer;
    TavloRetVal result;
    std::u16string content; // "untouched" when nothing may be written
};

void PrintTo(const BufferCase& c, std::ostream* os) {
    *os << c.what;
}

const std::int32_t kNeed = static_cast<std::int32_t>(kHpglNotice.size() + 1);

const BufferCase kBuffers[] = {
    {"room to spare", true, 100, false, TAVLO_Success, kHpglNotice},
    {"exact", true, kNeed, false, TAVLO_Success, kHpglNotice},
    {"one short", true, kNeed - 1, false, TAVLO_Buffer_Too_Small, u""},
    {"five", true, 5, false, TAVLO_Buffer_Too_Small, u""},
    {"one", true, 1, false, TAVLO_Buffer_Too_Small, u""},
    {"none", true, 0, false, TAVLO_Buffer_Too_Small, u"untouched"},
    {"no buffer", true, 0, true, TAVLO_Buffer_Too_Small, u"untouched"},
    {"unregistered", false, 1, false, TAVLO_Success, u""},
    {"unregistered, no room", false, 0, false, TAVLO_Buffer_Too_Small, u"untouched"},
};

class CheckForBackDoor : public ::testing::TestWithParam<BufferCase> {};

TEST_P(CheckForBackDoor, NeverWritesPastTheCapacity) {
    const BufferCase& c = GetParam();
    Notices n;
    if (c.registered)
        n.registration(u"HPGL", regtype::sz, kHpgl);
    constexpr char16_t kGuard = u'#';
    std::vector<char16_t> buffer(static_cast<std::size_t>(c.capacity) + 8, kGuard);
    std::int32_t size = c.capacity;
    TavloBool available = 7;
    EXPECT_EQ(
        CheckForBackDoorDriver(reinterpret_cast<const TavloChar*>(u"MyHpgl.drv"),
                               c.nullBuffer ? nullptr : reinterpret_cast<TavloChar*>(buffer.data()),
                               &size, &available),
        c.result);
    EXPECT_EQ(available, c.registered ? 1 : 0);
    EXPECT_EQ(size, c.registered ? kNeed : 1);
    for (std::size_t i = static_cast<std::size_t>(c.capacity); i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], kGuard) << "written at " << i;
    if (c.content == u"untouched") {
        EXPECT_EQ(buffer[0], kGuard);
    } else {
        EXPECT_EQ(std::u16string(buffer.data()), c.content);
    }
}

INSTANTIATE_TEST_SUITE_P(Capacities, CheckForBackDoor, ::testing::ValuesIn(kBuffers));

} // namespace
} // namespace tavlo::test
