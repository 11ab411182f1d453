// Registry data for a library loaded through the loader. Under Wine the library reads the real
// registry, which the scratch registry maps for the whole process; the Linux library has a
// registry of its own, read from the files TAVLO_REGISTRY names when it is first used, so the
// data goes to a regedit file there.
#pragma once

#include "registry_fixture.h"

#include <memory>
#include <string>

namespace tavlo::test {

class HostRegistry {
public:
    HostRegistry();
    ~HostRegistry();
    HostRegistry(const HostRegistry&) = delete;
    HostRegistry& operator=(const HostRegistry&) = delete;

    // name null: the default value.
    void setString(Root root, const std::string& path, const char* name, const std::string& text);
    void setDword(Root root, const std::string& path, const char* name, std::uint32_t value);
    // Makes the data visible to a library loaded after this call.
    void publish();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace tavlo::test
