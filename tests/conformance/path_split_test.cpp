// Path splitting and composing: the library's own functions, with the answers of the C runtime's
// _wsplitpath_s / _wmakepath_s, checked against the real runtime under Wine for every row.
#include "frame/path_split.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>

#include <stdlib.h>
#endif

namespace {

using tavlo::kPathEinval;
using tavlo::kPathErange;

// Each buffer's size in units; 0 means the part is not wanted (null buffer).
struct Sizes {
    std::size_t drive = 3, dir = 256, fname = 256, ext = 256;
};

struct Parts {
    int result = 0;
    std::u16string drive, dir, fname, ext;
    bool operator==(const Parts&) const = default;
};

void PrintTo(const Parts& p, std::ostream* os) {
    *os << p.result << " ";
    for (const auto* part : {&p.drive, &p.dir, &p.fname, &p.ext}) {
        *os << '|';
        for (char16_t c : *part)
            *os << (c < 0x80 ? static_cast<char>(c) : '?');
    }
}

// Buffers start out holding a marker, so that "left alone" and "emptied" are told apart.
template <typename Split> Parts runSplit(Split split, const char16_t* path, Sizes sizes) {
    char16_t drive[300] = u"D?", dir[300] = u"X?", fname[300] = u"F?", ext[300] = u"E?";
    Parts p;
    p.result = split(path, sizes.drive ? drive : nullptr, sizes.drive, sizes.dir ? dir : nullptr,
                     sizes.dir, sizes.fname ? fname : nullptr, sizes.fname,
                     sizes.ext ? ext : nullptr, sizes.ext);
    p.drive = drive;
    p.dir = dir;
    p.fname = fname;
    p.ext = ext;
    return p;
}

Parts ours(const char16_t* path, Sizes sizes) {
    return runSplit(tavlo::splitPath, path, sizes);
}

#ifdef _WIN32
void ignoreInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {}

Parts runtime(const char16_t* path, Sizes sizes) {
    // The runtime reports a bad argument to this handler before returning EINVAL.
    _set_invalid_parameter_handler(ignoreInvalidParameter);
    return runSplit(
        [](const char16_t* p, char16_t* d, std::size_t dc, char16_t* di, std::size_t dic,
           char16_t* f, std::size_t fc, char16_t* e, std::size_t ec) {
            auto w = [](char16_t* s) { return reinterpret_cast<wchar_t*>(s); };
            return static_cast<int>(_wsplitpath_s(reinterpret_cast<const wchar_t*>(p), w(d), dc,
                                                  w(di), dic, w(f), fc, w(e), ec));
        },
        path, sizes);
}
#endif

struct SplitCase {
    const char16_t* path;
    Parts expected;
    Sizes sizes{};
};

const SplitCase kSplitCases[] = {
    {u"C:\\Dir\\File.ext", {0, u"C:", u"\\Dir\\", u"File", u".ext"}},
    {u"C:File.ext", {0, u"C:", u"", u"File", u".ext"}},
    {u"File.ext", {0, u"", u"", u"File", u".ext"}},
    {u"\\\\server\\share\\f.ext", {0, u"", u"\\\\server\\share\\", u"f", u".ext"}},
    {u"C:\\", {0, u"C:", u"\\", u"", u""}},
    {u"C:", {0, u"C:", u"", u"", u""}},
    {u"C", {0, u"", u"", u"C", u""}},
    {u"", {0, u"", u"", u"", u""}},
    {u"dir/sub/f", {0, u"", u"dir/sub/", u"f", u""}},
    {u"a/b\\c.d/e.f.g", {0, u"", u"a/b\\c.d/", u"e.f", u".g"}},
    {u"a.b.c", {0, u"", u"", u"a.b", u".c"}},
    {u"file.", {0, u"", u"", u"file", u"."}},
    {u".cache", {0, u"", u"", u"", u".cache"}},
    {u"d.x\\f", {0, u"", u"d.x\\", u"f", u""}},
    {u"x\\..", {0, u"", u"x\\", u".", u"."}},
    {u"C:..\\x", {0, u"C:", u"..\\", u"x", u""}},
    {u"1:a", {0, u"1:", u"", u"a", u""}},
    {u":x", {0, u"", u"", u":x", u""}},
    {u"\\\\?\\C:\\x.y", {0, u"", u"\\\\?\\C:\\", u"x", u".y"}},
    {u"C:\\Dir\\Caf\u00E9.\u00FCbel", {0, u"C:", u"\\Dir\\", u"Caf\u00E9", u".\u00FCbel"}},
    // exact fits
    {u"C:\\Dir\\File.ext", {0, u"C:", u"\\Dir\\", u"File", u".ext"}, {3, 6, 5, 5}},
    {u"File", {0, u"", u"", u"File", u""}, {1, 1, 5, 1}},
    // one unit short: every wanted buffer is emptied, even those that would have fitted
    {u"C:\\Dir\\File.ext", {kPathErange, u"", u"", u"", u""}, {2, 256, 256, 256}},
    {u"C:\\Dir\\File.ext", {kPathErange, u"", u"", u"", u""}, {3, 5, 256, 256}},
    {u"C:\\Dir\\File.ext", {kPathErange, u"", u"", u"", u""}, {3, 256, 4, 256}},
    {u"C:\\Dir\\File.ext", {kPathErange, u"", u"", u"", u""}, {3, 256, 256, 4}},
    {u"C:\\Dir\\File.ext", {kPathErange, u"D?", u"X?", u"", u"E?"}, {0, 0, 4, 0}},
    // no drive, so a drive buffer of one unit is enough
    {u"File.ext", {0, u"", u"", u"File", u".ext"}, {1, 256, 256, 256}},
    // parts not wanted are left alone
    {u"C:\\Dir\\File.ext", {0, u"D?", u"X?", u"F?", u"E?"}, {0, 0, 0, 0}},
    {u"C:\\Dir\\File.ext", {0, u"D?", u"\\Dir\\", u"F?", u"E?"}, {0, 256, 0, 0}},
    {u"C:\\Dir\\File.ext", {0, u"D?", u"X?", u"File", u"E?"}, {0, 0, 5, 0}},
    // a null path: nothing is written
    {nullptr, {kPathEinval, u"D?", u"X?", u"F?", u"E?"}},
};

TEST(PathSplit, SplitsAsTheRuntimeDoes) {
    for (const SplitCase& c : kSplitCases) {
        SCOPED_TRACE(testing::Message() << "row " << (&c - kSplitCases));
        EXPECT_EQ(ours(c.path, c.sizes), c.expected);
#ifdef _WIN32
        EXPECT_EQ(runtime(c.path, c.sizes), c.expected) << "the runtime itself";
#endif
    }
}

// A buffer without a size, or a size without a buffer, is a caller's mistake: nothing is written.
TEST(PathSplit, BufferAndSizeMustAgree) {
    char16_t drive[8] = u"D?", dir[8] = u"X?", ext[8] = u"E?";
    EXPECT_EQ(tavlo::splitPath(u"C:\\a.b", drive, 3, nullptr, 5, nullptr, 0, ext, 8), kPathEinval);
    EXPECT_EQ(tavlo::splitPath(u"C:\\a.b", drive, 3, dir, 0, nullptr, 0, nullptr, 0), kPathEinval);
    EXPECT_EQ(tavlo::splitPath(u"C:\\a.b", drive, 3, nullptr, 0, nullptr, 0, ext, 0), kPathEinval);
    EXPECT_EQ(std::u16string(drive), u"D?");
    EXPECT_EQ(std::u16string(dir), u"X?");
    EXPECT_EQ(std::u16string(ext), u"E?");
#ifdef _WIN32
    _set_invalid_parameter_handler(ignoreInvalidParameter);
    wchar_t d[8] = L"D?", e[8] = L"E?";
    EXPECT_EQ(_wsplitpath_s(L"C:\\a.b", d, 3, nullptr, 5, nullptr, 0, e, 8), kPathEinval);
    EXPECT_EQ(std::wstring(d), L"D?");
#endif
}

// --- composing ---------------------------------------------------------------------------------

struct MakeCase {
    std::size_t count;
    const char16_t *drive, *dir, *fname, *ext;
    int result;
    const char16_t* expected;
};

const MakeCase kMakeCases[] = {
    {256, u"C", u"dir", u"f", u"ext", 0, u"C:dir\\f.ext"},
    {256, u"C:", u"\\dir\\", u"f", u".ext", 0, u"C:\\dir\\f.ext"},
    {256, u"CD", u"dir/", u"f", u"e", 0, u"C:dir/f.e"}, // only the letter; '/' ends a dir too
    {256, u"C", nullptr, u"f.", u".", 0, u"C:f.."},
    {256, nullptr, u"d", nullptr, u"x", 0, u"d\\.x"},
    {256, u"", u"", u"", u"", 0, u""},
    {256, nullptr, nullptr, nullptr, nullptr, 0, u""},
    {256, u"C:", u"C:\\", u"a", u"b", 0, u"C:C:\\a.b"},
    // the result and its terminator must fit
    {12, u"C", u"dir", u"f", u"ext", 0, u"C:dir\\f.ext"},
    {11, u"C", u"dir", u"f", u"ext", kPathErange, u""},
    {3, u"C", nullptr, nullptr, nullptr, 0, u"C:"},
    {2, u"C", nullptr, nullptr, nullptr, kPathErange, u""},
    {1, nullptr, nullptr, nullptr, nullptr, 0, u""},
    {5, nullptr, u"abc", nullptr, nullptr, 0, u"abc\\"},
    {4, nullptr, u"abc", nullptr, nullptr, kPathErange, u""},
    {4, nullptr, u"ab\\", nullptr, nullptr, 0, u"ab\\"},
    {4, nullptr, nullptr, u"abc", nullptr, 0, u"abc"},
    {3, nullptr, nullptr, u"abc", nullptr, kPathErange, u""},
    {5, nullptr, nullptr, nullptr, u"abc", 0, u".abc"},
    {4, nullptr, nullptr, nullptr, u"abc", kPathErange, u""},
    {4, nullptr, nullptr, nullptr, u".ab", 0, u".ab"},
};

template <typename Make> std::pair<int, std::u16string> runMake(Make make, const MakeCase& c) {
    char16_t buffer[300] = u"Z?";
    const int result = make(buffer, c.count, c.drive, c.dir, c.fname, c.ext);
    return {result, buffer};
}

TEST(PathSplit, ComposesAsTheRuntimeDoes) {
    for (const MakeCase& c : kMakeCases) {
        SCOPED_TRACE(testing::Message() << "row " << (&c - kMakeCases));
        const std::pair<int, std::u16string> expected{c.result, c.expected};
        EXPECT_EQ(runMake(tavlo::makePath, c), expected);
#ifdef _WIN32
        auto real = [](char16_t* b, std::size_t n, const char16_t* d, const char16_t* di,
                       const char16_t* f, const char16_t* e) {
            auto w = [](const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); };
            return static_cast<int>(
                _wmakepath_s(reinterpret_cast<wchar_t*>(b), n, w(d), w(di), w(f), w(e)));
        };
        EXPECT_EQ(runMake(real, c), expected) << "the runtime itself";
#endif
    }
}

TEST(PathSplit, ComposingNeedsABuffer) {
    char16_t buffer[4] = u"Z?";
    EXPECT_EQ(tavlo::makePath(buffer, 0, u"C", u"d", u"f", u"e"), kPathEinval);
    EXPECT_EQ(std::u16string(buffer), u"Z?");
    EXPECT_EQ(tavlo::makePath(nullptr, 4, u"C", nullptr, nullptr, nullptr), kPathEinval);
}

// Splitting what was composed gives the parts back, with the separators the composer added.
TEST(PathSplit, SplitUndoesCompose) {
    char16_t path[64];
    ASSERT_EQ(tavlo::makePath(path, 64, u"D", u"\\Program Files/tavlo", u"tavlo9", u"dll"), 0);
    EXPECT_EQ(ours(path, {}), (Parts{0, u"D:", u"\\Program Files/tavlo\\", u"tavlo9", u".dll"}));
}

} // namespace
