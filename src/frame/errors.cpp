#include "frame/errors.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace tavlo::frame {

static_assert(sizeof(TavloChar) == sizeof(char16_t), "the library's text is UTF-16");

// The handler is called through the table layout tavlo.h documents, never as a C++ virtual
// call: a C host's object is no C++ object, and a virtual call on it is undefined (checked
// builds stop on it). Both forms must be one pointer to three entries, DisplayError third.
static_assert(std::is_standard_layout_v<TavloErrorHandlerVtbl> &&
              sizeof(TavloErrorHandlerVtbl) == 3 * sizeof(void*) &&
              offsetof(TavloErrorHandlerVtbl, DisplayError) == 2 * sizeof(void*));
static_assert(std::is_polymorphic_v<TavloErrorHandler> &&
              !std::has_virtual_destructor_v<TavloErrorHandler> &&
              sizeof(TavloErrorHandler) == sizeof(const TavloErrorHandlerVtbl*) &&
              alignof(TavloErrorHandler) == alignof(const TavloErrorHandlerVtbl*));

namespace {
int displayError(TavloErrorHandler* handler, const char16_t* message, const char16_t* caption) {
    const TavloErrorHandlerVtbl* table = nullptr;
    std::memcpy(&table, static_cast<const void*>(handler), sizeof table);
    return table->DisplayError(handler, reinterpret_cast<const TavloChar*>(message),
                               reinterpret_cast<const TavloChar*>(caption), 48, 0);
}
} // namespace

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

std::u16string messageText(platform::TextService& formatter, std::u16string text,
                           const char16_t* argument) {
    if (text.find(u"%1") == std::u16string::npos || !argument)
        return text;
    // The whole text goes through the formatter, so its other escapes take effect too. When the
    // formatter produces nothing (an empty insert as the whole text, or a template it rejects)
    // the text is the empty one it produced.
    std::u16string formatted;
    if (formatter.formatMessage(text.c_str(), argument, formatted) != platform::status::success)
        formatted.clear();
    return formatted;
}

void ReportError(TAVLO_Exception error, std::u16string* shown) {
    // Strings always come from the library's resource module, whichever module the caller runs
    // in: the library keeps that module itself instead of switching a framework's module state.
    LibraryState& s = state();
    const std::u16string caption = loadLibraryString(message::caption);
    const std::u16string text =
        messageText(*s.services.text, loadLibraryString(error.messageId), error.argument);
    if (s.errorHandler)
        displayError(s.errorHandler, text.c_str(), caption.c_str());
    if (shown)
        *shown = text;
}

} // namespace tavlo::frame
