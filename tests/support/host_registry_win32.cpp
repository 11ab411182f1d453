#include "host_registry.h"

namespace tavlo::test {

struct HostRegistry::Impl {
    ScratchRegistry scratch;
};

namespace {
std::u16string wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}
} // namespace

HostRegistry::HostRegistry() : impl_(std::make_unique<Impl>()) {}
HostRegistry::~HostRegistry() = default;

void HostRegistry::setString(Root root, const std::string& path, const char* name,
                             const std::string& text) {
    const std::u16string valueName = name ? wide(name) : u"";
    impl_->scratch.setString(root, wide(path), name ? valueName.c_str() : nullptr, wide(text));
}

void HostRegistry::setDword(Root root, const std::string& path, const char* name,
                            std::uint32_t value) {
    const std::u16string valueName = name ? wide(name) : u"";
    impl_->scratch.setDword(root, wide(path), name ? valueName.c_str() : nullptr, value);
}

void HostRegistry::publish() {}

} // namespace tavlo::test
