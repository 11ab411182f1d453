// The PE string reader against the real resource module, a 32-bit module with two languages,
// and images made hostile on purpose. Standard C++ only: this program also runs under Wine.
#include "platform/portable/pe_resources.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

using tavlo::platform::portable::PeStringTable;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void put16(std::string& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8 & 0xFF);
}

void put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    put16(bytes, at, value & 0xFFFF);
    put16(bytes, at + 2, value >> 16);
}

// A resource tree written by hand: directories are laid out first (the root at offset 0),
// block data after them, so that tests can corrupt the tree without touching any text.
struct Tree {
    static constexpr std::uint32_t sectionRva = 0x1000;
    std::string bytes;

    std::size_t directory(std::size_t count) {
        const std::size_t at = bytes.size();
        bytes.resize(at + 16 + count * 8);
        put16(bytes, at + 14, static_cast<std::uint32_t>(count));
        return at;
    }
    void entry(std::size_t dir, std::size_t index, std::uint32_t id, std::uint32_t target) {
        put32(bytes, dir + 16 + index * 8, id);
        put32(bytes, dir + 20 + index * 8, target);
    }
    std::size_t leaf() {
        bytes.resize(bytes.size() + 16);
        return bytes.size() - 16;
    }
    void data(std::size_t leafAt, const std::string& block, std::size_t declaredSize) {
        put32(bytes, leafAt, sectionRva + static_cast<std::uint32_t>(bytes.size()));
        put32(bytes, leafAt + 4, static_cast<std::uint32_t>(declaredSize));
        bytes += block;
    }
};

std::string block(const std::vector<std::u16string>& strings) {
    std::string out;
    for (const auto& text : strings) {
        out.resize(out.size() + 2 + text.size() * 2);
        std::size_t at = out.size() - 2 - text.size() * 2;
        put16(out, at, static_cast<std::uint32_t>(text.size()));
        for (char16_t c : text)
            put16(out, at += 2, c);
    }
    return out;
}

// A PE32+ image with one section, .rsrc, holding rsrc at file offset 0x200.
std::string image(const std::string& rsrc) {
    std::string out(0x200, '\0');
    out[0] = 'M';
    out[1] = 'Z';
    put32(out, 0x3C, 0x40);
    out.replace(0x40, 4, std::string("PE\0\0", 4));
    put16(out, 0x44, 0x8664);   // machine
    put16(out, 0x46, 1);        // sections
    put16(out, 0x54, 240);      // optional header size
    put16(out, 0x58, 0x20B);    // PE32+
    put32(out, 0x58 + 108, 16); // data directories
    put32(out, 0x58 + 128, Tree::sectionRva);
    put32(out, 0x58 + 132, static_cast<std::uint32_t>(rsrc.size()));
    const std::size_t section = 0x58 + 240;
    out.replace(section, 5, ".rsrc");
    put32(out, section + 8, static_cast<std::uint32_t>(rsrc.size()));
    put32(out, section + 12, Tree::sectionRva);
    put32(out, section + 16, static_cast<std::uint32_t>(rsrc.size()));
    put32(out, section + 20, 0x200);
    return out + rsrc;
}

// Strings 0..2 ("a", "bb", "ccc") in block 1, language 0x409; the tree ends at treeEnd.
struct Simple {
    Tree tree;
    std::size_t root, names, languages, leafAt, treeEnd;
    explicit Simple(std::size_t declaredSize = 18) {
        root = tree.directory(1);
        names = tree.directory(1);
        languages = tree.directory(1);
        leafAt = tree.leaf();
        tree.entry(root, 0, 6, 0x80000000u | static_cast<std::uint32_t>(names));
        tree.entry(names, 0, 1, 0x80000000u | static_cast<std::uint32_t>(languages));
        tree.entry(languages, 0, 0x409, static_cast<std::uint32_t>(leafAt));
        treeEnd = tree.bytes.size();
        tree.data(leafAt, block({u"a", u"bb", u"ccc"}), declaredSize);
    }
};

const std::vector<std::optional<std::u16string>> simpleStrings = {u"a", u"bb", u"ccc"};

// Whatever was done to the file, each string is either the true one or missing.
void expectRightOrNothing(const PeStringTable& table,
                          const std::vector<std::pair<std::uint32_t, std::u16string>>& truth,
                          const std::string& what) {
    for (const auto& [id, text] : truth) {
        const auto found = table.find(id);
        if (found) {
            EXPECT_EQ(*found, text) << what << ", id " << id;
        }
    }
}

TEST(PeStringTable, ReadsTheResourceModule) {
    PeStringTable table;
    ASSERT_TRUE(table.parse(readFile(TAVLO_RES_DLL)));
    EXPECT_EQ(table.languages(), std::vector<std::uint16_t>{0x409});
    struct Row {
        std::uint32_t id;
        bool present;
        bool insert; // shows %1
    };
    const Row rows[] = {{1, true, true},   {2, false, false},  {54, true, false},
                        {55, true, true},  {57, true, false},  {61, true, true},
                        {0, false, false}, {62, false, false}, {0xFFFF, false, false}};
    for (const Row& row : rows) {
        const auto text = table.find(row.id);
        ASSERT_EQ(text.has_value(), row.present) << "id " << row.id;
        if (text) {
            EXPECT_EQ(text->find(u"%1") != std::u16string::npos, row.insert) << "id " << row.id;
        }
    }
    EXPECT_EQ(table.find(54), std::u16string(u"Plotter Configuration"));
    EXPECT_EQ(table.find(55, 0x409), table.find(55));
    EXPECT_EQ(table.find(55, 0x407), std::nullopt);
}

TEST(PeStringTable, ChoosesTheLanguageInA32BitModule) {
    PeStringTable table;
    ASSERT_TRUE(table.parse(readFile(TAVLO_TEST_DATA_DIR "/pe/strings32.dll")));
    EXPECT_EQ(table.languages(), (std::vector<std::uint16_t>{0x407, 0x409}));
    struct Row {
        std::uint32_t id;
        std::uint16_t language;
        std::optional<std::u16string> expected;
    };
    const Row rows[] = {
        {1, 0, u"Eins"}, // the file's first language
        {1, 0x409, u"One"},
        {17, 0x407, u"Siebzehn"},
        {100, 0, u"Gr\u00FC\u00DFe \u2603 \U0001D11E"}, // only English has block 7
        {65535, 0x409, u"Last"},                        // the last block there can be
        {0x10001, 0x409, u"One"},                       // only the low word counts
        {2, 0, std::nullopt},
        {16, 0x409, std::nullopt},
        {1, 0x40C, std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(table.find(row.id, row.language), row.expected)
            << "id " << row.id << " language " << row.language;
}

TEST(PeStringTable, RejectsWhatIsNoPeImage) {
    const std::string rows[] = {"", "MZ", std::string(64, 'M'),
                                "\x7f"
                                "ELF\2\1\1",
                                image("")}; // no resources at all
    for (const auto& file : rows) {
        PeStringTable table;
        EXPECT_FALSE(table.parse(file));
        EXPECT_EQ(table.find(1), std::nullopt);
    }
}

TEST(PeStringTable, StringsCutByTheBlockEndAreMissing) {
    struct Row {
        std::size_t declaredSize;
        std::size_t present; // of "a", "bb", "ccc"
    };
    // Lengths end at 4 ("a"), 10 ("bb") and 18 ("ccc"); larger sizes run past the section.
    const Row rows[] = {{18, 3}, {17, 2}, {10, 2}, {9, 1}, {4, 1}, {3, 0}, {0, 0}, {19, 0}};
    for (const Row& row : rows) {
        PeStringTable table;
        table.parse(image(Simple(row.declaredSize).tree.bytes));
        for (std::uint32_t id = 0; id < 3; ++id)
            EXPECT_EQ(table.find(id), id < row.present ? simpleStrings[id] : std::nullopt)
                << "size " << row.declaredSize << ", id " << id;
    }
}

TEST(PeStringTable, TruncatedModuleGivesTheStringOrNothing) {
    const std::string file = readFile(TAVLO_RES_DLL);
    PeStringTable whole;
    ASSERT_TRUE(whole.parse(file));
    std::vector<std::pair<std::uint32_t, std::u16string>> truth;
    for (std::uint32_t id : {1, 54, 55, 57, 61})
        truth.emplace_back(id, *whole.find(id));
    for (std::size_t size = 0; size < file.size(); ++size) {
        PeStringTable table;
        table.parse(std::string_view(file).substr(0, size));
        expectRightOrNothing(table, truth, "cut at " + std::to_string(size));
    }
}

TEST(PeStringTable, CorruptedDirectoriesGiveTheStringOrNothing) {
    // Every field of the tree, in turn: 0x80000000 and 0x80000010 turn entries into directories
    // pointing back at the root or into the middle of a directory, 0xFFFF and 0xFFFFFFFF claim
    // huge counts, sizes and offsets.
    const Simple simple;
    const std::vector<std::pair<std::uint32_t, std::u16string>> truth = {
        {0, u"a"}, {1, u"bb"}, {2, u"ccc"}};
    const std::uint32_t values[] = {0, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0xFFFF, 0x80000010u,
                                    6};
    for (std::size_t at = 0; at + 4 <= simple.treeEnd; at += 2) {
        for (std::uint32_t value : values) {
            std::string rsrc = simple.tree.bytes;
            put32(rsrc, at, value);
            PeStringTable table;
            table.parse(image(rsrc));
            expectRightOrNothing(table, truth,
                                 "offset " + std::to_string(at) + " = " + std::to_string(value));
        }
    }
}

TEST(PeStringTable, SurvivesAnyWordOfTheModuleOverwritten) {
    // Text itself may change here; what matters is that nothing reads out of bounds (the asan
    // build checks that) and no string grows past the file.
    const std::string file = readFile(TAVLO_RES_DLL);
    for (std::size_t at = 0; at + 4 <= file.size(); at += 4) {
        for (std::uint32_t value : {0u, 0xFFFFFFFFu, 0x80000000u, 0x0000FFFFu}) {
            std::string copy = file;
            put32(copy, at, value);
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
    Tree tree;
    const std::size_t root = tree.directory(0xFFFF);
    const std::size_t names = tree.directory(0xFFFF);
    const std::size_t languages = tree.directory(0xFFFF);
    const std::size_t leafAt = tree.leaf();
    for (std::size_t i = 0; i < 0xFFFF; ++i) {
        tree.entry(root, i, 6, 0x80000000u | static_cast<std::uint32_t>(names));
        tree.entry(names, i, 1, 0x80000000u | static_cast<std::uint32_t>(languages));
        tree.entry(languages, i, 0x409, static_cast<std::uint32_t>(leafAt));
    }
    const std::string rsrc = block({u"a", u"bb", u"ccc"});
    tree.data(leafAt, rsrc, rsrc.size());

    const auto start = std::chrono::steady_clock::now();
    PeStringTable table;
    table.parse(image(tree.bytes));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(table.find(2), std::u16string(u"ccc"));
}

} // namespace
