// Registry file text as the loader reads it. Line ends found sixteen bytes a step: in any mix of
// CR, LF and CRLF, at every position around the steps' boundaries, and the last line with or
// without one, in 8-bit text and in UTF-16LE. UTF-16 text kept narrow while it can be, copied four
// units a step. Standard C++ only: this program also runs under Wine.
#include "platform/portable/reg_file_text.h"
#include "registry_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace tavlo::platform::portable::reg_text;
using namespace std::literals;

// A line of text and the line end after it ("" for the last line without one).
struct Line {
    std::string body;
    std::string end;
};

// Text built from lines in one encoding, with where each line starts, ends and the next begins,
// counted in units.
struct Built {
    std::string bytes;
    std::vector<LineEnd> ends;
    std::vector<std::size_t> starts;
    unsigned unitBytes;

    std::size_t units() const { return bytes.size() / unitBytes; }
    // f called on the bytes read as text of their unit size
    auto scan(auto f) const {
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        return unitBytes == 1 ? f(Text8{data, units()}) : f(Text16{data, units(), bytes.size()});
    }
    LineEnd findLineEnd(std::size_t from, bool atEnd) const {
        return scan([&](auto text) { return text.findLineEnd(from, atEnd); });
    }
    // Where the next marked line starts, and how many line ends lie before it.
    std::pair<std::size_t, std::uint64_t> findMarkedLine(std::size_t from) const {
        std::uint64_t ends = 0;
        const std::size_t at =
            scan([&](auto text) { return text.findMarkedLine(from, '[', ';', ends); });
        return {at, ends};
    }
};

Built build(const std::vector<Line>& lines, unsigned unitBytes) {
    Built built{{}, {}, {}, unitBytes};
    auto append = [&](const std::string& text) {
        for (const char c : text) {
            built.bytes.push_back(c);
            if (unitBytes == 2)
                built.bytes.push_back('\0');
        }
    };
    for (const Line& line : lines) {
        const std::size_t start = built.units();
        append(line.body);
        const std::size_t end = built.units();
        append(line.end);
        built.starts.push_back(start);
        built.ends.push_back({end, built.units()});
    }
    return built;
}

// Each line found in turn, as the loader walks a whole file.
void expectLines(const std::vector<Line>& lines) {
    for (const unsigned unitBytes : {1u, 2u}) {
        SCOPED_TRACE(unitBytes == 1 ? "8-bit" : "UTF-16");
        const Built text = build(lines, unitBytes);
        std::size_t from = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            SCOPED_TRACE("line " + std::to_string(i + 1));
            const LineEnd found = text.findLineEnd(from, true);
            EXPECT_EQ(std::tuple(found.end, found.next, found.shifted),
                      std::tuple(text.ends[i].end, text.ends[i].next, false));
            from = found.next;
        }
        EXPECT_EQ(from, text.units());
    }
}

std::string visible(const std::vector<Line>& lines) {
    std::string out;
    for (const Line& line : lines) {
        out += line.body;
        for (const char c : line.end)
            out += c == '\r' ? "\\r" : "\\n";
    }
    return out;
}

TEST(RegFileScan, FindsEachLineEnd) {
    const std::vector<std::vector<Line>> cases = {
        {{"a", "\n"}, {"bc", "\n"}},
        {{"a", "\r"}, {"bc", "\r"}},
        // A return then a feed is one line end; a feed then a return two.
        {{"a", "\r\n"}, {"b", "\n"}, {"c", "\r"}, {"d", ""}},
        {{"a", "\n"}, {"", "\r"}, {"b", ""}},
        {{"", "\n"}, {"", "\n"}, {"", "\r"}},
        {{"last line without an end", ""}},
        {{"", ""}},
    };
    for (const auto& lines : cases) {
        SCOPED_TRACE(visible(lines));
        expectLines(lines);
    }
    // Every line end at every position around eight- and sixteen-byte boundaries, after and
    // before lines of every length, so that the step-wise scans and their tails both meet each
    // one; a line end split over two steps (a return last in one, its feed first in the next)
    // among them, and CR LF twice, and text that ends with its line end.
    for (const std::string end : {"\n", "\r", "\r\n"}) {
        for (std::size_t before = 0; before <= 40; ++before) {
            for (const std::size_t after : {0u, 1u, 15u, 33u}) {
                SCOPED_TRACE(visible({{std::string(before, 'x'), end}}) + " then " +
                             std::to_string(after));
                expectLines({{std::string(before, 'x'), end}, {std::string(after, 'y'), ""}});
                expectLines({{std::string(before, 'x'), end},
                             {std::string(after, 'y'), end == "\n" ? "\r" : "\r\n"},
                             {"", ""}});
            }
        }
    }
}

// The search for marked lines, with the widest steps this processor offers and with the SSE2
// steps every x86-64 processor has.
class MarkedLineScan : public ::testing::TestWithParam<bool> {
#if defined(TAVLO_SCAN_AVX2)
    void SetUp() override {
        wideScan = GetParam() && haveAvx2();
    }
    void TearDown() override {
        wideScan = haveAvx2();
    }
#else
    void SetUp() override {
        if (GetParam())
            GTEST_SKIP() << "no wider steps on this build";
    }
#endif
};
INSTANTIATE_TEST_SUITE_P(Steps, MarkedLineScan, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Wide" : "Sse2"; });

// The loader passes over value lines looking for the next line that starts, after blanks, with
// one of two characters: the start of that line and how many line ends lie before it.
TEST_P(MarkedLineScan, FindsTheNextMarkedLineAndCountsTheLinesBefore) {
    const std::string endsInTurn[] = {"\n", "\r\n", "\r"};
    for (const unsigned unitBytes : {1u, 2u}) {
        for (std::size_t length = 0; length <= 40; ++length) {
            for (const std::size_t count : {0u, 1u, 3u, 20u}) {
                SCOPED_TRACE(std::to_string(unitBytes) + " " + std::to_string(length) + " " +
                             std::to_string(count));
                // Marks that don't start a line are passed over like any character.
                std::vector<Line> lines;
                for (std::size_t i = 0; i < count; ++i)
                    lines.push_back({"\"v\"=\"[;" + std::string(length, 'x'), endsInTurn[i % 3]});
                lines.push_back({" \t[key]", "\n"});
                lines.push_back({";", ""});
                const Built text = build(lines, unitBytes);
                EXPECT_EQ(text.findMarkedLine(0),
                          std::pair(text.starts[count], std::uint64_t{count}));
                EXPECT_EQ(text.findMarkedLine(text.ends[count].next),
                          std::pair(text.starts[count + 1], std::uint64_t{0}));
            }
        }
    }
}

// Without a marked line: where the last line end ends, the start of an unfinished last line.
TEST_P(MarkedLineScan, WithoutAMarkedLineStopsAfterTheLastLineEnd) {
    const std::vector<std::vector<Line>> cases = {
        {{"a", "\n"}, {"b", "\r\n"}, {"unfinished [", ""}},
        {{std::string(37, 'a'), "\r"}, {"b", "\n"}},
        {{"", "\n"}},
        {{"", ""}},
    };
    for (const auto& lines : cases) {
        SCOPED_TRACE(visible(lines));
        for (const unsigned unitBytes : {1u, 2u}) {
            const Built text = build(lines, unitBytes);
            const bool unfinished = lines.back().end.empty();
            EXPECT_EQ(text.findMarkedLine(0),
                      std::pair(unfinished ? text.starts.back() : text.units(),
                                std::uint64_t{lines.size() - unfinished}));
        }
    }
    // A return that ends the text read so far may be half of a pair: the next line's start is
    // unknown until more text comes, or the text is known to end.
    for (const unsigned unitBytes : {1u, 2u}) {
        const Built text = build({{"ab", "\r"}}, unitBytes);
        EXPECT_EQ(text.findLineEnd(0, false).next, npos);
        EXPECT_EQ(text.findLineEnd(0, true).next, 3u);
        EXPECT_EQ(text.findMarkedLine(0), std::pair(std::size_t{2}, std::uint64_t{0}));
    }
}

// A byte too many in UTF-16 text puts the units out of step: the line feed that ends that line
// reads as U+0A00. It ends the line, and the text goes on in step a byte later; the search for
// marked lines stops at it wherever it lies among the steps.
TEST_P(MarkedLineScan, LineFeedOutOfStepEndsItsLine) {
    for (std::size_t before = 0; before <= 40; ++before) {
        SCOPED_TRACE(before);
        // 'a's, a stray byte, then "b\n" and "c" read a byte late.
        std::string bytes;
        for (std::size_t i = 0; i <= before; ++i)
            bytes += "a"s + '\0';
        const std::size_t line = bytes.size() / 2;
        bytes += "Xb\0\n\0c\0"s;
        const Text16 text{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size() / 2,
                          bytes.size()};
        const LineEnd found = text.findLineEnd(0, true);
        EXPECT_EQ(std::tuple(found.end, found.next, found.shifted),
                  std::tuple(line + 1, line + 2, true));
        std::uint64_t ends = 0;
        EXPECT_EQ(text.findMarkedLine(0, 'q', 'q', ends), 0u);
        EXPECT_EQ(ends, 0u);
    }
}

// Text stays one byte a unit until a unit needs more, wherever that unit lies among the steps of
// four; from there on it is UTF-16, the units before it kept.
TEST(RegFileText, Utf16TextStaysNarrowUntilAUnitNeedsMore) {
    for (std::size_t wideAt = 0; wideAt <= 13; ++wideAt) {
        SCOPED_TRACE(wideAt);
        std::u16string units;
        for (std::size_t i = 0; i < 13; ++i)
            units.push_back(static_cast<char16_t>(i == wideAt ? 0x0100 + i : 0x00E0 + i));
        const std::vector<std::uint8_t> bytes = tavlo::test::utf16Bytes(units, false);
        Decoded decoded;
        decoded.push(u'x');
        decoded.appendUtf16(bytes.data(), units.size());
        EXPECT_EQ(decoded.units().narrow, wideAt == 13);
        EXPECT_EQ(decoded.size(), 14u);
        EXPECT_EQ(std::u16string(decoded.wide()), u"x" + units);
    }
}

} // namespace
