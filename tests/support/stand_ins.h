// Stand-ins for the platform services and the host's error handler. The help engines, modules
// and file listings write what they are asked into one log, so that a test sees the calls across
// them in their real order; the file service lists a fixed tree in a fixed order, which no real
// file system promises.
#pragma once

#include "appkey/discovery.h"
#include "platform/services.h"
#include "tavlo/tavlo.h"
#include "tavlo/tavlo.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace tavlo::test {

using Log = std::vector<std::u16string>;

inline const TavloChar* tc(const char16_t* text) {
    return reinterpret_cast<const TavloChar*>(text);
}
inline const TavloChar* tc(const std::u16string& text) {
    return tc(text.c_str());
}
inline std::u16string str(const TavloChar* text) {
    return reinterpret_cast<const char16_t*>(text);
}
std::u16string decimal(std::uint64_t value);
inline std::string narrow(const std::u16string& text) { // for messages: ASCII is enough
    return std::string(text.begin(), text.end());
}

// What left fn: the kind of error and its message id ("Key 61", "Entry 55", "AppKey 57") and the
// operation and argument it names; nothing when no error left the call.
struct Raised {
    std::string kind;
    std::u16string operation, argument;
    std::string text() const { return kind.empty() ? "" : kind + " " + narrow(operation); }
};
template <typename Fn> Raised raisedBy(Fn&& fn) {
    const auto raised = [](const char* kind, const TAVLO_Exception& e) {
        return Raised{kind + (" " + std::to_string(e.messageId)), e.operation, e.argument};
    };
    try {
        fn();
    } catch (const TAVLO_Key_Error& e) {
        return raised("Key", e);
    } catch (const TAVLO_Entry_Error& e) {
        return raised("Entry", e);
    } catch (const TAVLO_AppKey_Error& e) {
        return raised("AppKey", e);
    }
    return {};
}

inline void* const kDesktop = reinterpret_cast<void*>(0xDE5C);
inline std::u16string pointerText(const void* pointer) {
    return pointer == kDesktop ? u"desktop" : decimal(reinterpret_cast<std::uintptr_t>(pointer));
}

struct RecordingHandler final : TavloErrorHandler {
    struct Call {
        std::u16string message, caption;
        std::uint32_t style;
        std::int32_t reserved;
    };
    std::vector<Call> calls;
    int DisplayError(const TavloChar* message, const TavloChar* caption, std::uint32_t style,
                     std::int32_t reserved) override {
        calls.push_back({str(message), str(caption), style, reserved});
        return 1;
    }
};

struct RecordingUi final : platform::UiService {
    std::vector<std::u16string> boxes;
    void messageBox(const char16_t* text) override { boxes.emplace_back(text ? text : u""); }
};

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

// Modules: a name added with add() loads as a string table with entry points by ordinal, and a
// product hook's entry point when it has one, a function of this process that writes the hook's
// key. Any other name goes to the build's loader when passThrough is on, else fails. The library
// itself is libraryPath (empty: its name can't be had). Logs "load <name>" (": none" appended
// when nothing loaded), "free <name>", and "html <window> <target> <command> <data>" when
// htmlHelpEntry is called.
class FakeModules final : public platform::ModuleService {
public:
    struct Hook {
        std::u16string key; // written into the buffer
        std::uint32_t result = 1;
        bool hasEntryPoint = true;
    };
    struct Fake {
        std::map<std::uint32_t, std::u16string> strings;
        std::map<std::uint16_t, void*> ordinals;
        std::optional<Hook> hook;
    };

    FakeModules() : previous_(std::exchange(active, this)) {}
    ~FakeModules() override { active = previous_; }

    Fake& add(const std::u16string& name) { return fakes_[name]; }
    void addHook(const std::u16string& path, Hook hook) { add(path).hook = std::move(hook); }
    void* handleOf(const std::u16string& name) { return &fakes_.at(name); }
    // Every name asked to load but the resource module's, in order.
    std::vector<std::u16string> loads() const;
    // An entry point with the HTML Help control's signature that answers htmlWindow.
    static void* html(void* window, const char16_t* target, std::uint32_t command,
                      std::uintptr_t data);
    inline static void* const htmlHelpEntry = reinterpret_cast<void*>(&html);

    Log log;
    std::vector<std::pair<std::u16string, std::uint32_t>> hookCalls; // buffer and capacity
    std::u16string libraryPath = u"C:\\Lib\\tavlo9.dll";
    void* htmlWindow = reinterpret_cast<void*>(0x4711);
    bool passThrough = false;
    int outstanding = 0, fileNameQueries = 0; // loads not yet freed; library name queries

    void* load(const char16_t* nameOrPath) override;
    // The fakes hold strings and entry points alike: a resources-only load is logged the same.
    void* loadResources(const char16_t* nameOrPath) override { return load(nameOrPath); }
    void* entryPoint(void* module, const char* name) override;
    void* entryPointByOrdinal(void* module, std::uint16_t ordinal) override {
        if (const Fake* f = fake(module))
            return f->ordinals.count(ordinal) ? f->ordinals.at(ordinal) : nullptr;
        return real_.entryPointByOrdinal(module, ordinal);
    }
    void free(void* module) override;
    void* moduleContaining(const void*) override { return &libraryPath; }
    std::uint32_t moduleFileName(void* module, char16_t* buffer, std::uint32_t capacity) override;
    std::u16string loadString(void* module, std::uint32_t id) override {
        if (const Fake* f = fake(module))
            return f->strings.count(id) ? f->strings.at(id) : std::u16string();
        return module == &libraryPath ? u"" : real_.loadString(module, id);
    }

private:
    const Fake* fake(void* module) const {
        for (const auto& [name, fake] : fakes_)
            if (&fake == module)
                return &fake;
        return nullptr;
    }
    static std::uint32_t hookEntry(char16_t* buffer, std::uint32_t capacity);

    inline static FakeModules* active = nullptr;
    FakeModules* previous_;
    const Hook* pendingHook_ = nullptr; // the library calls an entry point as soon as it has it
    std::map<std::u16string, Fake> fakes_;
    std::map<void*, std::u16string> names_;
    platform::ModuleService& real_ = *platform::defaultServices().modules;
};

// Files: a fixed tree, each directory listed in the order given; what isn't in the tree neither
// exists nor can be listed. Logs "list <directory>" for every listing asked for. A directory
// named in `same` is the directory named there, as a link makes it: it has that one's identity
// (and lists its own entries, which a test gives as that one's). Other directories have an
// identity of their own, or none at all when `identities` is false.
class ListedFiles final : public platform::FileService {
public:
    using Entries = std::vector<platform::DirEntry>;
    explicit ListedFiles(Log& log) : log_(log) {}

    std::map<std::u16string, Entries> tree;
    std::map<std::u16string, std::u16string> same;
    bool identities = true;
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
        const auto alias = same.find(directory);
        const auto real = alias == same.end() ? it : tree.find(alias->second);
        *handle = new Listing{it->second, 1, std::uint64_t(std::distance(tree.begin(), real))};
        ++open;
        return platform::status::success;
    }
    bool nextEntry(void* handle, platform::DirEntry& entry) override {
        auto& listing = *static_cast<Listing*>(handle);
        if (listing.next == listing.entries.size())
            return false;
        entry = listing.entries[listing.next++];
        return true;
    }
    void closeDirectory(void* handle) override {
        delete static_cast<Listing*>(handle);
        --open;
    }
    bool identify(void* handle, platform::DirIdentity& identity) override {
        identity = {1, static_cast<Listing*>(handle)->id, 0};
        return identities;
    }
    bool exists(const char16_t* path) override { return tree.count(path) != 0; }

private:
    struct Listing {
        const Entries& entries;
        std::size_t next;
        std::uint64_t id;
    };
    Log& log_;
};

// The build's registry, with every open recorded and every value query counted.
class RecordingRegistry final : public platform::RegistryService {
public:
    std::vector<std::pair<platform::Root, std::u16string>> opens;
    int queries = 0;
    std::vector<std::u16string> opensBelow(platform::Root root) const {
        std::vector<std::u16string> paths;
        for (const auto& [where, path] : opens)
            if (where == root)
                paths.push_back(path);
        return paths;
    }

    platform::Status openKey(platform::Root root, const char16_t* subKey,
                             platform::KeyHandle* key) override {
        opens.emplace_back(root, subKey ? subKey : u"");
        return real_.openKey(root, subKey, key);
    }
    platform::Status queryValue(platform::KeyHandle key, const char16_t* name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override {
        ++queries;
        return real_.queryValue(key, name, type, data, size);
    }
    platform::Status enumValue(platform::KeyHandle key, std::uint32_t index, char16_t* name,
                               std::uint32_t* nameCount, std::uint32_t* type, std::uint8_t* data,
                               std::uint32_t* dataSize) override {
        return real_.enumValue(key, index, name, nameCount, type, data, dataSize);
    }
    platform::Status enumKey(platform::KeyHandle key, std::uint32_t index, char16_t* name,
                             std::uint32_t* nameCount) override {
        return real_.enumKey(key, index, name, nameCount);
    }
    void closeKey(platform::KeyHandle key) override { real_.closeKey(key); }

private:
    platform::RegistryService& real_ = *platform::defaultServices().registry;
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
