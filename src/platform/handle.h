// Ownership of something a service opened and must be told to close: an open key, a loaded
// module, a directory listing. The owner keeps the service that opened it beside the raw
// handle, since the close goes back to that service; it is move-only, so that every path that
// opens closes exactly once.
//
// Traits names the service and how it closes: `using Service = ...; using Raw = ...;
// static void close(Service&, Raw) noexcept;`. A null raw handle owns nothing.
#pragma once

#include <utility>

namespace tavlo::platform {

template <typename Traits> class Handle {
public:
    using Service = typename Traits::Service;
    using Raw = typename Traits::Raw;

    Handle() = default;
    Handle(Service& service, Raw raw) noexcept : service_(raw ? &service : nullptr), raw_(raw) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept
        : service_(std::exchange(other.service_, nullptr)), raw_(std::exchange(other.raw_, Raw{})) {
    }
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            service_ = std::exchange(other.service_, nullptr);
            raw_ = std::exchange(other.raw_, Raw{});
        }
        return *this;
    }
    ~Handle() { reset(); }

    // Closes what is owned, if anything.
    void reset() noexcept {
        if (raw_ != Raw{})
            Traits::close(*service_, raw_);
        service_ = nullptr;
        raw_ = Raw{};
    }
    // Closes what is owned, then owns raw (of service).
    void reset(Service& service, Raw raw) noexcept { *this = Handle(service, raw); }
    // Gives up ownership without closing.
    Raw release() noexcept {
        service_ = nullptr;
        return std::exchange(raw_, Raw{});
    }

    Raw get() const noexcept { return raw_; }
    Service* service() const noexcept { return service_; }
    explicit operator bool() const noexcept { return raw_ != Raw{}; }

private:
    Service* service_ = nullptr;
    Raw raw_{};
};

} // namespace tavlo::platform
