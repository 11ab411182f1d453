#include "recording.h"

namespace tavlo::cli {

using namespace platform;

class Recorder::Registry final : public RegistryService {
public:
    Registry(RegistryService& real, std::vector<Event>& events) : real_(real), events_(events) {}

    Status openKey(Root root, const char16_t* subKey, KeyHandle* key) override {
        const Status result = real_.openKey(root, subKey, key);
        Event e;
        e.kind = Event::Kind::OpenKey;
        e.root = root;
        e.key = subKey ? subKey : u"";
        e.status = result;
        events_.push_back(e);
        if (result == status::success)
            keys_[*key] = {root, e.key};
        return result;
    }

    Status queryValue(KeyHandle key, const char16_t* name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override {
        const Status result = real_.queryValue(key, name, type, data, size);
        Event e;
        e.kind = Event::Kind::QueryValue;
        if (const auto it = keys_.find(key); it != keys_.end()) {
            e.root = it->second.first;
            e.key = it->second.second;
        }
        e.name = name ? name : u"";
        e.hasName = name && *name;
        e.status = result;
        if (type && (result == status::success || result == status::more_data))
            e.type = *type;
        events_.push_back(std::move(e));
        return result;
    }

    Status enumValue(KeyHandle key, std::uint32_t index, char16_t* name, std::uint32_t* nameCount,
                     std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override {
        return real_.enumValue(key, index, name, nameCount, type, data, dataSize);
    }

    Status enumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                   std::uint32_t* nameCount) override {
        return real_.enumKey(key, index, name, nameCount);
    }

    void closeKey(KeyHandle key) override {
        keys_.erase(key);
        real_.closeKey(key);
    }

private:
    RegistryService& real_;
    std::vector<Event>& events_;
    std::map<KeyHandle, std::pair<Root, std::u16string>> keys_;
};

Recorder::Recorder(const Services& real)
    : services_(real), registry_(std::make_unique<Registry>(*real.registry, events_)) {
    services_.registry = registry_.get();
}

Recorder::~Recorder() = default;

} // namespace tavlo::cli
