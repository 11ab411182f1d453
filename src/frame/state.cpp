#include "frame/state.h"

namespace tavlo::frame {

namespace {
LibraryState*& current() {
    static LibraryState loaded(platform::defaultServices());
    static LibraryState* pointer = &loaded;
    return pointer;
}
} // namespace

LibraryState& state() {
    return *current();
}

ScopedState::ScopedState(const platform::Services& services)
    : state_(services), previous_(current()) {
    current() = &state_;
}

ScopedState::~ScopedState() {
    current() = previous_;
}

} // namespace tavlo::frame
