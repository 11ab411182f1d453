#include "library_loader.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <vector>

namespace tavlo::test {

namespace {
std::wstring wide(const std::string& text) {
    std::wstring out(text.size() + 1, L'\0');
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()));
    out.resize(n > 0 ? n - 1 : 0);
    return out;
}
} // namespace

LoadedLibrary::LoadedLibrary(const std::string& path) : handle_(LoadLibraryW(wide(path).c_str())) {}

LoadedLibrary::~LoadedLibrary() {
    if (handle_)
        FreeLibrary(static_cast<HMODULE>(handle_));
}

void* LoadedLibrary::symbol(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

bool LoadedLibrary::resident(const std::string& path) {
    return GetModuleHandleW(wide(path).c_str()) != nullptr;
}

std::size_t memoryInUse() {
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 8);
    heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    std::size_t total = 0;
    for (HANDLE heap : heaps) {
        PROCESS_HEAP_ENTRY entry{};
        HeapLock(heap);
        while (HeapWalk(heap, &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heap);
    }
    return total;
}

void changeDirectory(const std::string& dir) {
    SetCurrentDirectoryW(wide(dir).c_str());
}

} // namespace tavlo::test
