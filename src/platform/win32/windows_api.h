// The one way into <windows.h>: everything Win32 goes through this header so that the target
// version and the lean set of declarations are the same for every file of the backend.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <windows.h>

#include <string>

namespace tavlo::platform::win32 {

// wchar_t is 16 bits on this target, so the core's UTF-16 and Win32's wide strings are the
// same bytes.
static_assert(sizeof(wchar_t) == sizeof(char16_t));
inline const wchar_t* wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
inline wchar_t* wide(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}
inline const char16_t* utf16(const wchar_t* text) {
    return reinterpret_cast<const char16_t*>(text);
}

} // namespace tavlo::platform::win32
