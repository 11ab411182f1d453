// The registry's arena: every block aligned, blocks never overlapping however the requests
// mix small, chunk-sized and huge, and a block grown in place never reaching into the next.
#include "platform/portable/arena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using tavlo::platform::portable::Arena;

struct Block {
    unsigned char* at;
    std::size_t size;
};

// Each block is filled with its own byte; a block another one overlaps loses it.
void expectApartAndIntact(std::vector<Block> blocks) {
    for (std::size_t i = 0; i < blocks.size(); ++i)
        for (std::size_t b = 0; b < blocks[i].size; ++b)
            if (blocks[i].at[b] != static_cast<unsigned char>(i * 7 + 1)) {
                ADD_FAILURE() << "block " << i << " overwritten at byte " << b;
                return;
            }
    std::sort(blocks.begin(), blocks.end(),
              [](const Block& a, const Block& b) { return a.at < b.at; });
    for (std::size_t i = 1; i < blocks.size(); ++i)
        EXPECT_LE(blocks[i - 1].at + blocks[i - 1].size, blocks[i].at);
}

std::vector<std::size_t> repeated(std::vector<std::size_t> pattern, std::size_t times) {
    std::vector<std::size_t> sizes;
    for (std::size_t t = 0; t < times; ++t)
        sizes.insert(sizes.end(), pattern.begin(), pattern.end());
    return sizes;
}

TEST(Arena, BlocksAreAlignedAndApart) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    const struct {
        const char* what;
        std::size_t alignment;
        std::vector<std::size_t> sizes;
    } cases[] = {
        {"odd sizes, byte aligned, over several chunks", 1, repeated({1, 3, 7, 13, 250}, 3000)},
        {"records, over several chunks", 8, repeated({24, 40, 8}, 12000)},
        {"sizes off the alignment", 16, repeated({1, 17, 31, 33}, 4000)},
        {"a chunk's quarter and more among small ones",
         16,
         {100, 16 * 1024 + 1, 100, 64 * 1024, 5, 200 * 1024, 5, 100}},
        {"beyond the largest chunk", 8, {5 * kMiB, 8, 9 * kMiB, 8, 3}},
        {"nothing but large", 64, {kMiB, kMiB + 1, 2 * kMiB, 4 * kMiB + 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Arena arena(c.alignment);
        std::vector<Block> blocks;
        for (const std::size_t size : c.sizes) {
            auto* at = static_cast<unsigned char*>(arena.allocate(size));
            ASSERT_NE(at, nullptr);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(at) % c.alignment, 0u) << size;
            std::memset(at, static_cast<int>(blocks.size() * 7 + 1), size);
            blocks.push_back({at, size});
        }
        expectApartAndIntact(std::move(blocks));
    }
}

// Whether a block grows in place is the arena's choice (never under AddressSanitizer); where it
// does, the block keeps its bytes and the next block starts beyond it.
TEST(Arena, GrowingInPlaceStaysApart) {
    const struct {
        const char* what;
        std::size_t alignment, from, to;
        bool latest;   // the block grown is the one allocated last
        bool possible; // the arena may grow it in place
    } cases[] = {
        {"the latest block, a little", 8, 24, 48, true, true},
        {"the latest block, to a size off the alignment", 8, 24, 27, true, true},
        {"the latest block, past its chunk", 8, 24, 8u << 20, true, false},
        {"an earlier block", 8, 24, 48, false, false},
        {"byte aligned", 1, 3, 5, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Arena arena(c.alignment);
        auto* first = static_cast<unsigned char*>(arena.allocate(c.from));
        std::memset(first, 1, c.from); // each block marked as expectApartAndIntact reads it
        auto* second = static_cast<unsigned char*>(arena.allocate(c.from));
        std::memset(second, 8, c.from);
        const bool extended = arena.extend(c.latest ? second : first, c.from, c.to);
        if (!extended || !c.possible) {
            EXPECT_FALSE(extended) << "grown where it cannot be";
            continue;
        }
        std::memset(second + c.from, 8, c.to - c.from);
        auto* next = static_cast<unsigned char*>(arena.allocate(8));
        std::memset(next, 15, 8);
        expectApartAndIntact({{first, c.from}, {second, c.to}, {next, 8}});
    }
}

} // namespace
