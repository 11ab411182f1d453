// Stand-ins for the help and notice tests. The help engines and the modules write what they are
// asked into one shared log, so that a test sees the calls across both in their real order; the
// file service lists a fixed tree in a fixed order, which no real file system promises.
#pragma once

#include "platform/services.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tavlo::test {

using Log = std::vector<std::u16string>;

std::u16string decimal(std::uint64_t value);

inline void* const kDesktop = reinterpret_cast<void*>(0xDE5C);

inline std::u16string pointerText(const void* pointer) {
    return pointer == kDesktop ? u"desktop" : decimal(reinterpret_cast<std::uintptr_t>(pointer));
}

// Logs "help <window> <file> <command> <data>" (for HELP_COMMAND the text data points to),
// "create" (": none" when no viewer can be made), "invoke <viewer> <target>", "release <viewer>";
// viewers are numbered from 1 in the order they were made.
class RecordingHelpEngines final : public platform::HelpEngines {
public:
    explicit RecordingHelpEngines(Log& log) : log_(log) {}

    std::vector<bool> winHelpAnswers; // by call; true after the last
    bool viewerAvailable = true;
    bool invokeFails = false;

    bool winHelp(void* window, const char16_t* file, std::uint32_t command,
                 std::uintptr_t data) override {
        const auto* text = reinterpret_cast<const char16_t*>(data);
        log_.push_back(u"help " + pointerText(window) + u" " + file + u" " + decimal(command) +
                       u" " + (command == 0x102 && text ? std::u16string(text) : decimal(data)));
        const std::size_t call = winHelps_++;
        return call < winHelpAnswers.size() ? winHelpAnswers[call] : true;
    }
    void* desktopWindow() override { return kDesktop; }
    void* createViewer() override {
        log_.push_back(viewerAvailable ? u"create" : u"create: none");
        return viewerAvailable ? reinterpret_cast<void*>(++viewers_) : nullptr;
    }
    bool invokeViewer(void* viewer, const char16_t* target) override {
        log_.push_back(u"invoke " + pointerText(viewer) + u" " + target);
        return !invokeFails;
    }
    void releaseViewer(void* viewer) override { log_.push_back(u"release " + pointerText(viewer)); }

private:
    Log& log_;
    std::size_t winHelps_ = 0;
    std::uintptr_t viewers_ = 0;
};

// Modules: a name added with add() loads as a string table with entry points by ordinal; any
// other name goes to the build's loader, or fails when passThrough is off. Logs "load <name>"
// (": none" appended when nothing loaded), "free <name>", and "html <window> <target> <command>
// <data>" when htmlHelpEntry is called.
class FakeModules final : public platform::ModuleService {
public:
    struct Fake {
        std::map<std::uint32_t, std::u16string> strings;
        std::map<std::uint16_t, void*> ordinals;
    };

    explicit FakeModules(Log& log) : log_(log), real_(*platform::defaultServices().modules) {
        active = this;
    }
    ~FakeModules() override { active = nullptr; }

    Fake& add(const std::u16string& name) { return fakes_[name]; }
    void* handleOf(const std::u16string& name) { return &fakes_.at(name); }
    // An entry point with the HTML Help control's signature that answers htmlWindow.
    static void* html(void* window, const char16_t* target, std::uint32_t command,
                      std::uintptr_t data) {
        active->log_.push_back(u"html " + pointerText(window) + u" " + target + u" " +
                               decimal(command) + u" " + decimal(data));
        return active->htmlWindow;
    }
    inline static void* const htmlHelpEntry = reinterpret_cast<void*>(&html);
    void* htmlWindow = reinterpret_cast<void*>(0x4711);
    bool passThrough = true;
    int outstanding = 0; // loads not yet freed

    void* load(const char16_t* nameOrPath) override {
        const auto it = fakes_.find(nameOrPath);
        void* handle = it != fakes_.end() ? &it->second
                       : passThrough      ? real_.load(nameOrPath)
                                          : nullptr;
        log_.push_back(u"load " + std::u16string(nameOrPath) + (handle ? u"" : u": none"));
        if (handle) {
            names_[handle] = nameOrPath;
            ++outstanding;
        }
        return handle;
    }
    void* entryPoint(void* module, const char* name) override {
        return fake(module) ? nullptr : real_.entryPoint(module, name);
    }
    void* entryPointByOrdinal(void* module, std::uint16_t ordinal) override {
        if (const Fake* f = fake(module))
            return f->ordinals.count(ordinal) ? f->ordinals.at(ordinal) : nullptr;
        return real_.entryPointByOrdinal(module, ordinal);
    }
    void free(void* module) override {
        log_.push_back(u"free " + names_[module]);
        --outstanding;
        if (!fake(module))
            real_.free(module);
    }
    void* moduleContaining(const void* address) override { return real_.moduleContaining(address); }
    std::uint32_t moduleFileName(void* module, char16_t* buffer, std::uint32_t capacity) override {
        return fake(module) ? 0 : real_.moduleFileName(module, buffer, capacity);
    }
    std::u16string loadString(void* module, std::uint32_t id) override {
        if (const Fake* f = fake(module))
            return f->strings.count(id) ? f->strings.at(id) : std::u16string();
        return real_.loadString(module, id);
    }

private:
    const Fake* fake(void* module) const {
        for (const auto& [name, fake] : fakes_)
            if (&fake == module)
                return &fake;
        return nullptr;
    }

    inline static FakeModules* active = nullptr;
    Log& log_;
    std::map<std::u16string, Fake> fakes_;
    std::map<void*, std::u16string> names_;
    platform::ModuleService& real_;
};

// Files: a fixed tree, each directory listed in the order given; a directory that isn't in the
// tree can't be listed. Logs "list <directory>" for every listing asked for. A listing's handle
// holds the entries still to come, last first.
class ListedFiles final : public platform::FileService {
public:
    using Entries = std::vector<platform::DirEntry>;
    explicit ListedFiles(Log& log) : log_(log) {}

    std::map<std::u16string, Entries> tree;
    int open = 0; // listings not yet closed

    platform::Status openDirectory(const char16_t* directory, void** handle,
                                   platform::DirEntry& first) override {
        log_.push_back(u"list " + std::u16string(directory));
        const auto it = tree.find(directory);
        if (it == tree.end())
            return platform::status::access_denied;
        if (it->second.empty())
            return platform::status::file_not_found;
        first = it->second[0];
        *handle = new Entries(it->second.rbegin(), it->second.rend() - 1);
        ++open;
        return platform::status::success;
    }
    bool nextEntry(void* handle, platform::DirEntry& entry) override {
        auto& rest = *static_cast<Entries*>(handle);
        if (rest.empty())
            return false;
        entry = rest.back();
        rest.pop_back();
        return true;
    }
    void closeDirectory(void* handle) override {
        delete static_cast<Entries*>(handle);
        --open;
    }
    bool exists(const char16_t* path) override { return tree.count(path) != 0; }

private:
    Log& log_;
};

// A fresh directory below the temporary directory, removed with everything in it. On Linux the
// library reaches it as drive T: of a prefix of the test's own, as it reaches a Wine prefix's
// files; construct it before the scratch registry, whose contents a new prefix would replace.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The directory (or a '/'-separated path below it) as the library is given it.
    std::u16string path(const std::u16string& below = u"") const;
    // The same in the test's own file system.
    std::filesystem::path real(const std::u16string& below = u"") const {
        return below.empty() ? root_ : (root_ / std::filesystem::path(below)).make_preferred();
    }
    // Linux: the prefix that drive T: belongs to (for a library loaded later, as WINEPREFIX).
    std::filesystem::path prefix() const { return base_ / "prefix"; }
    // Creates a file, or a directory when the name ends in '/', with the folders above it.
    void create(const std::u16string& below);

private:
    std::filesystem::path base_;
    std::filesystem::path root_;
    std::u16string shown_;
};

} // namespace tavlo::test
