#include "help_stand_ins.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include "platform/portable/environment_posix.h"
#endif

namespace tavlo::test {

namespace {

constexpr std::uint32_t kHelpCommand = 0x102;

std::u16string pointerText(const void* pointer) {
    return pointer == RecordingHelpEngines::desktop()
               ? u"desktop"
               : decimal(reinterpret_cast<std::uintptr_t>(pointer));
}

FakeModules* activeModules = nullptr;
Log* activeLog = nullptr;

void* fakeHtmlHelp(void* window, const char16_t* target, std::uint32_t command,
                   std::uintptr_t data) {
    activeLog->push_back(u"html " + pointerText(window) + u" " + (target ? target : u"(null)") +
                         u" " + decimal(command) + u" " + decimal(data));
    return activeModules->htmlWindow;
}

} // namespace

std::u16string decimal(std::uint64_t value) {
    const std::string text = std::to_string(value);
    return std::u16string(text.begin(), text.end());
}

bool RecordingHelpEngines::winHelp(platform::WindowHandle window, const char16_t* file,
                                   std::uint32_t command, std::uintptr_t data) {
    const std::u16string shown = command == kHelpCommand && data
                                     ? std::u16string(reinterpret_cast<const char16_t*>(data))
                                     : decimal(data);
    log_.push_back(u"help " + pointerText(window) + u" " + (file ? file : u"(null)") + u" " +
                   decimal(command) + u" " + shown);
    const std::size_t call = winHelps_++;
    return call < winHelpAnswers.size() ? winHelpAnswers[call] : true;
}

platform::ViewerHandle RecordingHelpEngines::createViewer() {
    if (!viewerAvailable) {
        log_.push_back(u"create: none");
        return nullptr;
    }
    log_.push_back(u"create");
    return reinterpret_cast<void*>(++viewers_);
}

bool RecordingHelpEngines::invokeViewer(platform::ViewerHandle viewer, const char16_t* target) {
    log_.push_back(u"invoke " + pointerText(viewer) + u" " + target);
    return !invokeFails;
}

void RecordingHelpEngines::releaseViewer(platform::ViewerHandle viewer) {
    log_.push_back(u"release " + pointerText(viewer));
}

FakeModules::FakeModules(Log& log) : log_(log), real_(*platform::defaultServices().modules) {
    activeModules = this;
    activeLog = &log;
}

FakeModules::~FakeModules() {
    activeModules = nullptr;
    activeLog = nullptr;
}

void* FakeModules::htmlHelpEntry() {
    return reinterpret_cast<void*>(&fakeHtmlHelp);
}

const FakeModules::Fake* FakeModules::fake(platform::ModuleHandle module) const {
    for (const auto& [name, fake] : fakes_)
        if (&fake == module)
            return &fake;
    return nullptr;
}

platform::ModuleHandle FakeModules::load(const char16_t* nameOrPath) {
    const std::u16string name = nameOrPath ? nameOrPath : u"(null)";
    const auto it = fakes_.find(name);
    platform::ModuleHandle handle = it != fakes_.end() ? &it->second
                                    : passThrough      ? real_.load(nameOrPath)
                                                       : nullptr;
    log_.push_back(u"load " + name + (handle ? u"" : u": none"));
    if (handle) {
        names_[handle] = name;
        ++outstanding;
    }
    return handle;
}

void* FakeModules::entryPoint(platform::ModuleHandle module, const char* name) {
    return fake(module) ? nullptr : real_.entryPoint(module, name);
}

void* FakeModules::entryPointByOrdinal(platform::ModuleHandle module, std::uint16_t ordinal) {
    if (const Fake* f = fake(module)) {
        const auto it = f->ordinals.find(ordinal);
        return it == f->ordinals.end() ? nullptr : it->second;
    }
    return real_.entryPointByOrdinal(module, ordinal);
}

void FakeModules::free(platform::ModuleHandle module) {
    log_.push_back(u"free " + names_[module]);
    --outstanding;
    if (!fake(module))
        real_.free(module);
}

platform::ModuleHandle FakeModules::moduleContaining(const void* address) {
    return real_.moduleContaining(address);
}

std::uint32_t FakeModules::moduleFileName(platform::ModuleHandle module, char16_t* buffer,
                                          std::uint32_t capacity) {
    return fake(module) ? 0 : real_.moduleFileName(module, buffer, capacity);
}

std::u16string FakeModules::loadString(platform::ModuleHandle module, std::uint32_t id) {
    if (const Fake* f = fake(module)) {
        const auto it = f->strings.find(id);
        return it == f->strings.end() ? std::u16string() : it->second;
    }
    return real_.loadString(module, id);
}

namespace {
struct Listing {
    const std::vector<platform::DirEntry>* entries;
    std::size_t next;
};
} // namespace

platform::Status ListedFiles::openDirectory(const char16_t* directory, platform::DirHandle* handle,
                                            platform::DirEntry& first) {
    log_.push_back(u"list " + std::u16string(directory));
    *handle = nullptr;
    const auto it = tree.find(directory);
    if (it == tree.end())
        return platform::status::access_denied;
    if (it->second.empty())
        return platform::status::file_not_found;
    first = it->second[0];
    *handle = new Listing{&it->second, 1};
    ++open;
    return platform::status::success;
}

bool ListedFiles::nextEntry(platform::DirHandle handle, platform::DirEntry& entry) {
    auto* listing = static_cast<Listing*>(handle);
    if (listing->next >= listing->entries->size())
        return false;
    entry = (*listing->entries)[listing->next++];
    return true;
}

void ListedFiles::closeDirectory(platform::DirHandle handle) {
    delete static_cast<Listing*>(handle);
    --open;
}

namespace fs = std::filesystem;

namespace {
// Paths near or beyond the classic length limit are created through the long form on Windows.
fs::path creatable(const fs::path& path) {
#ifdef _WIN32
    if (path.native().size() >= 240)
        return fs::path(L"\\\\?\\" + path.wstring());
    return path;
#else
    return path;
#endif
}
} // namespace

ScratchDir::ScratchDir() {
    static std::atomic<int> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    base_ = (fs::temp_directory_path() /
             ("tavlo-help-" + std::to_string(stamp) + "-" + std::to_string(serial++)))
                .make_preferred();
#ifdef _WIN32
    root_ = base_;
    shown_ = root_.u16string();
    while (!shown_.empty() && shown_.back() == u'\\')
        shown_.pop_back();
#else
    root_ = base_ / "t" / "scratch";
    shown_ = u"T:\\scratch";
    fs::create_directories(base_ / "prefix" / "dosdevices");
    fs::create_directory_symlink(base_ / "t", base_ / "prefix" / "dosdevices" / "t:");
    platform::portable::configure({{}, (base_ / "prefix").string()});
#endif
    fs::create_directories(root_);
}

ScratchDir::~ScratchDir() {
#ifndef _WIN32
    platform::portable::configure(platform::portable::configFromEnvironment());
#endif
    std::error_code ignored;
    fs::remove_all(base_, ignored);
}

std::u16string ScratchDir::path(const std::u16string& below) const {
    std::u16string rest = below;
    while (!rest.empty() && rest.back() == u'/')
        rest.pop_back();
    for (char16_t& c : rest)
        if (c == u'/')
            c = u'\\';
    return rest.empty() ? shown_ : shown_ + u"\\" + rest;
}

fs::path ScratchDir::real(const std::u16string& below) const {
    std::u16string rest = below;
    while (!rest.empty() && rest.back() == u'/')
        rest.pop_back();
    return rest.empty() ? root_ : (root_ / fs::path(rest)).make_preferred();
}

void ScratchDir::create(const std::u16string& below) {
    const fs::path target = creatable(real(below));
    if (!below.empty() && below.back() == u'/') {
        fs::create_directories(target);
        return;
    }
    fs::create_directories(target.parent_path());
    std::ofstream(target) << "x";
    EXPECT_TRUE(fs::exists(target)) << target.string();
}

bool ScratchDir::mark(const std::u16string& below, std::uint32_t attributes) {
#ifdef _WIN32
    const std::wstring file = real(below).wstring();
    return SetFileAttributesW(file.c_str(), attributes) &&
           (GetFileAttributesW(file.c_str()) & attributes) == attributes;
#else
    (void)below;
    (void)attributes;
    return false;
#endif
}

} // namespace tavlo::test
