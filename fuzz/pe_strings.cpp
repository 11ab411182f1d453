// The PE string-table reader on any bytes. Besides the library's own message ids, the last eight
// bytes name four more ids (a file's tail is overlay the reader ignores), each looked up in every
// language, with a high word set, in a language the file lacks, and by language preference.
#include "fuzz_input.h"
#include "platform/portable/pe_resources.h"

#include <algorithm>
#include <iterator>
#include <vector>

using tavlo::fuzz::require;
using tavlo::platform::portable::PeStringTable;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    PeStringTable table;
    const bool parsed = table.parse({reinterpret_cast<const char*>(data), size});
    const std::vector<std::uint16_t> languages = table.languages();
    require(parsed == !languages.empty());
    std::uint16_t missing = 1; // 0 means "any language"
    while (std::find(languages.begin(), languages.end(), missing) != languages.end())
        ++missing;
    // A preference for a language the file lacks first, then the file's own backwards. Not
    // language 0, which a file may carry but find() takes for "any".
    std::vector<std::uint16_t> preferred = {missing};
    std::copy_if(languages.rbegin(), languages.rend(), std::back_inserter(preferred),
                 [](std::uint16_t language) { return language != 0; });

    std::vector<std::uint32_t> ids = {0, 1, 15, 16, 54, 55, 57, 61, 0xFFFF};
    for (std::size_t at = size >= 8 ? size - 8 : size; at + 1 < size; at += 2)
        ids.push_back(data[at] | data[at + 1] << 8);
    for (const std::uint32_t id : ids) {
        const auto any = table.find(id);
        // Only the low word counts, as for the system's loader.
        require(table.find(id | 0x50000) == any && table.findPreferred(id, {}) == any);
        require(!table.find(id, missing));
        // Whatever a lookup answers is the string of one of the file's languages.
        const auto picked = table.findPreferred(id, preferred);
        bool anySeen = !any, pickedSeen = !picked || picked == any;
        for (const std::uint16_t language : languages) {
            const auto text = table.find(id, language);
            anySeen = anySeen || text == any;
            pickedSeen = pickedSeen || text == picked;
        }
        require(anySeen && pickedSeen);
    }
    return 0;
}
