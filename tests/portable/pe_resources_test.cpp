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

// A resource tree written by hand: directories are laid out first (the root at offset 0),
// block data after them, so that tests can corrupt the tree without touching any text.
struct Tree {
    static constexpr std::uint32_t sectionRva = 0x1000;
    std::string bytes;

    std::size_t directory(std::size_t count) {
        const std::size_t at = bytes.size();
        bytes.resize(at + 16 + count * 8);
        put(bytes, at + 14, static_cast<std::uint32_t>(count), 2);
        return at;
    }
    void entry(std::size_t dir, std::size_t index, std::uint32_t id, std::uint32_t target) {
        put(bytes, dir + 16 + index * 8, id);
        put(bytes, dir + 20 + index * 8, target);
    }
    std::size_t leaf() {
        bytes.resize(bytes.size() + 16);
        return bytes.size() - 16;
    }
    void data(std::size_t leafAt, const std::string& block, std::size_t declaredSize) {
        put(bytes, leafAt, sectionRva + static_cast<std::uint32_t>(bytes.size()));
        put(bytes, leafAt + 4, static_cast<std::uint32_t>(declaredSize));
        bytes += block;
    }
};

std::string block(const std::vector<std::u16string>& strings) {
    std::string out;
    for (const auto& text : strings) {
        out.resize(out.size() + 2 + text.size() * 2);
        std::size_t at = out.size() - 2 - text.size() * 2;
        put(out, at, static_cast<std::uint32_t>(text.size()), 2);
        for (char16_t c : text)
            put(out, at += 2, c, 2);
    }
    return out;
}

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
    put(out, 0x58 + 128, Tree::sectionRva);
    put(out, 0x58 + 132, static_cast<std::uint32_t>(rsrc.size()));
    const std::size_t section = 0x58 + 240;
    out.replace(section, 5, ".rsrc");
    put(out, section + 8, static_cast<std::uint32_t>(rsrc.size()));
    put(out, section + 12, Tree::sectionRva);
    put(out, section + 16, static_cast<std::uint32_t>(rsrc.size()));
    put(out, section + 20, 0x200);
    return out + rsrc;
}

// Strings 0..2 ("a", "bb", "ccc") in block 1, language 0x409; the tree ends at treeEnd. Each
// level has `count` entries, all leading to the one directory below.
struct Simple {
    Tree tree;
    std::size_t treeEnd;
    explicit Simple(std::size_t declaredSize = 18, std::size_t count = 1) {
        const std::size_t root = tree.directory(count), names = tree.directory(count);
        const std::size_t languages = tree.directory(count), leafAt = tree.leaf();
        for (std::size_t i = 0; i < count; ++i) {
            tree.entry(root, i, 6, 0x80000000u | static_cast<std::uint32_t>(names));
            tree.entry(names, i, 1, 0x80000000u | static_cast<std::uint32_t>(languages));
            tree.entry(languages, i, 0x409, static_cast<std::uint32_t>(leafAt));
        }
        treeEnd = tree.bytes.size();
        tree.data(leafAt, block({u"a", u"bb", u"ccc"}), declaredSize);
    }
};

const std::vector<std::optional<std::u16string>> simpleStrings = {u"a", u"bb", u"ccc"};

// Whatever was done to the file, each string is either the true one or missing.
using Truth = std::vector<std::pair<std::uint32_t, std::u16string>>;
void expectRightOrNothing(const PeStringTable& table, const Truth& truth, const std::string& what) {
    for (const auto& [id, text] : truth)
        EXPECT_EQ(table.find(id).value_or(text), text) << what << ", id " << id;
}

TEST(PeStringTable, ReadsTheResourceModule) {
    PeStringTable table;
    ASSERT_TRUE(table.parse(readFile(TAVLO_RES_DLL)));
    EXPECT_EQ(table.languages(), (std::vector<std::uint16_t>{0x007, 0x409}));
    // Present ids, and whether each shows %1.
    for (const auto& [id, insert] :
         {std::pair{1u, true}, {54u, false}, {55u, true}, {57u, false}, {61u, true}}) {
        for (std::uint16_t language : {0x007, 0x409}) {
            ASSERT_TRUE(table.find(id, language)) << id;
            EXPECT_EQ(table.find(id, language)->find(u"%1") != std::u16string::npos, insert) << id;
        }
    }
    for (std::uint32_t id : {0u, 2u, 62u, 0xFFFFu})
        EXPECT_EQ(table.find(id), std::nullopt) << id;
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
        table.parse(image(Simple(size).tree.bytes));
        for (std::uint32_t id = 0; id < 3; ++id)
            EXPECT_EQ(table.find(id), id < present ? simpleStrings[id] : std::nullopt)
                << "size " << size << ", id " << id;
    }
}

TEST(PeStringTable, CorruptedDirectoriesGiveTheStringOrNothing) {
    // Every field of the tree, in turn: 0x80000000 and 0x80000010 turn entries into directories
    // pointing back at the root or into the middle of a directory, 0xFFFF and 0xFFFFFFFF claim
    // huge counts, sizes and offsets.
    const Simple simple;
    const Truth truth = {{0, u"a"}, {1, u"bb"}, {2, u"ccc"}};
    const std::uint32_t values[] = {0, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0xFFFF, 0x80000010u,
                                    6};
    for (std::size_t at = 0; at + 4 <= simple.treeEnd; at += 2) {
        for (std::uint32_t value : values) {
            std::string rsrc = simple.tree.bytes;
            put(rsrc, at, value);
            PeStringTable table;
            table.parse(image(rsrc));
            expectRightOrNothing(table, truth,
                                 "offset " + std::to_string(at) + " = " + std::to_string(value));
        }
    }
}

// Cut short, whatever is read is right; with any word overwritten (so text itself may change),
// nothing is read out of bounds (the asan build checks that) and no string grows past the file.
TEST(PeStringTable, SurvivesTheModuleCutOrOverwritten) {
    const std::string file = readFile(TAVLO_RES_DLL);
    PeStringTable whole;
    ASSERT_TRUE(whole.parse(file));
    Truth truth;
    for (std::uint32_t id : {1, 54, 55, 57, 61})
        truth.emplace_back(id, *whole.find(id));
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
            for (std::uint32_t id = 0; id < 64; ++id) {
                if (const auto text = table.find(id)) {
                    EXPECT_LE(text->size() * 2, file.size()) << "offset " << at;
                }
            }
        }
    }
}

TEST(PeStringTable, HugeSharedDirectoriesStayCheap) {
    // Every level claims 65535 entries that all lead to the one directory below: read naively
    // that is 65535^3 leaves.
    const Simple huge(18, 0xFFFF);
    const auto start = std::chrono::steady_clock::now();
    PeStringTable table;
    table.parse(image(huge.tree.bytes));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(table.find(2), std::u16string(u"ccc"));
}

} // namespace
