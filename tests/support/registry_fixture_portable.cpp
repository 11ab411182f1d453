#include "registry_fixture.h"

#include "platform/portable/environment_posix.h"

namespace tavlo::test {

using platform::portable::Hive;

struct ScratchRegistry::Impl {};

namespace {
// Writes below HKEY_CLASSES_ROOT land in the machine's classes, as regedit imports them.
std::pair<Hive, std::u16string> place(Root root, std::u16string_view path) {
    switch (root) {
    case Root::LocalMachine:
        return {Hive::LocalMachine, std::u16string(path)};
    case Root::CurrentUser:
        return {Hive::CurrentUser, std::u16string(path)};
    case Root::ClassesRoot:
        break;
    }
    std::u16string classes = u"Software\\Classes";
    if (!path.empty())
        classes.append(u"\\").append(path);
    return {Hive::LocalMachine, classes};
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
