#include "library_loader.h"

#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

namespace tavlo::test {

LoadedLibrary::LoadedLibrary(const std::string& path)
    : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}

LoadedLibrary::~LoadedLibrary() {
    if (handle_)
        dlclose(handle_);
}

void* LoadedLibrary::symbol(const char* name) const {
    return dlsym(handle_, name);
}

bool LoadedLibrary::resident(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

std::size_t memoryInUse() {
    const struct mallinfo2 heap = mallinfo2();
    return heap.uordblks + heap.hblkhd;
}

void changeDirectory(const std::string& dir) {
    if (chdir(dir.c_str()) != 0)
        return;
}

} // namespace tavlo::test
