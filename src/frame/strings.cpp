#include "frame/strings.h"

#include "frame/state.h"

namespace tavlo::frame {

void dropTrailingBackslashes(std::u16string& text) {
    while (!text.empty() && text.back() == u'\\')
        text.pop_back();
}

std::u16string lowered(std::u16string text) {
    state().services.text->toLower(text);
    return text;
}

} // namespace tavlo::frame
