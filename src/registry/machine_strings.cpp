#include "registry/machine_strings.h"

#include "appkey/app_key.h"
#include "frame/errors.h"
#include "registry/reg_path.h"
#include "registry/value_read.h"

namespace tavlo::registry {

using platform::Root;

TavloRetVal GetHKeyLocalMachineString(std::u16string& out, const char16_t* name,
                                      std::uint32_t initialSize) {
    constexpr std::u16string_view operation = u"GetHKeyLocalMachineString";
    // An app key that can't be found has been reported already and reads as empty: the value
    // is then looked for directly below the root.
    const std::u16string appKey = appkey::GetAppKey(nullptr);
    platform::RegKey key;
    if (key.open(*frame::state().services.registry, Root::LocalMachine, appKey.c_str()) !=
        platform::status::success)
        frame::raise<TAVLO_Key_Error>(operation, frame::message::machineValue,
                                      FormatRegPath(Root::LocalMachine, appKey.c_str(), nullptr));
    const ReadResult read = readStringValue(key, name, out, initialSize);
    key.close();
    if (read.status != platform::status::success || read.type != platform::regtype::sz)
        frame::raise<TAVLO_Entry_Error>(operation, frame::message::machineValue,
                                        FormatRegPath(Root::LocalMachine, appKey.c_str(), name));
    return TAVLO_Success;
}

} // namespace tavlo::registry
