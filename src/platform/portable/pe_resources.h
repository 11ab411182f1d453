// String resources read straight from a PE file's .rsrc section, so that the one
// tavlo9Res.dll (and a driver's notice module inside a Wine prefix) serves the Linux build too.
// Every read is bounds-checked: a truncated or hostile file yields "no such string".
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavlo::platform::portable {

class PeStringTable {
public:
    // Parses image (the whole file). False when it isn't a PE file with resources worth
    // reading; the table is then empty.
    bool parse(std::string_view image);

    // The string with id in the given language (a LANGID; 0 takes the first language that has
    // the string's block). nullopt when there is none.
    std::optional<std::u16string> find(std::uint32_t id, std::uint16_t language = 0) const;

    // The string with id as the loader picks it for a request that names no language: from the
    // block of the first of languages that the module has, else from the first block for id. A
    // string missing from the chosen block stays missing; no other language stands in for it.
    std::optional<std::u16string> findPreferred(std::uint32_t id,
                                                std::span<const std::uint16_t> languages) const;

    // Languages that carry string tables, in the file's order.
    std::vector<std::uint16_t> languages() const;

private:
    struct Block {
        std::uint16_t blockId = 0; // id / 16 + 1
        std::uint16_t language = 0;
        std::vector<std::u16string> strings; // always 16
    };
    std::vector<Block> blocks_;
};

} // namespace tavlo::platform::portable
