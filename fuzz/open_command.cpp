// The host executable from an open command (UTF-16LE, nulls and all), with the portable text
// service doing the upper-casing of an unquoted command.
#include "appkey/discovery.h"
#include "frame/state.h"
#include "fuzz_input.h"
#include "platform/portable/text_service.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static tavlo::platform::portable::PortableText text;
    tavlo::platform::Services services;
    services.text = &text;
    tavlo::frame::ScopedState scope(services);
    const std::u16string command = tavlo::fuzz::units(data, size);
    const std::u16string path = tavlo::appkey::exePathFromCommand(command);
    tavlo::fuzz::require(path.size() <= command.size());
    return 0;
}
