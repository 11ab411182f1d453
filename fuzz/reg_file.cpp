// The registry file loader on any bytes, then the loaded tree read back through the registry
// service as the library reads it: every key opened by path, every value enumerated and queried
// with buffers too small, exact and roomy.
#include "platform/portable/reg_file.h"
#include "fuzz_input.h"

#include <vector>

namespace {

using namespace tavlo::platform;
using namespace tavlo::platform::portable;
using tavlo::fuzz::require;

void readValues(const RegKey& key) {
    static char16_t name[16384]; // zeroing a fresh one per key would cost more than the walk
    std::vector<std::uint8_t> data;
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t nameCount = 1, type = 0, size = 0;
        Status result = key.enumerate(index, name, &nameCount, &type, nullptr, &size);
        if (result == status::no_more_items)
            return;
        nameCount = std::size(name);
        result = key.enumerate(index, name, &nameCount, &type, nullptr, &size);
        require(result == status::success);
        if (std::char_traits<char16_t>::length(name) != nameCount)
            continue; // a name holding a null can't be queried by name
        // One byte short must be refused with the size needed; the exact size and two spare
        // bytes (room for a terminator the query may add) must both be accepted.
        data.assign(size + 2, 0xCC);
        for (const std::uint32_t room : {size - 1, size, size + 2}) {
            if (size == 0 && room != 0)
                continue;
            std::uint32_t got = room;
            result = key.query(name, &type, data.data(), &got);
            require(result == (room < size ? status::more_data : status::success) && got == size);
        }
    }
}

void walk(RegistryService& registry, Root root, const std::u16string& path, int depth) {
    require(depth <= 512); // Windows nests keys no deeper, and neither may a loaded file
    RegKey key;
    if (key.open(registry, root, path.c_str()) != status::success)
        return;
    readValues(key);
    char16_t name[256];
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t count = 256;
        const Status result = key.enumerateKey(index, name, &count);
        if (result == status::no_more_items)
            return;
        require(result == status::success);
        if (std::char_traits<char16_t>::length(name) != count)
            continue; // nor can such a key be opened by path
        walk(registry, root, path.empty() ? name : path + u'\\' + name, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryRegistry registry;
    loadRegistryText(registry, {reinterpret_cast<const char*>(data), size}, "fuzz",
                     Hive::CurrentUser);
    for (const Root root : {Root::LocalMachine, Root::CurrentUser, Root::ClassesRoot})
        walk(registry, root, u"", 0);
    return 0;
}
