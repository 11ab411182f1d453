// Loads the built library through the platform's own loader and finds its exports by name, as
// a host does: the export table is part of the interface.
#pragma once

#include <cstddef>
#include <string>

namespace tavlo::test {

class LoadedLibrary {
public:
    // Loads path (UTF-8); check loaded() afterwards.
    explicit LoadedLibrary(const std::string& path);
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    // Whether the library at path is in the process now; never loads it.
    static bool resident(const std::string& path);
    void* symbol(const char* name) const;
    template <typename Fn> Fn function(const char* name) const {
        return reinterpret_cast<Fn>(symbol(name));
    }

private:
    void* handle_ = nullptr;
};

// Makes dir the current directory (where the Windows loader also looks for a library loaded
// by bare name).
void changeDirectory(const std::string& dir);

// The bytes the process's heaps hand out now.
std::size_t memoryInUse();

} // namespace tavlo::test
