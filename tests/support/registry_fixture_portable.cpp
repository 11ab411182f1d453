#include "registry_fixture.h"

#include "platform/portable/environment_posix.h"

namespace tavlo::test {

using platform::portable::Hive;

struct ScratchRegistry::Impl {};

namespace {
// Writes below HKEY_CLASSES_ROOT land in the machine's classes, as regedit imports them.
std::pair<Hive, std::u16string> place(Root root, std::u16string_view path) {
    const std::u16string below(path);
    if (root != Root::ClassesRoot)
        return {root == Root::CurrentUser ? Hive::CurrentUser : Hive::LocalMachine, below};
    return {Hive::LocalMachine, u"Software\\Classes" + (below.empty() ? u"" : u"\\" + below)};
}
} // namespace

ScratchRegistry::ScratchRegistry() {
    platform::portable::useEmptyRegistry();
}
ScratchRegistry::~ScratchRegistry() {
    platform::portable::useEmptyRegistry();
}

void ScratchRegistry::createKey(Root root, std::u16string_view path) {
    auto [hive, full] = place(root, path);
    platform::portable::processRegistry().createKey(hive, full);
}

void ScratchRegistry::setRaw(Root root, std::u16string_view path, const char16_t* name,
                             std::uint32_t type, const std::vector<std::uint8_t>& data) {
    auto [hive, full] = place(root, path);
    platform::portable::processRegistry().setValue(hive, full, name ? name : u"", type, data);
}

} // namespace tavlo::test
