#include "stand_ins.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>

#ifndef _WIN32
#include "platform/portable/environment_posix.h"
#endif

namespace tavlo::test {

namespace fs = std::filesystem;

std::u16string decimal(std::uint64_t value) {
    const std::string text = std::to_string(value);
    return std::u16string(text.begin(), text.end());
}

void* FakeModules::load(const char16_t* nameOrPath) {
    const auto it = fakes_.find(nameOrPath);
    void* handle = it != fakes_.end() ? &it->second
                   : passThrough      ? real_.load(nameOrPath)
                                      : nullptr;
    log.push_back(u"load " + std::u16string(nameOrPath) + (handle ? u"" : u": none"));
    if (handle) {
        names_[handle] = nameOrPath;
        ++outstanding;
    }
    return handle;
}

std::vector<std::u16string> FakeModules::loads() const {
    std::vector<std::u16string> names;
    for (const std::u16string& line : log)
        if (line.rfind(u"load ", 0) == 0 && line != u"load tavlo9Res.dll")
            names.push_back(line.substr(5, line.rfind(u": none") - 5));
    return names;
}

void* FakeModules::entryPoint(void* module, const char* name) {
    const Fake* f = fake(module);
    if (!f)
        return real_.entryPoint(module, name);
    if (!f->hook || !f->hook->hasEntryPoint || std::string_view(name) != appkey::kHookEntryPoint)
        return nullptr;
    pendingHook_ = &*f->hook;
    return reinterpret_cast<void*>(&hookEntry);
}

std::uint32_t FakeModules::hookEntry(char16_t* buffer, std::uint32_t capacity) {
    active->hookCalls.emplace_back(buffer, capacity);
    const Hook& hook = *active->pendingHook_;
    const std::size_t n = std::min<std::size_t>(hook.key.size(), capacity - 1);
    std::copy_n(hook.key.begin(), n, buffer)[0] = u'\0';
    return hook.result;
}

void* FakeModules::html(void* window, const char16_t* target, std::uint32_t command,
                        std::uintptr_t data) {
    active->log.push_back(u"html " + pointerText(window) + u" " + target + u" " + decimal(command) +
                          u" " + decimal(data));
    return active->htmlWindow;
}

void FakeModules::free(void* module) {
    log.push_back(u"free " + names_[module]);
    --outstanding;
    if (!fake(module))
        real_.free(module);
}

std::uint32_t FakeModules::moduleFileName(void* module, char16_t* buffer, std::uint32_t capacity) {
    ++fileNameQueries;
    if (module != &libraryPath && !fake(module))
        return real_.moduleFileName(module, buffer, capacity);
    if (libraryPath.empty() || capacity == 0)
        return 0;
    const std::size_t n = std::min<std::size_t>(libraryPath.size(), capacity - 1);
    std::copy_n(libraryPath.begin(), n, buffer)[0] = u'\0';
    return static_cast<std::uint32_t>(n);
}

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
    std::u16string rest = below.substr(0, below.find_last_not_of(u'/') + 1);
    std::replace(rest.begin(), rest.end(), u'/', u'\\');
    return rest.empty() ? shown_ : shown_ + u"\\" + rest;
}

void ScratchDir::create(const std::u16string& below) {
    const fs::path target = real(below);
    if (below.back() == u'/')
        return (void)fs::create_directories(target);
    fs::create_directories(target.parent_path());
    std::ofstream(target) << "x";
    EXPECT_TRUE(fs::exists(target)) << target.string();
}

} // namespace tavlo::test
