#include "help_stand_ins.h"

#include <gtest/gtest.h>

#include <algorithm>
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
