// The message formatter. The first byte chooses whether insert 1 is null; the rest is UTF-16LE:
// all of it is the template (the formatter must stop at its first null), and what follows that
// null is insert 1.
#include "platform/portable/format_message.h"
#include "fuzz_input.h"

using namespace tavlo::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::u16string templ = tavlo::fuzz::units(data + 1, size - 1);
    const std::size_t end = templ.find(u'\0');
    const std::u16string insert = end == std::u16string::npos ? u"" : templ.substr(end + 1);
    std::u16string out = u"stale";
    const Status result =
        portable::formatMessage(templ, data[0] & 1 ? nullptr : insert.c_str(), out);
    tavlo::fuzz::require(result == status::success ? !out.empty() : out.empty());
    return 0;
}
