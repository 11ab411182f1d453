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

// Logs "help <file> <command> <data>" (for HELP_COMMAND the data as the text it points to),
// "create" ("create: none" when no viewer can be made), "invoke <viewer> <target>" and
// "release <viewer>"; viewers are numbered from 1 in the order they were made.
class RecordingHelpEngines final : public platform::HelpEngines {
public:
    explicit RecordingHelpEngines(Log& log) : log_(log) {}

    static platform::WindowHandle desktop() { return reinterpret_cast<void*>(0xDE5C); }

    std::vector<bool> winHelpAnswers; // by call; true after the last
    bool viewerAvailable = true;
    bool invokeFails = false;

    bool winHelp(platform::WindowHandle window, const char16_t* file, std::uint32_t command,
                 std::uintptr_t data) override;
    platform::WindowHandle desktopWindow() override { return desktop(); }
    platform::ViewerHandle createViewer() override;
    bool invokeViewer(platform::ViewerHandle viewer, const char16_t* target) override;
    void releaseViewer(platform::ViewerHandle viewer) override;

private:
    Log& log_;
    std::size_t winHelps_ = 0;
    std::uintptr_t viewers_ = 0;
};

// Modules: a name added with add() loads as a string table with entry points by ordinal; any
// other name goes to the build's loader, or fails when passThrough is off. Logs "load <name>" (":
// none" appended when nothing loaded) and "free <name>", and "html <window> <target> <command>
// <data>" when htmlHelpEntry() is called (the window of RecordingHelpEngines::desktop() shown as
// "desktop").
class FakeModules final : public platform::ModuleService {
public:
    struct Fake {
        std::map<std::uint32_t, std::u16string> strings;
        std::map<std::uint16_t, void*> ordinals;
    };

    explicit FakeModules(Log& log);
    ~FakeModules() override;

    Fake& add(const std::u16string& name) { return fakes_[name]; }
    platform::ModuleHandle handleOf(const std::u16string& name) { return &fakes_.at(name); }
    // An entry point with the HTML Help control's signature that answers htmlWindow.
    static void* htmlHelpEntry();
    void* htmlWindow = reinterpret_cast<void*>(0x4711);

    bool passThrough = true;
    int outstanding = 0; // loads not yet freed

    platform::ModuleHandle load(const char16_t* nameOrPath) override;
    void* entryPoint(platform::ModuleHandle module, const char* name) override;
    void* entryPointByOrdinal(platform::ModuleHandle module, std::uint16_t ordinal) override;
    void free(platform::ModuleHandle module) override;
    platform::ModuleHandle moduleContaining(const void* address) override;
    std::uint32_t moduleFileName(platform::ModuleHandle module, char16_t* buffer,
                                 std::uint32_t capacity) override;
    std::u16string loadString(platform::ModuleHandle module, std::uint32_t id) override;

private:
    const Fake* fake(platform::ModuleHandle module) const;

    Log& log_;
    std::map<std::u16string, Fake> fakes_;
    std::map<platform::ModuleHandle, std::u16string> names_;
    platform::ModuleService& real_;
};

// Files: a fixed tree, each directory listed in the order given; a directory that isn't in the
// tree can't be listed. Logs "list <directory>" for every listing asked for.
class ListedFiles final : public platform::FileService {
public:
    explicit ListedFiles(Log& log) : log_(log) {}

    std::map<std::u16string, std::vector<platform::DirEntry>> tree;
    int open = 0; // listings not yet closed

    platform::Status openDirectory(const char16_t* directory, platform::DirHandle* handle,
                                   platform::DirEntry& first) override;
    bool nextEntry(platform::DirHandle handle, platform::DirEntry& entry) override;
    void closeDirectory(platform::DirHandle handle) override;
    bool exists(const char16_t* path) override { return tree.count(path) != 0; }

private:
    Log& log_;
};

// A fresh directory below the temporary directory, removed with everything in it. On Linux the
// library reaches it as drive T: of a prefix of the test's own, as it reaches a Wine prefix's
// files (it composes paths below a directory with '\\'); construct it before the scratch
// registry, whose contents a new prefix would replace.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The directory (or a path below it, '/'-separated) as the library is given it.
    std::u16string path(const std::u16string& below = u"") const;
    // The same in the test's own file system.
    std::filesystem::path real(const std::u16string& below = u"") const;
    // Linux: the prefix that drive T: belongs to (for a library loaded later, as WINEPREFIX).
    std::filesystem::path prefix() const { return base_ / "prefix"; }
    // Creates a file, or a directory when the name ends in '/', with the folders above it.
    void create(const std::u16string& below);
    // Marks an entry hidden or system as Windows stores it; false where the file system can't
    // (on Linux only a leading dot makes a name hidden).
    bool mark(const std::u16string& below, std::uint32_t attributes);

private:
    std::filesystem::path base_;
    std::filesystem::path root_;
    std::u16string shown_;
};

} // namespace tavlo::test
