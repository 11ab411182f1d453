#include "platform/host.h"

#include "platform/portable/environment_posix.h"

namespace tavlo::platform {

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void useUtf8Output() {}

bool canChooseRegistrySource() {
    return true;
}

void chooseRegistrySource(const std::vector<std::string>& files, const std::string& prefix) {
    portable::PortableConfig config = portable::configFromEnvironment();
    if (!prefix.empty()) {
        config.prefix = prefix;
        // An explicit prefix means its own registry, not the files the environment names.
        config.registryFiles.clear();
    }
    if (!files.empty())
        config.registryFiles = files;
    portable::configure(std::move(config));
}

std::vector<std::string> registrySourceDiagnostics() {
    std::vector<std::string> lines;
    for (const auto& d : portable::processDiagnostics())
        lines.push_back(d.file + (d.line ? ":" + std::to_string(d.line) : std::string()) + ": " +
                        d.message);
    return lines;
}

} // namespace tavlo::platform
