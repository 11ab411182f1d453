// A recording layer at the registry seam: it passes every call to the real registry and keeps
// which keys were opened and which values asked for, with their answers, so that the tool can
// name the registry value each setting came from without the library's logic knowing it is
// watched.
#pragma once

#include "platform/services.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tavlo::cli {

struct Event {
    enum class Kind { OpenKey, QueryValue };
    Kind kind = Kind::OpenKey;
    platform::Root root = platform::Root::LocalMachine;
    std::u16string key;  // registry key path
    std::u16string name; // value name
    bool hasName = true; // false: the default value
    platform::Status status = 0;
    std::uint32_t type = 0;
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

    class Registry;

private:
    platform::Services services_;
    std::vector<Event> events_;
    std::unique_ptr<Registry> registry_;
};

} // namespace tavlo::cli
