// The FormatMessage insert rules (FORMAT_MESSAGE_FROM_STRING with an argument array and no width
// mask), for the Linux build.
#pragma once

#include "platform/status.h"

#include <string>
#include <string_view>

namespace tavlo::platform::portable {

// insert1 is %1 (null prints "(null)"); higher insert numbers give the empty string.
Status formatMessage(std::u16string_view templ, const char16_t* insert1, std::u16string& out);

} // namespace tavlo::platform::portable
