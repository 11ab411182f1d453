// Checked when this program compiles: the core reaches the registry only through
// RegistryService and RegKey, and neither has a member that writes. The in-memory registry has
// the writes its file loader needs, which shows that the check sees a member when there is one.
#include "platform/portable/memory_registry.h"
#include "platform/services.h"

#include <type_traits>

namespace tavlo::platform {

static_assert(std::is_same_v<decltype(Services::registry), RegistryService*>);

#define TAVLO_NO_WRITE(member, builderHasIt)                                                       \
    template <typename T>                                                                          \
    concept has_##member = requires {                                                              \
        &T::member;                                                                                \
    };                                                                                             \
    static_assert(!has_##member<RegistryService> && !has_##member<RegKey> &&                       \
                  has_##member<portable::MemoryRegistry> == (builderHasIt))

TAVLO_NO_WRITE(createKey, true);
TAVLO_NO_WRITE(setValue, true);
TAVLO_NO_WRITE(deleteValue, true);
TAVLO_NO_WRITE(deleteKey, true);
TAVLO_NO_WRITE(clear, true);
TAVLO_NO_WRITE(setKeyValue, false);
TAVLO_NO_WRITE(deleteTree, false);
TAVLO_NO_WRITE(copyTree, false);
TAVLO_NO_WRITE(renameKey, false);
TAVLO_NO_WRITE(saveKey, false);
TAVLO_NO_WRITE(restoreKey, false);
TAVLO_NO_WRITE(loadKey, false);
TAVLO_NO_WRITE(unloadKey, false);
TAVLO_NO_WRITE(replaceKey, false);
TAVLO_NO_WRITE(flushKey, false);

} // namespace tavlo::platform
