// Path splitting and composing: the library's own functions, with the answers of the C runtime's
// _wsplitpath_s / _wmakepath_s, checked against the real runtime under Wine for every row.
#include "frame/path_split.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#ifdef _WIN32
#include <windows.h>

#include <stdlib.h>
#endif

namespace {

using tavlo::kPathEinval;
using tavlo::kPathErange;
using Parts = std::tuple<int, std::u16string, std::u16string, std::u16string, std::u16string>;

// Each buffer's size in units; 0 means the part is not wanted (null buffer).
struct Sizes {
    std::size_t drive = 3, dir = 256, fname = 256, ext = 256;
    bool operator==(const Sizes&) const = default;
};

// Buffers start out holding a marker, so that "left alone" and "emptied" are told apart.
template <typename Split> Parts runSplit(Split split, const char16_t* path, Sizes s) {
    char16_t drive[300] = u"D?", dir[300] = u"X?", fname[300] = u"F?", ext[300] = u"E?";
    const int result = split(path, s.drive ? drive : nullptr, s.drive, s.dir ? dir : nullptr, s.dir,
                             s.fname ? fname : nullptr, s.fname, s.ext ? ext : nullptr, s.ext);
    return {result, drive, dir, fname, ext};
}

#ifdef _WIN32
// The runtime reports a bad argument to this handler before returning EINVAL.
void ignoreInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {}
auto w(const char16_t* s) {
    return reinterpret_cast<const wchar_t*>(s);
}
auto w(char16_t* s) {
    return reinterpret_cast<wchar_t*>(s);
}
#endif

TEST(PathSplit, SplitsAsTheRuntimeDoes) {
    struct Row {
        const char16_t* path;
        Parts expected;
        Sizes sizes{};
    };
    const std::u16string full = u"C:\\Dir\\File.ext";
    const std::u16string dir255 = u"C:\\" + std::u16string(253, u'd') + u"\\f.e",
                         dir256 = u"C:\\" + std::u16string(254, u'd') + u"\\f.e",
                         ext256 = u"C:\\f." + std::u16string(255, u'e');
    // clang-format off
    const Row rows[] = {
        {u"C:\\Dir\\File.ext", {0, u"C:", u"\\Dir\\", u"File", u".ext"}},
        {u"C:File.ext", {0, u"C:", u"", u"File", u".ext"}},
        {u"File.ext", {0, u"", u"", u"File", u".ext"}},
        {u"\\\\server\\share\\f.ext", {0, u"", u"\\\\server\\share\\", u"f", u".ext"}},
        {u"C:\\", {0, u"C:", u"\\", u"", u""}},
        {u"C:", {0, u"C:", u"", u"", u""}},
        {u"C", {0, u"", u"", u"C", u""}},
        {u"", {0, u"", u"", u"", u""}},
        {u"a/b\\c.d/e.f.g", {0, u"", u"a/b\\c.d/", u"e.f", u".g"}},
        {u"file.", {0, u"", u"", u"file", u"."}},
        {u".cache", {0, u"", u"", u"", u".cache"}},
        {u"d.x\\f", {0, u"", u"d.x\\", u"f", u""}},
        {u"x\\..", {0, u"", u"x\\", u".", u"."}},
        {u"1:a", {0, u"1:", u"", u"a", u""}},
        {u":x", {0, u"", u"", u":x", u""}},
        {u"\\\\?\\C:\\x.y", {0, u"", u"\\\\?\\C:\\", u"x", u".y"}},
        {u"C:\\Dir\\Caf\u00E9.\u00FCbel", {0, u"C:", u"\\Dir\\", u"Caf\u00E9", u".\u00FCbel"}},
        // exact fits; without a drive a drive buffer of one unit is enough
        {full.c_str(), {0, u"C:", u"\\Dir\\", u"File", u".ext"}, {3, 6, 5, 5}},
        {u"File", {0, u"", u"", u"File", u""}, {1, 1, 5, 1}},
        // one unit short: every wanted buffer is emptied, even those that would have fitted
        {full.c_str(), {kPathErange, u"", u"", u"", u""}, {2, 256, 256, 256}},
        {full.c_str(), {kPathErange, u"", u"", u"", u""}, {3, 5, 256, 256}},
        {full.c_str(), {kPathErange, u"", u"", u"", u""}, {3, 256, 256, 4}},
        {full.c_str(), {kPathErange, u"D?", u"X?", u"", u"E?"}, {0, 0, 4, 0}},
        // the runtime's own buffer sizes, at the edge
        {dir255.c_str(), {0, u"C:", dir255.substr(2, 255), u"f", u".e"}},
        {dir256.c_str(), {kPathErange, u"", u"", u"", u""}},
        {ext256.c_str(), {kPathErange, u"", u"", u"", u""}},
        // parts not wanted are left alone; a null path writes nothing
        {full.c_str(), {0, u"D?", u"X?", u"F?", u"E?"}, {0, 0, 0, 0}},
        {full.c_str(), {0, u"D?", u"\\Dir\\", u"F?", u"E?"}, {0, 256, 0, 0}},
        {nullptr, {kPathEinval, u"D?", u"X?", u"F?", u"E?"}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << (&row - rows));
        EXPECT_EQ(runSplit(tavlo::splitPath, row.path, row.sizes), row.expected);
        if (row.path && row.sizes == Sizes{}) {
            const tavlo::PathParts p = tavlo::splitPathInBuffers(row.path);
            EXPECT_EQ(Parts(std::get<0>(row.expected), p.drive, p.dir, p.fname, p.ext),
                      row.expected)
                << "split in the runtime's buffers";
        }
#ifdef _WIN32
        _set_invalid_parameter_handler(ignoreInvalidParameter);
        auto real = [](const char16_t* p, char16_t* d, std::size_t dc, char16_t* di,
                       std::size_t dic, char16_t* f, std::size_t fc, char16_t* e, std::size_t ec) {
            return static_cast<int>(_wsplitpath_s(w(p), w(d), dc, w(di), dic, w(f), fc, w(e), ec));
        };
        EXPECT_EQ(runSplit(real, row.path, row.sizes), row.expected) << "the runtime itself";
#endif
    }
}

// A buffer without a size, or a size without a buffer, is a caller's mistake: nothing is written.
TEST(PathSplit, BufferAndSizeMustAgree) {
    char16_t drive[8] = u"D?", dir[8] = u"X?", ext[8] = u"E?";
    EXPECT_EQ(tavlo::splitPath(u"C:\\a.b", drive, 3, nullptr, 5, nullptr, 0, ext, 8), kPathEinval);
    EXPECT_EQ(tavlo::splitPath(u"C:\\a.b", drive, 3, dir, 0, nullptr, 0, nullptr, 0), kPathEinval);
    EXPECT_EQ(tavlo::splitPath(u"C:\\a.b", drive, 3, nullptr, 0, nullptr, 0, ext, 0), kPathEinval);
    EXPECT_EQ(std::u16string(drive) + dir + ext, u"D?X?E?");
#ifdef _WIN32
    _set_invalid_parameter_handler(ignoreInvalidParameter);
    wchar_t d[8] = L"D?", e[8] = L"E?";
    EXPECT_EQ(_wsplitpath_s(L"C:\\a.b", d, 3, nullptr, 5, nullptr, 0, e, 8), kPathEinval);
    EXPECT_EQ(std::wstring(d), L"D?");
#endif
}

TEST(PathSplit, ComposesAsTheRuntimeDoes) {
    struct Row {
        std::size_t count;
        const char16_t *drive, *dir, *fname, *ext;
        int result;
        const char16_t* expected;
    };
    // clang-format off
    const Row rows[] = {
        {256, u"C", u"dir", u"f", u"ext", 0, u"C:dir\\f.ext"},
        {256, u"C:", u"\\dir\\", u"f", u".ext", 0, u"C:\\dir\\f.ext"},
        {256, u"CD", u"dir/", u"f", u"e", 0, u"C:dir/f.e"}, // only the letter; '/' ends a dir too
        {256, u"C", nullptr, u"f.", u".", 0, u"C:f.."},
        {256, nullptr, u"d", nullptr, u"x", 0, u"d\\.x"},
        {256, u"", u"", u"", u"", 0, u""},
        {256, u"C:", u"C:\\", u"a", u"b", 0, u"C:C:\\a.b"},
        // the result and its terminator must fit
        {12, u"C", u"dir", u"f", u"ext", 0, u"C:dir\\f.ext"},
        {11, u"C", u"dir", u"f", u"ext", kPathErange, u""},
        {2, u"C", nullptr, nullptr, nullptr, kPathErange, u""},
        {1, nullptr, nullptr, nullptr, nullptr, 0, u""},
        {5, nullptr, u"abc", nullptr, nullptr, 0, u"abc\\"},
        {4, nullptr, u"abc", nullptr, nullptr, kPathErange, u""},
        {4, nullptr, u"ab\\", nullptr, nullptr, 0, u"ab\\"},
        {3, nullptr, nullptr, u"abc", nullptr, kPathErange, u""},
        {5, nullptr, nullptr, nullptr, u"abc", 0, u".abc"},
        {4, nullptr, nullptr, nullptr, u"abc", kPathErange, u""},
        {4, nullptr, nullptr, nullptr, u".ab", 0, u".ab"},
        // a buffer without room is a caller's mistake: nothing is written
        {0, u"C", u"d", u"f", u"e", kPathEinval, u"Z?"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << (&row - rows));
        char16_t buffer[300] = u"Z?";
        EXPECT_EQ(tavlo::makePath(buffer, row.count, row.drive, row.dir, row.fname, row.ext),
                  row.result);
        EXPECT_EQ(std::u16string(buffer), row.expected);
#ifdef _WIN32
        _set_invalid_parameter_handler(ignoreInvalidParameter);
        char16_t real[300] = u"Z?";
        EXPECT_EQ(
            _wmakepath_s(w(real), row.count, w(row.drive), w(row.dir), w(row.fname), w(row.ext)),
            row.result);
        EXPECT_EQ(std::u16string(real), row.expected) << "the runtime itself";
#endif
    }
    EXPECT_EQ(tavlo::makePath(nullptr, 4, u"C", nullptr, nullptr, nullptr), kPathEinval);
}

} // namespace
