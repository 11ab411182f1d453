#include "platform/win32/modules_win32.h"

#include "platform/win32/windows_api.h"

namespace tavlo::platform::win32 {

ModuleHandle Win32Modules::load(const char16_t* nameOrPath) {
    return LoadLibraryW(wide(nameOrPath));
}

void* Win32Modules::entryPoint(ModuleHandle module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void* Win32Modules::entryPointByOrdinal(ModuleHandle module, std::uint16_t ordinal) {
    return reinterpret_cast<void*>(
        GetProcAddress(static_cast<HMODULE>(module), MAKEINTRESOURCEA(ordinal)));
}

void Win32Modules::free(ModuleHandle module) {
    FreeLibrary(static_cast<HMODULE>(module));
}

ModuleHandle Win32Modules::moduleContaining(const void* address) {
    MEMORY_BASIC_INFORMATION info{};
    // Only a completely filled record is trusted; otherwise the executable stands in.
    if (VirtualQuery(address, &info, sizeof info) != sizeof info)
        return nullptr;
    return info.AllocationBase;
}

std::uint32_t Win32Modules::moduleFileName(ModuleHandle module, char16_t* buffer,
                                           std::uint32_t capacity) {
    return GetModuleFileNameW(static_cast<HMODULE>(module), wide(buffer), capacity);
}

std::u16string Win32Modules::loadString(ModuleHandle module, std::uint32_t id) {
    // With a zero size LoadStringW hands out a pointer into the resource itself, so a string of
    // any length is read whole.
    const wchar_t* text = nullptr;
    const int length =
        LoadStringW(static_cast<HINSTANCE>(module), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return {};
    return std::u16string(utf16(text), static_cast<std::size_t>(length));
}

} // namespace tavlo::platform::win32
