#include "values/machine_strings.h"

#include "appkey/app_key.h"
#include "registry/reg_path.h"
#include "registry/value_read.h"

namespace tavlo::registry {

using platform::Root;

frame::Failure readMachineString(std::u16string& out, const char16_t* name,
                                 std::uint32_t initialSize) {
    constexpr std::u16string_view operation = u"GetHKeyLocalMachineString";
    // An app key that can't be found has been reported already and reads as empty: the value
    // is then looked for directly below the root.
    const std::u16string& appKey = appkey::currentAppKey();
    platform::RegKey key;
    if (key.open(*frame::state().services.registry, Root::LocalMachine, appKey.c_str()) !=
        platform::status::success)
        return regPathFailure(frame::Failure::Kind::Key, operation, frame::message::machineValue,
                              Root::LocalMachine, appKey, nullptr);
    const ReadResult read = readStringValue(key, name, out, initialSize);
    key.close();
    if (read.status != platform::status::success || read.type != platform::regtype::sz)
        return regPathFailure(frame::Failure::Kind::Entry, operation, frame::message::machineValue,
                              Root::LocalMachine, appKey, name);
    return {};
}

TavloRetVal GetHKeyLocalMachineString(std::u16string& out, const char16_t* name,
                                      std::uint32_t initialSize) {
    frame::raise(readMachineString(out, name, initialSize));
    return TAVLO_Success;
}

} // namespace tavlo::registry
