#include "library_loader.h"

#include <dlfcn.h>
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

void changeDirectory(const std::string& dir) {
    if (chdir(dir.c_str()) != 0)
        return;
}

} // namespace tavlo::test
