#include "platform/portable/names.h"

namespace tavlo::platform::portable {

const std::array<char16_t, 256> kNarrowFolds = [] {
    std::array<char16_t, 256> folds{};
    for (unsigned c = 0; c < 256; ++c)
        folds[c] = fold(static_cast<char16_t>(c));
    return folds;
}();

} // namespace tavlo::platform::portable
