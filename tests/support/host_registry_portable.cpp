#include "host_registry.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <unistd.h>

namespace tavlo::test {

struct HostRegistry::Impl {
    std::map<std::string, std::string> keys; // "[ROOT\path]" -> value lines
    std::string file;
};

namespace {
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string keyLine(Root root, const std::string& path) {
    const char* label = root == Root::LocalMachine  ? "HKEY_LOCAL_MACHINE"
                        : root == Root::CurrentUser ? "HKEY_CURRENT_USER"
                                                    : "HKEY_CLASSES_ROOT";
    return "[" + std::string(label) + (path.empty() ? "" : "\\" + path) + "]";
}
} // namespace

HostRegistry::HostRegistry() : impl_(std::make_unique<Impl>()) {
    impl_->file = "/tmp/tavlo-host-registry-" + std::to_string(getpid()) + ".reg";
}

HostRegistry::~HostRegistry() {
    unsetenv("TAVLO_REGISTRY");
    std::remove(impl_->file.c_str());
}

void HostRegistry::setString(Root root, const std::string& path, const char* name,
                             const std::string& text) {
    impl_->keys[keyLine(root, path)] += (name ? quoted(name) : "@") + "=" + quoted(text) + "\n";
}

void HostRegistry::setDword(Root root, const std::string& path, const char* name,
                            std::uint32_t value) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", value);
    impl_->keys[keyLine(root, path)] += (name ? quoted(name) : "@") + "=dword:" + hex + "\n";
}

void HostRegistry::publish() {
    std::ofstream out(impl_->file, std::ios::binary | std::ios::trunc);
    out << "Windows Registry Editor Version 5.00\n\n";
    for (const auto& [key, values] : impl_->keys)
        out << key << "\n" << values << "\n";
    out.close();
    setenv("TAVLO_REGISTRY", impl_->file.c_str(), 1);
}

} // namespace tavlo::test
