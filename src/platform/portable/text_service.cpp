#include "platform/portable/text_service.h"

#include "platform/portable/casemap.h"
#include "platform/portable/format_message.h"

namespace tavlo::platform::portable {

Status PortableText::formatMessage(const char16_t* templ, const char16_t* insert1,
                                   std::u16string& out) {
    if (!templ) {
        out.clear();
        return status::invalid_parameter;
    }
    return portable::formatMessage(templ, insert1, out);
}

void PortableText::toLower(std::u16string& text) {
    lowerInPlace(text);
}

void PortableText::toUpper(std::u16string& text) {
    upperInPlace(text);
}

} // namespace tavlo::platform::portable
