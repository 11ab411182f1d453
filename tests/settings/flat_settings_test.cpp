// The flat exports' caller buffers and the shared result string.
#include "settings_sandbox.h"

#include "tavlo/tavlo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace tavlo::test {
namespace {

const TavloChar* tc(const char16_t* text) {
    return reinterpret_cast<const TavloChar*>(text);
}
std::u16string str(const TavloChar* text) {
    return reinterpret_cast<const char16_t*>(text);
}

constexpr TavloChar kGuard = 0x2A2A;
const std::u16string kDir = u"C:\\Plot\\Dir";

// A stored directory "Dir", a pathname "File" in it, and a caller's buffer of guard units.
struct Flat : SettingsSandbox {
    Flat() {
        profile(u"General", u"Dir", kDir + u"\\\\");
        profile(u"General", u"File", kDir + u"\\x.chm");
        machine(u"Name", kDir);
    }
    std::vector<TavloChar> buffer = std::vector<TavloChar>(300, kGuard);
    // The units from index on are as they were before the call.
    bool untouchedFrom(std::size_t index) const {
        return std::all_of(buffer.begin() + index, buffer.end(),
                           [](TavloChar u) { return u == kGuard; });
    }
};

using Sized = std::function<TavloRetVal(TavloChar*, std::uint32_t)>;

TEST(FlatExports, SizedCopiesNeverWritePastTheSize) {
    const std::pair<Sized, std::u16string> copies[] = {
        {[](TavloChar* b, std::uint32_t n) {
             return __GetProfileDirectory(b, n, tc(u"General"), tc(u"Dir"), tc(u"Plotters"));
         },
         kDir},
        {[](TavloChar* b, std::uint32_t n) {
             return _GetHKeyLocalMachineString(b, tc(u"Name"), n);
         },
         kDir},
        {[](TavloChar* b, std::uint32_t n) {
             return _GetProfileStr(b, tc(u"General"), tc(u"Dir"), n);
         },
         kDir + u"\\\\"},
    };
    for (const auto& [copy, value] : copies) {
        for (const std::size_t size : {value.size() + 1, value.size(), std::size_t{0}}) {
            Flat lib;
            const bool fits = size > value.size();
            EXPECT_EQ(copy(lib.buffer.data(), static_cast<std::uint32_t>(size)),
                      fits ? TAVLO_Success : TAVLO_Buffer_Too_Small);
            if (size > 0) {
                EXPECT_EQ(str(lib.buffer.data()), fits ? value : u"");
            }
            EXPECT_TRUE(lib.untouchedFrom(fits ? size : std::min<std::size_t>(size, 1))) << size;
            EXPECT_EQ(lib.reportIds(), "");
        }
    }
}

TEST(FlatExports, UnsizedCopiesWriteTheDirectoryAndItsTerminatorOnly) {
    Flat lib, other;
    EXPECT_EQ(_GetProfileDirectory(lib.buffer.data(), tc(u"General"), tc(u"Dir"), tc(u"Drv")), 0);
    EXPECT_EQ(_GetProfileDirectoryFromPathname(other.buffer.data(), tc(u"\\General"), tc(u"File"),
                                               tc(u"Help")),
              0);
    for (const Flat* f : {&lib, &other}) {
        EXPECT_EQ(str(f->buffer.data()), kDir);
        EXPECT_TRUE(f->untouchedFrom(kDir.size() + 1));
    }
}

TEST(FlatExports, FailureLeavesTheBufferAlone) {
    Flat lib; // no roamable root: the default of "Plotters" fails
    EXPECT_EQ(
        __GetProfileDirectory(lib.buffer.data(), 300, tc(u"General"), tc(u"Gone"), tc(u"Plotters")),
        TAVLO_Failure);
    EXPECT_EQ(_GetProfileDirectory(lib.buffer.data(), tc(u"General"), tc(u"Gone"), tc(u"Plotters")),
              TAVLO_Failure);
    lib.profile(u"General", u"Name", u"x.chm");
    EXPECT_EQ(_GetProfileDirectoryFromPathname(lib.buffer.data(), tc(u"General"), tc(u"Name"),
                                               tc(u"Help")),
              TAVLO_Failure);
    EXPECT_EQ(_GetProfileStr(lib.buffer.data(), tc(u"General"), tc(u"X"), 300), TAVLO_Failure);
    EXPECT_TRUE(lib.untouchedFrom(0));
    EXPECT_EQ(lib.reportIds(), "");
}

// A caller that passes no buffer gets "no room" back, never a write through null.
TEST(FlatExports, MissingBufferHasNoRoom) {
    Flat lib;
    EXPECT_EQ(_GetProfileStr(nullptr, tc(u"General"), tc(u"Dir"), 300), TAVLO_Buffer_Too_Small);
    EXPECT_EQ(_GetHKeyLocalMachineString(nullptr, tc(u"Name"), 300), TAVLO_Buffer_Too_Small);
    EXPECT_EQ(__GetProfileDirectory(nullptr, 300, tc(u"General"), tc(u"Dir"), tc(u"")),
              TAVLO_Buffer_Too_Small);
    std::int32_t size = 300;
    TavloBool available = 7;
    EXPECT_EQ(CheckForBackDoorDriver(tc(u"x.drv"), nullptr, &size, &available),
              TAVLO_Buffer_Too_Small);
    EXPECT_EQ(size, 1);
}

// Callers keep the first pointer and read later results through it.
TEST(FlatExports, EarlierPointerShowsTheLatestResult) {
    SettingsSandbox lib;
    const TavloChar* first = _GetAppKey(nullptr);
    lib.scope.get().appKeyCache = u"SOFTWARE\\B";
    EXPECT_EQ(_GetAppKey(nullptr), first);
    EXPECT_EQ(str(first), u"SOFTWARE\\B");
}

} // namespace
} // namespace tavlo::test
