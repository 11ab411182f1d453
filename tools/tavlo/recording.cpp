#include "recording.h"

#include <memory>

namespace tavlo::cli {

namespace {

using namespace platform;

std::u16string textOrEmpty(const char16_t* text) {
    return text ? text : u"";
}

Event event(Event::Kind kind) {
    Event e;
    e.kind = kind;
    return e;
}

class RecordingRegistry final : public RegistryService {
public:
    RecordingRegistry(RegistryService& real, std::vector<Event>& events)
        : real_(real), events_(events) {}

    Status openKey(Root root, const char16_t* subKey, KeyHandle* key) override {
        const Status result = real_.openKey(root, subKey, key);
        Event e = event(Event::Kind::OpenKey);
        e.root = root;
        e.key = textOrEmpty(subKey);
        e.status = result;
        events_.push_back(e);
        if (result == status::success)
            keys_[*key] = {root, e.key};
        return result;
    }

    Status queryValue(KeyHandle key, const char16_t* name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override {
        const Status result = real_.queryValue(key, name, type, data, size);
        Event e = about(key, Event::Kind::QueryValue);
        e.name = textOrEmpty(name);
        e.hasName = name && *name;
        e.status = result;
        if (type && (result == status::success || result == status::more_data))
            e.type = *type;
        if (data && size && result == status::success)
            e.data.assign(data, data + *size);
        events_.push_back(std::move(e));
        return result;
    }

    Status enumValue(KeyHandle key, std::uint32_t index, char16_t* name, std::uint32_t* nameCount,
                     std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override {
        const Status result = real_.enumValue(key, index, name, nameCount, type, data, dataSize);
        Event e = about(key, Event::Kind::EnumValue);
        e.status = result;
        if (result == status::success) {
            e.name.assign(name, *nameCount);
            if (data && dataSize)
                e.data.assign(data, data + *dataSize);
        }
        events_.push_back(std::move(e));
        return result;
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
    Event about(KeyHandle key, Event::Kind kind) const {
        Event e = event(kind);
        if (auto it = keys_.find(key); it != keys_.end()) {
            e.root = it->second.first;
            e.key = it->second.second;
        }
        return e;
    }

    RegistryService& real_;
    std::vector<Event>& events_;
    std::map<KeyHandle, std::pair<Root, std::u16string>> keys_;
};

class RecordingModules final : public ModuleService {
public:
    RecordingModules(ModuleService& real, std::vector<Event>& events)
        : real_(real), events_(events) {}

    ModuleHandle load(const char16_t* nameOrPath) override {
        return record(nameOrPath, real_.load(nameOrPath));
    }
    ModuleHandle loadResources(const char16_t* nameOrPath) override {
        return record(nameOrPath, real_.loadResources(nameOrPath));
    }
    std::vector<ModuleRefusal> refusals() const override { return real_.refusals(); }
    void* entryPoint(ModuleHandle module, const char* name) override {
        void* entry = real_.entryPoint(module, name);
        Event e = event(Event::Kind::EntryPoint);
        if (const auto it = paths_.find(module); it != paths_.end()) {
            e.key = it->second.first;
            e.file = it->second.second;
        }
        e.name.assign(name, name + std::char_traits<char>::length(name));
        e.found = entry != nullptr;
        events_.push_back(e);
        return entry;
    }
    void* entryPointByOrdinal(ModuleHandle module, std::uint16_t ordinal) override {
        return real_.entryPointByOrdinal(module, ordinal);
    }
    void free(ModuleHandle module) override {
        paths_.erase(module);
        real_.free(module);
    }
    ModuleHandle moduleContaining(const void* address) override {
        return real_.moduleContaining(address);
    }
    std::uint32_t moduleFileName(ModuleHandle module, char16_t* buffer,
                                 std::uint32_t capacity) override {
        return real_.moduleFileName(module, buffer, capacity);
    }
    std::u16string loadString(ModuleHandle module, std::uint32_t id) override {
        return real_.loadString(module, id);
    }

private:
    ModuleHandle record(const char16_t* nameOrPath, ModuleHandle module) {
        Event e = event(Event::Kind::LoadModule);
        e.key = textOrEmpty(nameOrPath);
        e.found = module != nullptr;
        if (module) {
            // Asked at the seam, right after the load: the file the loader really mapped.
            std::u16string file(32768, u'\0');
            const auto n =
                real_.moduleFileName(module, file.data(), static_cast<std::uint32_t>(file.size()));
            file.resize(n < file.size() ? n : 0);
            e.file = file;
            paths_[module] = {e.key, e.file};
        }
        events_.push_back(e);
        return module;
    }

    ModuleService& real_;
    std::vector<Event>& events_;
    std::map<ModuleHandle, std::pair<std::u16string, std::u16string>> paths_; // asked, file
};

class RecordingFiles final : public FileService {
public:
    RecordingFiles(FileService& real, std::vector<Event>& events) : real_(real), events_(events) {}

    Status openDirectory(const char16_t* directory, DirHandle* handle, DirEntry& first) override {
        return real_.openDirectory(directory, handle, first);
    }
    bool nextEntry(DirHandle handle, DirEntry& entry) override {
        return real_.nextEntry(handle, entry);
    }
    void closeDirectory(DirHandle handle) override { real_.closeDirectory(handle); }
    bool exists(const char16_t* path) override {
        const bool found = real_.exists(path);
        Event e = event(Event::Kind::FileExists);
        e.key = textOrEmpty(path);
        e.found = found;
        events_.push_back(e);
        return found;
    }

private:
    FileService& real_;
    std::vector<Event>& events_;
};

} // namespace

struct Recorder::Parts {
    RecordingRegistry registry;
    RecordingModules modules;
    RecordingFiles files;
};

Recorder::Recorder(const Services& real) : services_(real) {
    parts_ =
        new Parts{RecordingRegistry(*real.registry, events_),
                  RecordingModules(*real.modules, events_), RecordingFiles(*real.files, events_)};
    services_.registry = &parts_->registry;
    services_.modules = &parts_->modules;
    services_.files = &parts_->files;
}

Recorder::~Recorder() {
    delete parts_;
}

std::u16string textOfData(const std::vector<std::uint8_t>& data) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (!c)
            break;
        text += c;
    }
    return text;
}

} // namespace tavlo::cli
