// The PE string reader against the real resource module, a 32-bit module with two languages,
// and images made hostile on purpose. Standard C++ only: this program also runs under Wine.
#include "platform/portable/pe_resources.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using tavlo::platform::portable::PeStringTable;
using namespace std::literals;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void put(std::string& bytes, std::size_t at, std::uint32_t value, int width = 4) {
    for (int i = 0; i < width; ++i)
        bytes[at + i] = static_cast<char>(value >> 8 * i & 0xFF);
}

constexpr std::uint32_t kSectionRva = 0x1000;

// A PE32+ image with one section, .rsrc, holding rsrc at file offset 0x200.
std::string image(const std::string& rsrc) {
    std::string out(0x200, '\0');
    out.replace(0, 2, "MZ");
    put(out, 0x3C, 0x40);
    out.replace(0x40, 4, std::string("PE\0\0", 4));
    put(out, 0x44, 0x8664, 2); // machine
    put(out, 0x46, 1, 2);      // sections
    put(out, 0x54, 240, 2);    // optional header size
    put(out, 0x58, 0x20B, 2);  // PE32+
    put(out, 0x58 + 108, 16);  // data directories
    put(out, 0x58 + 128, kSectionRva);
    put(out, 0x58 + 132, static_cast<std::uint32_t>(rsrc.size()));
    const std::size_t section = 0x58 + 240;
    out.replace(section, 5, ".rsrc");
    put(out, section + 8, static_cast<std::uint32_t>(rsrc.size()));
    put(out, section + 12, kSectionRva);
    put(out, section + 16, static_cast<std::uint32_t>(rsrc.size()));
    put(out, section + 20, 0x200);
    return out + rsrc;
}

// A resource tree holding strings 0..2 ("a", "bb", "ccc") in block 1, language 0x409, the block
// declared declaredSize bytes long. The three directories come first (the root at offset 0),
// each with `count` entries that all lead to the one below, then the leaf, then the text: tests
// can corrupt the tree (of one entry each, kTreeEnd bytes) without touching any text.
constexpr std::size_t kTreeEnd = 3 * 24 + 16;
std::string resourceTree(std::size_t declaredSize = 18, std::uint32_t count = 1) {
    const std::size_t level = 16 + count * 8, leaf = 3 * level;
    std::string out(leaf + 16, '\0');
    const std::uint32_t ids[] = {6, 1, 0x409};
    for (std::size_t depth = 0; depth < 3; ++depth) {
        put(out, depth * level + 14, count, 2);
        for (std::size_t i = 0; i < count; ++i) {
            put(out, depth * level + 16 + i * 8, ids[depth]);
            put(out, depth * level + 20 + i * 8,
                static_cast<std::uint32_t>(depth < 2 ? 0x80000000u | (depth + 1) * level : leaf));
        }
    }
    put(out, leaf, kSectionRva + static_cast<std::uint32_t>(out.size()));
    put(out, leaf + 4, static_cast<std::uint32_t>(declaredSize));
    for (const char16_t c : u"\1a\2bb\3ccc"sv)
        out += {static_cast<char>(c), '\0'};
    return out;
}

const std::vector<std::optional<std::u16string>> kStrings = {u"a", u"bb", u"ccc"};

// Whatever was done to the file, each string is either the true one or missing.
using Truth = std::vector<std::pair<std::uint32_t, std::u16string>>;
void expectRightOrNothing(const PeStringTable& table, const Truth& truth, const std::string& what) {
    for (const auto& [id, text] : truth)
        EXPECT_EQ(table.find(id).value_or(text), text) << what << ", id " << id;
}

// The module's languages, its messages and whether each shows %1. Then, cut short, whatever is
// read from it is right; with any word overwritten (so text itself may change), nothing is read
// out of bounds (the asan build checks that) and no string grows past the file.
TEST(PeStringTable, ReadsTheResourceModuleWholeCutOrOverwritten) {
    const std::string file = readFile(TAVLO_RES_DLL);
    PeStringTable whole;
    ASSERT_TRUE(whole.parse(file));
    EXPECT_EQ(whole.languages(), (std::vector<std::uint16_t>{0x007, 0x409}));
    Truth truth;
    for (const auto& [id, insert] :
         {std::pair{1u, true}, {54u, false}, {55u, true}, {57u, false}, {61u, true}}) {
        for (std::uint16_t language : {0x007, 0x409}) {
            ASSERT_TRUE(whole.find(id, language)) << id;
            EXPECT_EQ(whole.find(id, language)->find(u"%1") != std::u16string::npos, insert) << id;
        }
        truth.emplace_back(id, *whole.find(id));
    }
    for (std::uint32_t id : {0u, 2u, 62u, 0xFFFFu})
        EXPECT_EQ(whole.find(id), std::nullopt) << id;
    for (std::size_t at = 0; at < file.size(); ++at) {
        PeStringTable cut;
        cut.parse(std::string_view(file).substr(0, at));
        expectRightOrNothing(cut, truth, "cut at " + std::to_string(at));
        for (std::uint32_t value : {0u, 0xFFFFFFFFu, 0x80000000u, 0x0000FFFFu}) {
            if (at % 4 != 0 || at + 4 > file.size())
                break;
            std::string copy = file;
            put(copy, at, value);
            PeStringTable table;
            table.parse(copy);
            for (std::uint32_t id = 0; id < 64; ++id)
                EXPECT_LE(table.find(id).value_or(u"").size() * 2, file.size()) << "offset " << at;
        }
    }
}

TEST(PeStringTable, ChoosesTheLanguageInA32BitModule) {
    PeStringTable table;
    ASSERT_TRUE(table.parse(readFile(TAVLO_TEST_DATA_DIR "/pe/strings32.dll")));
    EXPECT_EQ(table.languages(), (std::vector<std::uint16_t>{0x407, 0x409}));
    // clang-format off
    const std::tuple<std::uint32_t, std::uint16_t, std::optional<std::u16string>> rows[] = {
        {1, 0, u"Eins"}, /* the file's first language */ {1, 0x409, u"One"}, {17, 0x407, u"Siebzehn"},
        {100, 0, u"Gr\u00FC\u00DFe \u2603 \U0001D11E"}, // only English has block 7
        {65535, 0x409, u"Last"}, // the last block there can be
        {0x10001, 0x409, u"One"}, // only the low word counts
        {2, 0, std::nullopt}, {16, 0x409, std::nullopt}, {1, 0x40C, std::nullopt},
    };
    // clang-format on
    for (const auto& [id, language, expected] : rows)
        EXPECT_EQ(table.find(id, language), expected) << "id " << id << " language " << language;
}

TEST(PeStringTable, RejectsWhatIsNoPeImage) {
    // The last has no resources at all.
    for (const std::string& file :
         {""s, "MZ"s, std::string(64, 'M'), "\x7f\x45LF\2\1\1"s, image("")}) {
        PeStringTable table;
        EXPECT_FALSE(table.parse(file));
        EXPECT_EQ(table.find(1), std::nullopt);
    }
}

TEST(PeStringTable, StringsCutByTheBlockEndAreMissing) {
    // {declared size, strings present}: lengths end at 4 ("a"), 10 ("bb") and 18 ("ccc");
    // larger sizes run past the section.
    const std::pair<std::size_t, std::uint32_t> rows[] = {{18, 3}, {17, 2}, {10, 2}, {9, 1},
                                                          {4, 1},  {3, 0},  {0, 0},  {19, 0}};
    for (const auto& [size, present] : rows) {
        PeStringTable table;
        table.parse(image(resourceTree(size)));
        for (std::uint32_t id = 0; id < 3; ++id)
            EXPECT_EQ(table.find(id), id < present ? kStrings[id] : std::nullopt)
                << "size " << size << ", id " << id;
    }
}

TEST(PeStringTable, CorruptedDirectoriesGiveTheStringOrNothing) {
    // Every field of the tree, in turn: 0x80000000 and 0x80000010 turn entries into directories
    // pointing back at the root or into the middle of a directory, 0xFFFF and 0xFFFFFFFF claim
    // huge counts, sizes and offsets.
    const std::string tree = resourceTree();
    const Truth truth = {{0, u"a"}, {1, u"bb"}, {2, u"ccc"}};
    const std::uint32_t values[] = {0, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0xFFFF, 0x80000010u,
                                    6};
    for (std::size_t at = 0; at + 4 <= kTreeEnd; at += 2) {
        for (std::uint32_t value : values) {
            std::string rsrc = tree;
            put(rsrc, at, value);
            PeStringTable table;
            table.parse(image(rsrc));
            expectRightOrNothing(table, truth,
                                 "offset " + std::to_string(at) + " = " + std::to_string(value));
        }
    }
}

TEST(PeStringTable, HugeSharedDirectoriesStayCheap) {
    // Every level claims 65535 entries that all lead to the one directory below: read naively
    // that is 65535^3 leaves.
    const std::string huge = image(resourceTree(18, 0xFFFF));
    const auto start = std::chrono::steady_clock::now();
    PeStringTable table;
    table.parse(huge);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(table.find(2), std::u16string(u"ccc"));
}

} // namespace
