// Inputs with which the fuzz targets in fuzz/ found faults, kept so that none comes back. Standard
// C++ only: this program also runs under Wine.
#include "platform/portable/reg_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace tavlo::platform;
using namespace tavlo::platform::portable;

// A key of the given depth as a Wine file's key line, and its path.
std::string wineKey(std::size_t levels) {
    std::string line = "[k";
    for (std::size_t i = 1; i < levels; ++i)
        line += "\\\\k";
    return line + "]\n";
}
std::u16string keyPath(std::size_t levels) {
    std::u16string path = u"k";
    for (std::size_t i = 1; i < levels; ++i)
        path += u"\\k";
    return path;
}

TEST(FuzzRegressions, RegistryFiles) {
    struct Case {
        const char* what;
        std::string text;
        std::string diagnostics;
        std::u16string readable; // a key below HKEY_CURRENT_USER that must have loaded
    };
    const Case cases[] = {
        {"keys nest 512 levels deep at most; a far deeper one once overflowed the stack",
         "WINE REGISTRY Version 2\n" + wineKey(512) + wineKey(513) + wineKey(100000),
         "3: key more than 512 levels deep: key skipped\n"
         "4: key more than 512 levels deep: key skipped\n",
         keyPath(512)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryRegistry registry;
        loadRegistryText(registry, c.text, "f", Hive::CurrentUser);
        registry.readAllValues();
        std::string lines;
        for (const Diagnostic& d : registry.diagnostics())
            lines += std::to_string(d.line) + ": " + d.message + "\n";
        EXPECT_EQ(lines, c.diagnostics);
        RegKey key;
        EXPECT_EQ(key.open(registry, Root::CurrentUser, c.readable.c_str()), status::success);
    }
}

} // namespace
