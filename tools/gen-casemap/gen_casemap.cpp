// Prints src/platform/portable/casemap_tables.inc: the case mapping of every UTF-16 unit as the
// running system's CharLowerBuffW / CharUpperBuffW answer it, one unit per call, packed as
// two-level delta tables; and, because those functions also map a surrogate pair as one
// character when a string holds one, the pairs that change, as sorted lists.
//
// A Windows program on purpose: the tables have to be whatever the real API says, not what a
// Unicode database says. Build and run it by hand (see the header of the generated file):
//   x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -o gen_casemap.exe gen_casemap.cpp
//   export WINEPREFIX=<scratch prefix> WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
//   wine gen_casemap.exe | tr -d '\r' > casemap_tables.inc
// An argument (a block shift from 4 to 9) overrides the default block size of 32 units; the
// program then also writes the table size for every shift to stderr, which is how 32 was picked
// (about 11 KB in all under Wine 8).

// The two user32 calls it asks, declared here so that the tool needs no Windows headers.
extern "C" __declspec(dllimport) unsigned long __stdcall CharLowerBuffW(wchar_t* text,
                                                                        unsigned long length);
extern "C" __declspec(dllimport) unsigned long __stdcall CharUpperBuffW(wchar_t* text,
                                                                        unsigned long length);
using WCHAR = wchar_t;

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

namespace {

constexpr unsigned kUnits = 0x10000;

struct Packed {
    unsigned shift = 0;
    std::vector<std::vector<std::uint16_t>> blocks;
    std::vector<unsigned> lowerIndex;
    std::vector<unsigned> upperIndex;

    std::size_t bytes() const {
        const std::size_t indexEntry = blocks.size() <= 256 ? 1 : 2;
        return blocks.size() * (std::size_t{1} << shift) * 2 +
               (lowerIndex.size() + upperIndex.size()) * indexEntry;
    }
};

// Deltas rather than targets, so that the many blocks that map nothing (or shift a whole
// alphabet by one constant) collapse into a handful of shared blocks for both directions.
Packed pack(const std::vector<std::uint16_t>& lower, const std::vector<std::uint16_t>& upper,
            unsigned shift) {
    Packed p;
    p.shift = shift;
    const unsigned size = 1u << shift;
    std::map<std::vector<std::uint16_t>, unsigned> seen;
    auto add = [&](const std::vector<std::uint16_t>& map, std::vector<unsigned>& index) {
        for (unsigned base = 0; base < kUnits; base += size) {
            std::vector<std::uint16_t> block(size);
            for (unsigned i = 0; i < size; ++i)
                block[i] = static_cast<std::uint16_t>(map[base + i] - (base + i));
            auto [it, fresh] = seen.emplace(block, static_cast<unsigned>(p.blocks.size()));
            if (fresh)
                p.blocks.push_back(block);
            index.push_back(it->second);
        }
    };
    // The identity block first, so that index 0 means "maps to itself".
    seen.emplace(std::vector<std::uint16_t>(size, 0), 0);
    p.blocks.push_back(std::vector<std::uint16_t>(size, 0));
    add(lower, p.lowerIndex);
    add(upper, p.upperIndex);
    return p;
}

struct Pair {
    std::uint32_t from;
    std::uint32_t to;
};

// Asks for every supplementary code point written as a pair. A pair that comes back as anything
// but another well-formed pair would need more than a list to reproduce, so the program refuses.
bool mapPairs(bool lower, std::vector<Pair>& out) {
    for (std::uint32_t cp = 0x10000; cp <= 0x10FFFF; ++cp) {
        WCHAR buf[2] = {static_cast<WCHAR>(0xD800 + ((cp - 0x10000) >> 10)),
                        static_cast<WCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
        const WCHAR hi = buf[0], lo = buf[1];
        if (lower)
            CharLowerBuffW(buf, 2);
        else
            CharUpperBuffW(buf, 2);
        if (buf[0] == hi && buf[1] == lo)
            continue;
        if (buf[0] < 0xD800 || buf[0] > 0xDBFF || buf[1] < 0xDC00 || buf[1] > 0xDFFF) {
            std::fprintf(stderr, "U+%X maps to %04X %04X, not a pair\n", cp, buf[0], buf[1]);
            return false;
        }
        out.push_back({cp, 0x10000 + ((std::uint32_t{buf[0]} - 0xD800) << 10) +
                               (std::uint32_t{buf[1]} - 0xDC00)});
    }
    return true;
}

void printPairs(const char* name, const std::vector<Pair>& pairs) {
    std::printf("inline constexpr CasePair %s[%zu] = {", name, pairs.size());
    for (std::size_t i = 0; i < pairs.size(); ++i)
        std::printf("%s{0x%05X, 0x%05X},", i % 4 == 0 ? "\n    " : " ", pairs[i].from, pairs[i].to);
    std::printf("\n};\n\n");
}

void printIndex(const char* name, const std::vector<unsigned>& index, const char* type) {
    std::printf("inline constexpr %s %s[%zu] = {", type, name, index.size());
    for (std::size_t i = 0; i < index.size(); ++i)
        std::printf("%s%u,", i % 16 == 0 ? "\n    " : " ", index[i]);
    std::printf("\n};\n\n");
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::uint16_t> lower(kUnits), upper(kUnits);
    for (unsigned c = 0; c < kUnits; ++c) {
        WCHAR unit = static_cast<WCHAR>(c);
        CharLowerBuffW(&unit, 1);
        lower[c] = unit;
        unit = static_cast<WCHAR>(c);
        CharUpperBuffW(&unit, 1);
        upper[c] = unit;
    }

    if (argc > 1) {
        for (unsigned s = 4; s <= 9; ++s)
            std::fprintf(stderr, "shift %u: %zu blocks, %zu bytes\n", s,
                         pack(lower, upper, s).blocks.size(), pack(lower, upper, s).bytes());
    }

    std::vector<Pair> lowerPairs, upperPairs;
    if (!mapPairs(true, lowerPairs) || !mapPairs(false, upperPairs))
        return 1;

    unsigned shift = 5;
    if (argc > 1) {
        const int wanted = std::atoi(argv[1]);
        if (wanted < 4 || wanted > 9) {
            std::fprintf(stderr, "block shift must be 4..9\n");
            return 2;
        }
        shift = static_cast<unsigned>(wanted);
    }
    const Packed p = pack(lower, upper, shift);
    const char* indexType = p.blocks.size() <= 256 ? "std::uint8_t" : "std::uint16_t";
    unsigned lowerChanged = 0, upperChanged = 0;
    for (unsigned c = 0; c < kUnits; ++c) {
        lowerChanged += lower[c] != c;
        upperChanged += upper[c] != c;
    }

    std::printf(
        "// Generated by tools/gen-casemap/gen_casemap.cpp: do not edit by hand.\n"
        "// clang-format off\n"
        "// Made by building that program with\n"
        "//   x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static\n"
        "// and running it under Wine 8 in a scratch prefix (WINEDEBUG=-all,\n"
        "// WINEDLLOVERRIDES=\"mscoree,mshtml=\"), its CR LF line ends made LF. It asks\n"
        "// CharLowerBuffW and CharUpperBuffW for every UTF-16 unit, one unit per call, and\n"
        "// for every supplementary code point written as a surrogate pair.\n"
        "// %u units change when lowered, %u when upper-cased; %zu and %zu pairs.\n"
        "//\n"
        "// Unit c maps to c + kCaseBlocks[index[c >> kCaseBlockShift]][c & (kCaseBlockSize - 1)]\n"
        "// (mod 0x10000), index being kLowerIndex or kUpperIndex.\n\n",
        lowerChanged, upperChanged, lowerPairs.size(), upperPairs.size());
    std::printf("inline constexpr unsigned kCaseBlockShift = %u;\n", p.shift);
    std::printf("inline constexpr unsigned kCaseBlockSize = 1u << kCaseBlockShift;\n\n");
    printIndex("kLowerIndex", p.lowerIndex, indexType);
    printIndex("kUpperIndex", p.upperIndex, indexType);
    std::printf("inline constexpr std::uint16_t kCaseBlocks[%zu][kCaseBlockSize] = {\n",
                p.blocks.size());
    for (const auto& block : p.blocks) {
        std::printf("    {");
        for (std::size_t i = 0; i < block.size(); ++i)
            std::printf("%s0x%04X,", i % 8 == 0 ? "\n        " : " ", block[i]);
        std::printf("\n    },\n");
    }
    std::printf("};\n\n");
    std::printf("// Supplementary code points that change, sorted, as {from, to}.\n");
    printPairs("kLowerPairs", lowerPairs);
    printPairs("kUpperPairs", upperPairs);
    std::printf("// clang-format on\n");
    return 0;
}
