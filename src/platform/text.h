// Text services whose exact answers the library's messages and comparisons depend on.
#pragma once

#include "platform/status.h"

#include <string>

namespace tavlo::platform {

class TextService {
public:
    virtual ~TextService() = default;

    // Formats templ by the FormatMessage insert rules (FORMAT_MESSAGE_FROM_STRING with an
    // argument array, no width mask). insert1 is %1 (null prints "(null)"); every higher insert
    // number is given the empty string, so a template can never make the formatter read past
    // what the library passes. On failure returns the Win32 error (87 for a bad escape, 235
    // when the output is empty) and leaves out empty.
    virtual Status formatMessage(const char16_t* templ, const char16_t* insert1,
                                 std::u16string& out) = 0;

    // Unicode simple case mapping of each UTF-16 unit, as CharLowerBuffW / CharUpperBuffW do.
    virtual void toLower(std::u16string& text) = 0;
    virtual void toUpper(std::u16string& text) = 0;
};

} // namespace tavlo::platform
