// Inputs with which the fuzz targets in fuzz/ found faults, kept so that none comes back. Standard
// C++ only: this program also runs under Wine.
#include "platform/portable/reg_file.h"
#include "reg_file_views.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace tavlo::platform;
using namespace tavlo::platform::portable;

// Keys nest 512 levels deep at most; a far deeper one once overflowed the stack.
TEST(FuzzRegressions, RegistryFileKeysNestedTooDeep) {
    std::string text = "WINE REGISTRY Version 2\n";
    for (const std::size_t levels : {512, 513, 100000}) {
        text += "[k";
        for (std::size_t i = 1; i < levels; ++i)
            text += "\\\\k";
        text += "]\n";
    }
    MemoryRegistry registry;
    loadRegistryText(registry, text, "f", Hive::CurrentUser);
    registry.readAllValues();
    EXPECT_EQ(tavlo::test::problemLines(registry.diagnostics()),
              "3: key more than 512 levels deep: key skipped\n"
              "4: key more than 512 levels deep: key skipped\n");
    std::u16string deepest = u"k";
    for (std::size_t i = 1; i < 512; ++i)
        deepest += u"\\k";
    RegKey key;
    EXPECT_EQ(key.open(registry, Root::CurrentUser, deepest.c_str()), status::success);
}

} // namespace
