// tavlo: shows what the library resolves for a registry, and where each answer came from.
#include "cli.h"

#include "platform/host.h"

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
    err("Try 'tavlo --help'.");
    return kUsage;
}

namespace {

constexpr const char* kVersion = "0.1.0";

const char* const kUsageText =
    R"(Usage: tavlo [OPTIONS] COMMAND [ARGS]

Shows what the tavlo library resolves from the registry and where each answer came from.

Commands:
  show [--json] [--show-origin]
                     The host's app key and how it was found (the product hook beside the
                     library, the hook beside the host program named by a file association,
                     or the catalogue of registered applications with the candidates it
                     weighed), whether the host is Corvida, the current profile, and every
                     setting: the product's identity, the directories, the support file
                     search path and the plot settings. Exit status 1 when no app key can be
                     found, with the reason. --json prints one JSON object (origins
                     included); --show-origin names the registry value each answer was read
                     from, or the default it fell back on and why, and on Linux the local
                     path a drive-letter directory maps to.
  get NAME [--show-origin] | get --list
                     One setting, for scripts; exit status 1 when it is empty. NAME is
                     app-key, is-corvida, current-profile-key or one of the names show lists
                     (app-directory, language, product-name, program-name, company-name,
                     product-base-name, driver-directory, plotters-directory,
                     plot-styles-directory, pmp-directory, plot-spooler-directory,
                     help-directory, log-file-directory, support-file-search-path,
                     autospool-command-string, default-login-name, default-plot-to-file,
                     default-plot-style-table, raster-threshold, raster-percent,
                     current-plot-style-policy, hide-system-printers, r14-raster-plot).
  help-file [NAME]   The help file the library would open for NAME (a pathname is taken as
                     it is; a bare name in the help directory, or found below the
                     application directory), or without NAME the host's default help file.
  notice DRIVER      Whether DRIVER is a registered back-door driver, and its notice with
                     the product name filled in. Exit status 1 when it isn't one.
  reg query KEY [/v NAME | /ve] [/s]
                     Print a key's values and sub-keys as Windows' "reg query" does.
                     KEY starts with a root: HKLM, HKCU, HKCR or their long forms
                     (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT).
                     /v NAME prints one value, /ve the default value, /s every sub-key too.

Options:
  --registry FILE    Read this registry file (regedit export or Wine's system.reg/user.reg);
                     repeat to layer files, later ones overriding earlier ones. Linux only.
  --prefix DIR       Read the Wine prefix DIR (its system.reg and user.reg; drive letters
                     resolve through DIR/dosdevices). Linux only.
  --help             Show this help.
  --version          Show the version.

Without --registry or --prefix the Linux build reads the files named in TAVLO_REGISTRY
(separated by ':'), else the Wine prefix in WINEPREFIX, else ~/.wine. tavlo.exe reads the
registry of the machine (or Wine prefix) it runs on.

Exit status: 0 found, 1 not found, 2 usage error.)";

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
            out(kUsageText);
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
            (arg == "--registry" ? files.emplace_back() : prefix) = argv[++i];
            continue;
        }
        if (arg.rfind("--registry=", 0) == 0 || arg.rfind("--prefix=", 0) == 0) {
            if (!platform::canChooseRegistrySource())
                return usageError(arg.substr(0, arg.find('=')) + " is not available here");
            const std::string value = arg.substr(arg.find('=') + 1);
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
    int result;
    if (command == "reg")
        result = regCommand(call);
    else if (command == "show")
        result = showCommand(call);
    else if (command == "get")
        result = getCommand(call);
    else if (command == "help-file")
        result = helpFileCommand(call);
    else if (command == "notice")
        result = noticeCommand(call);
    else
        return usageError("unknown command " + command);
    if (result != kUsage)
        for (const auto& line : platform::registrySourceDiagnostics())
            err(line);
    return result;
}

} // namespace tavlo::cli

int main(int argc, char** argv) {
    tavlo::platform::useUtf8Output();
    return tavlo::cli::run(tavlo::platform::utf8Arguments(argc, argv));
}
