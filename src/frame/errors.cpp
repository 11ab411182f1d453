#include "frame/errors.h"

namespace tavlo::frame {

static_assert(sizeof(TavloChar) == sizeof(char16_t), "the library's text is UTF-16");

TAVLO_Exception makeError(std::u16string_view operation, std::uint32_t messageId,
                          std::u16string_view argument) {
    LibraryState& s = state();
    s.currentArgument.assign(argument);
    s.currentOperation.assign(operation);
    s.sourceMarker.assign(kSourceMarker);
    // Before start-up has recorded the library's handle, the module holding this code stands in.
    void* module =
        s.instance
            ? s.instance
            : s.services.modules->moduleContaining(reinterpret_cast<const void*>(&makeError));
    return TAVLO_Exception{module, messageId, s.currentOperation.c_str(), s.currentArgument.c_str(),
                           s.sourceMarker.c_str()};
}

void raise(const Failure& failure) {
    if (failure.kind == Failure::Kind::Key) {
        TAVLO_Key_Error error;
        static_cast<TAVLO_Exception&>(error) = failure.error;
        throw error;
    }
    if (failure.kind == Failure::Kind::Entry) {
        TAVLO_Entry_Error error;
        static_cast<TAVLO_Exception&>(error) = failure.error;
        throw error;
    }
}

std::u16string loadLibraryString(std::uint32_t id) {
    LibraryState& s = state();
    // Without a resource module (a Linux process whose start-up could not find it) every
    // text is empty, as a missing string would be.
    if (!s.resourceModule)
        return {};
    return s.services.modules->loadString(s.resourceModule, id);
}

void ReportError(TAVLO_Exception error) {
    // Strings always come from the library's resource module, whichever module the caller runs
    // in: the library keeps that module itself instead of switching a framework's module state.
    LibraryState& s = state();
    const std::u16string caption = loadLibraryString(message::caption);
    std::u16string text = loadLibraryString(error.messageId);
    if (text.find(u"%1") != std::u16string::npos && error.argument) {
        // The whole text goes through the formatter, so its other escapes take effect too. When
        // the formatter produces nothing (an empty insert as the whole text, or a template it
        // rejects) the handler is shown the empty text it produced.
        std::u16string formatted;
        if (s.services.text->formatMessage(text.c_str(), error.argument, formatted) ==
            platform::status::success)
            text = std::move(formatted);
        else
            text.clear();
    }
    if (s.errorHandler)
        s.errorHandler->DisplayError(reinterpret_cast<const TavloChar*>(text.c_str()),
                                     reinterpret_cast<const TavloChar*>(caption.c_str()), 48, 0);
}

} // namespace tavlo::frame
