// The flat directory exports: what they write into the caller's buffer, and where they stop.
// (The shared result string and the second names are checked on the built library.)
#include "settings_sandbox.h"

#include "tavlo/tavlo.h"

#include <gtest/gtest.h>

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

// The flat copies of one directory: the stored "Dir", the pathname "File" (same folder) or, for
// "Gone", the failed default below a missing roamable root.
struct Flat : SettingsSandbox {
    Flat() {
        profile(u"General", u"Dir", kDir + u"\\\\");
        profile(u"General", u"File", kDir + u"\\x.chm");
    }
    std::vector<TavloChar> buffer = std::vector<TavloChar>(300, kGuard);
    // The units from index on are as they were before the call.
    bool untouchedFrom(std::size_t index) const {
        for (std::size_t i = index; i < buffer.size(); ++i)
            if (buffer[i] != kGuard)
                return false;
        return true;
    }
};

TEST(FlatDirectories, SizedCopyNeverWritesPastTheSize) {
    for (std::size_t size : {kDir.size() + 1, kDir.size(), std::size_t{1}, std::size_t{0}}) {
        Flat lib;
        const TavloRetVal result = __GetProfileDirectory(lib.buffer.data(), size, tc(u"General"),
                                                         tc(u"Dir"), tc(u"Plotters"));
        if (size > kDir.size()) {
            EXPECT_EQ(result, TAVLO_Success);
            EXPECT_EQ(str(lib.buffer.data()), kDir);
        } else {
            EXPECT_NE(result, TAVLO_Success) << size;
            EXPECT_TRUE(size == 0 || lib.buffer[0] == 0) << size;
        }
        EXPECT_TRUE(lib.untouchedFrom(size)) << size;
    }
}

TEST(FlatDirectories, UnsizedCopiesWriteTheDirectoryAndItsTerminatorOnly) {
    Flat lib;
    EXPECT_EQ(_GetProfileDirectory(lib.buffer.data(), tc(u"General"), tc(u"Dir"), tc(u"Drv")), 0);
    EXPECT_EQ(str(lib.buffer.data()), kDir);
    EXPECT_TRUE(lib.untouchedFrom(kDir.size() + 1));
    Flat other;
    EXPECT_EQ(_GetProfileDirectoryFromPathname(other.buffer.data(), tc(u"\\General"), tc(u"File"),
                                               tc(u"Help")),
              0);
    EXPECT_EQ(str(other.buffer.data()), kDir);
    EXPECT_TRUE(other.untouchedFrom(kDir.size() + 1));
}

TEST(FlatDirectories, FailureLeavesTheBufferAlone) {
    Flat lib;
    EXPECT_EQ(__GetProfileDirectory(lib.buffer.data(), lib.buffer.size(), tc(u"General"),
                                    tc(u"Gone"), tc(u"Plotters")),
              TAVLO_Failure);
    EXPECT_EQ(_GetProfileDirectory(lib.buffer.data(), tc(u"General"), tc(u"Gone"), tc(u"Plotters")),
              TAVLO_Failure);
    lib.profile(u"General", u"Name", u"x.chm");
    EXPECT_EQ(_GetProfileDirectoryFromPathname(lib.buffer.data(), tc(u"General"), tc(u"Name"),
                                               tc(u"Help")),
              TAVLO_Failure);
    EXPECT_TRUE(lib.untouchedFrom(0));
    EXPECT_EQ(lib.reportIds(), "");
}

} // namespace
} // namespace tavlo::test
