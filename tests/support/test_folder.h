// Scratch folders of this test process. Their names carry the process id, so that test runs
// going on at the same time (two presets, two checkouts) never replace each other's libraries
// while one of them has them loaded. The process's folder is removed when it ends.
#pragma once

#include <filesystem>
#include <string_view>

namespace tavlo::test {

// <temp>/tavlo-tests-<pid>/<name>, emptied and made anew.
std::filesystem::path freshTestFolder(const std::filesystem::path& name);

// The file made anew with exactly these bytes.
void writeFile(const std::filesystem::path& path, std::string_view bytes);

} // namespace tavlo::test
