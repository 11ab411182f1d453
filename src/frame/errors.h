// Raising and reporting errors. Every error the library raises is one of the kinds of
// TAVLO_Exception, carrying a message id of the resource module and the text for its "%1".
#pragma once

#include "frame/state.h"
#include "tavlo/tavlo.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace tavlo::frame {

// Message ids of tavlo9Res.dll.
namespace message {
inline constexpr std::uint32_t defaultNotice = 1;
inline constexpr std::uint32_t caption = 54;
inline constexpr std::uint32_t machineValue = 55;
inline constexpr std::uint32_t appKey = 57;
inline constexpr std::uint32_t profileValue = 61;
} // namespace message

inline constexpr std::u16string_view kSourceMarker = u"$Workfile: tavlo_api $ $Revision: #1 $";

// Fills the error context and the record that points into it. Texts longer than the context's
// room are cut (LibraryState::kContextTextLimit).
TAVLO_Exception makeError(std::u16string_view operation, std::uint32_t messageId,
                          std::u16string_view argument);

// Throws the chosen kind, by value.
template <typename Kind>
[[noreturn]] void raise(std::u16string_view operation, std::uint32_t messageId,
                        std::u16string_view argument) {
    Kind error;
    static_cast<TAVLO_Exception&>(error) = makeError(operation, messageId, argument);
    throw error;
}

// An error found and recorded as raise() records it, but not thrown: the paths that drop or
// report their errors take it as a result, since a throw costs far more than the read that
// failed. kind is the exception raise() would have thrown.
struct Failure {
    enum class Kind { None, Key, Entry } kind = Kind::None;
    TAVLO_Exception error{};
    explicit operator bool() const { return kind != Kind::None; }
};

// Throws the failure's kind, as raise() would have (no-op without a failure).
void raise(const Failure& failure);

// A message template as shown: with argument as its "%1" when it has one.
std::u16string messageText(platform::TextService& formatter, std::u16string text,
                           const char16_t* argument);

// Shows the error's message through the host's handler, if one is installed. Never throws an
// error of the library's own family. With shown, the message is also kept there, as shown.
void ReportError(TAVLO_Exception error, std::u16string* shown = nullptr);

// String resource id of the resource module; empty when it has none.
std::u16string loadLibraryString(std::uint32_t id);

} // namespace tavlo::frame
