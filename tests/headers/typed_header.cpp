// Both headers as a C++ program sees them, warnings as errors.
#include <tavlo/tavlo.h>
#include <tavlo/tavlo.hpp>

// A host's handler: the class must be derivable without warnings.
class Handler final : public TavloErrorHandler {
public:
    int DisplayError(const TavloChar*, const TavloChar*, uint32_t, int32_t) override { return 0; }
};

void tavloHeaderUse() {
    Handler handler;
    tavlo_SetErrorHandler(&handler);
}
