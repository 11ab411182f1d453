// The text service of the Linux build: the FormatMessage insert rules and the case tables taken
// from the real API, so that both builds format and compare text alike.
#pragma once

#include "platform/text.h"

namespace tavlo::platform::portable {

class PortableText final : public TextService {
public:
    // A null template fails with invalid_parameter: the real function has no answer for it.
    Status formatMessage(const char16_t* templ, const char16_t* insert1,
                         std::u16string& out) override;
    void toLower(std::u16string& text) override;
    void toUpper(std::u16string& text) override;
};

} // namespace tavlo::platform::portable
