// A recording layer at the platform seam: it passes every call to the real service and keeps
// what was asked and answered, so that the tool can tell where each answer of the library came
// from without the library's logic knowing it is watched.
#pragma once

#include "platform/services.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tavlo::cli {

struct Event {
    enum class Kind { OpenKey, QueryValue, EnumValue, LoadModule, EntryPoint, FileExists };
    Kind kind = Kind::OpenKey;
    platform::Root root = platform::Root::LocalMachine;
    std::u16string key;  // registry key path, or module path, or file path
    std::u16string name; // value name, or entry point name
    bool hasName = true; // false: the default value
    platform::Status status = 0;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    bool found = false; // module loaded, entry point found, file exists
    // LoadModule, EntryPoint: the file the platform actually loaded (its own name for it), which
    // a search may have found far from where the name pointed.
    std::u16string file;
};

class Recorder {
public:
    explicit Recorder(const platform::Services& real);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // The services to run the library on.
    const platform::Services& services() const { return services_; }
    const std::vector<Event>& events() const { return events_; }

    struct Parts;

private:
    platform::Services services_;
    std::vector<Event> events_;
    Parts* parts_;
};

// Text of a REG_SZ-like value's bytes, up to the first null.
std::u16string textOfData(const std::vector<std::uint8_t>& data);

} // namespace tavlo::cli
