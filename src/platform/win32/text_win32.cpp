#include "platform/text.h"
#include "platform/win32/windows_api.h"

#include "platform/win32/services_win32.h"

#include <array>

namespace tavlo::platform::win32 {

Status Win32Text::formatMessage(const char16_t* templ, const char16_t* insert1,
                                std::u16string& out) {
    out.clear();
    // FormatMessage reads as many inserts as the template names, up to 99; the unused ones
    // point at an empty string so that no template makes it read beyond this array.
    std::array<DWORD_PTR, 99> inserts;
    inserts.fill(reinterpret_cast<DWORD_PTR>(L""));
    inserts[0] = reinterpret_cast<DWORD_PTR>(wide(insert1));
    // A buffer of the caller's: with FORMAT_MESSAGE_ALLOCATE_BUFFER an empty result reports a
    // different error than the documented ERROR_NO_WORK_DONE.
    std::size_t templLength = 0;
    while (templ && templ[templLength])
        ++templLength;
    std::size_t insertLength = 0;
    while (insert1 && insert1[insertLength])
        ++insertLength;
    std::size_t capacity = 2 * templLength + insertLength + 256;
    for (;;) {
        std::wstring buffer(capacity, L'\0');
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, wide(templ),
                           0, 0, buffer.data(), static_cast<DWORD>(capacity),
                           reinterpret_cast<va_list*>(inserts.data()));
        if (length > 0) {
            out.assign(utf16(buffer.c_str()), length);
            return status::success;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_INSUFFICIENT_BUFFER && capacity < (std::size_t{1} << 22)) {
            capacity *= 4;
            continue;
        }
        return error ? static_cast<Status>(error) : status::no_work_done;
    }
}

void Win32Text::toLower(std::u16string& text) {
    if (!text.empty())
        CharLowerBuffW(wide(text.data()), static_cast<DWORD>(text.size()));
}

void Win32Text::toUpper(std::u16string& text) {
    if (!text.empty())
        CharUpperBuffW(wide(text.data()), static_cast<DWORD>(text.size()));
}

void Win32Ui::messageBox(const char16_t* text) {
    // The caption is the one an application without a name of its own gets: the module's name.
    MessageBoxW(nullptr, wide(text), L"tavlo9", MB_OK);
}

} // namespace tavlo::platform::win32
