// tavlo: shows what the library resolves for a registry, and where each answer came from.
#include "cli.h"
#include "failure.h"

#include "platform/host.h"
#include "platform/services.h"

#include <cstring>

namespace tavlo::cli {

void out(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

void err(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
}

int usageOf(const std::string& command, const std::string& message) {
    err(command + ": " + message);
    err("Try '" + command + " --help'.");
    return kUsage;
}

namespace {

constexpr const char* kVersion = TAVLO_VERSION;

int usageError(const std::string& message) {
    err("tavlo: " + message);
    err("Try 'tavlo --help'.");
    return kUsage;
}

} // namespace

int run(const std::vector<std::string>& argv) {
    std::vector<std::string> files;
    std::string prefix;
    std::size_t i = 1;
    for (; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printOverview();
            return kFound;
        }
        if (arg == "--version") {
            out(std::string("tavlo ") + kVersion);
            return kFound;
        }
        if (arg == "--registry" || arg == "--prefix") {
            if (i + 1 >= argv.size())
                return usageError(arg + " needs a value");
            if (!platform::canChooseRegistrySource())
                return usageError(arg + " is not available here: this build reads the registry "
                                        "of the machine it runs on");
            if (arg == "--prefix" && argv[i + 1].empty())
                return usageError("--prefix needs a folder, not an empty name");
            (arg == "--registry" ? files.emplace_back() : prefix) = argv[++i];
            continue;
        }
        if (arg.rfind("--registry=", 0) == 0 || arg.rfind("--prefix=", 0) == 0) {
            if (!platform::canChooseRegistrySource())
                return usageError(arg.substr(0, arg.find('=')) + " is not available here");
            const std::string value = arg.substr(arg.find('=') + 1);
            if (arg[2] == 'p' && value.empty())
                return usageError("--prefix needs a folder, not an empty name");
            (arg[2] == 'r' ? files.emplace_back() : prefix) = value;
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-')
            return usageError("unknown option " + arg);
        break;
    }
    if (i >= argv.size())
        return usageError("no command given");
    if (!files.empty() || !prefix.empty())
        platform::chooseRegistrySource(files, prefix);

    Invocation call{std::vector<std::string>(argv.begin() + static_cast<long>(i) + 1, argv.end())};
    const std::string& command = argv[i];
    if (command == "help") {
        if (call.args.empty()) {
            printOverview();
            return kFound;
        }
        return call.args.size() == 1 && printCommandHelp(call.args[0])
                   ? kFound
                   : usageError("help takes one command name: show, get, help-file, notice, reg");
    }
    if (asksForHelp(call.args)) {
        if (printCommandHelp(command))
            return kFound;
        return usageError("unknown command " + command);
    }
    int (*commandFn)(const Invocation&) = nullptr;
    if (command == "reg")
        commandFn = regCommand;
    else if (command == "show")
        commandFn = showCommand;
    else if (command == "get")
        commandFn = getCommand;
    else if (command == "help-file")
        commandFn = helpFileCommand;
    else if (command == "notice")
        commandFn = noticeCommand;
    else
        return usageError("unknown command " + command);
    const int result = runGuarded(command, commandFn, call);
    if (result != kUsage) {
        for (const auto& line : platform::registrySourceDiagnostics())
            err(line);
        // The library prints nothing in a host's process; what it would not load is told here.
        for (const auto& refused : platform::defaultServices().modules->refusals())
            err("tavlo: refused to load " + refused.path + " (for " + refused.module +
                "): " + refused.reason);
    }
    return result;
}

} // namespace tavlo::cli

int main(int argc, char** argv) {
    tavlo::platform::useUtf8Output();
    // Each command is guarded on its own; this is for what is left (memory running out while
    // the arguments are read or a failure is told).
    try {
        return tavlo::cli::run(tavlo::platform::utf8Arguments(argc, argv));
    } catch (...) {
        std::fputs("tavlo: failed with an exception while starting or reporting\n", stderr);
        return tavlo::cli::kLibraryError;
    }
}
