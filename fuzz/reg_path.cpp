// Abbreviating a registry path text for a message, on any UTF-16LE text.
#include "registry/reg_path.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string text = tavlo::fuzz::units(data, size);
    const std::u16string shortened = tavlo::registry::AbbreviatePathText(text);
    // Short texts stay as they are; a long one keeps its root label and "..." in front.
    if (text.size() <= 100) {
        tavlo::fuzz::require(shortened == text);
    } else {
        const std::size_t head = text.find(u'\\') + 1;
        tavlo::fuzz::require(shortened.compare(0, head, text, 0, head) == 0 &&
                             shortened.compare(head, 3, u"...") == 0);
    }
    return 0;
}
