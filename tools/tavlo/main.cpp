// tavlo: shows what the library resolves for a registry, and where each answer came from.
#include "cli.h"
#include "failure.h"
#include "help_table.h"

#include "platform/host.h"
#include "platform/services.h"

#include <CLI/CLI.hpp>

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

// The commands "help" explains, as its table lists them.
std::string helpTopics() {
    std::string topics;
    for (const help::Command& command : help::tool().commands)
        if (command.name != "help")
            topics.append(topics.empty() ? "" : ", ").append(command.name);
    return topics;
}

int usageError(const std::string& message) {
    err("tavlo: " + message);
    err("Try 'tavlo --help'.");
    return kUsage;
}

// How a command takes the words after its name.
enum class Takes {
    Names,     // plain names and the command's options, declared to the parser
    OwnSyntax, // reg query's Windows-style options (/v NAME, /ve, /s, in any case, also with
               // '-'): everything after the operation is handed over as it was given
};

struct Command {
    const char* name;
    Takes takes;
    const char* names; // what the names stand for, with Takes::Names; null: it takes none
    int (*run)(const Invocation&);
    void (*options)(CLI::App&, Invocation&); // the command's own options, if any
};

constexpr Command kCommands[] = {
    {"show", Takes::Names, nullptr, showCommand,
     [](CLI::App& app, Invocation& call) {
         app.add_flag("--json", call.json);
         app.add_flag("--show-origin", call.showOrigin);
     }},
    {"get", Takes::Names, "SETTING", getCommand,
     [](CLI::App& app, Invocation& call) {
         app.add_flag("--list", call.list);
         app.add_flag("--show-origin", call.showOrigin);
         CLI::Option* watch = app.add_flag("--watch", call.watch)->excludes("--list");
         app.add_option("--interval", call.intervalMs)
             ->check(CLI::Range(10, 3600 * 1000))
             ->needs(watch);
     }},
    {"help-file", Takes::Names, "NAME", helpFileCommand, nullptr},
    {"notice", Takes::Names, "DRIVER", noticeCommand, nullptr},
    {"reg", Takes::OwnSyntax, nullptr, regCommand, nullptr},
    {"help", Takes::Names, "COMMAND", nullptr, nullptr},
};

// The command line as parsed: the options before the command, the command and its words.
struct Parsed {
    std::vector<std::string> files;
    std::string prefix;
    bool prefixGiven = false;
    bool version = false;
    const Command* command = nullptr;
    Invocation call;
};

// Runs what the parsed line asks for, after the parser is done with it.
int runParsed(const Parsed& parsed) {
    if (parsed.version) {
        out(std::string("tavlo ") + kVersion);
        return kFound;
    }
    if (!parsed.files.empty() || parsed.prefixGiven) {
        const char* option = parsed.files.empty() ? "--prefix" : "--registry";
        if (!platform::canChooseRegistrySource())
            return usageError(std::string(option) +
                              " is not available here: this build reads the registry of the "
                              "machine it runs on");
        if (parsed.prefixGiven && parsed.prefix.empty())
            return usageError("--prefix needs a folder, not an empty name");
        platform::chooseRegistrySource(parsed.files, parsed.prefix);
    }
    if (!parsed.command)
        return usageError("no command given");

    const Command& command = *parsed.command;
    const Invocation& call = parsed.call;
    if (!command.run) { // help
        if (call.args.empty()) {
            printOverview();
            return kFound;
        }
        return call.args.size() == 1 && printCommandHelp(call.args[0])
                   ? kFound
                   : usageError("help takes one command name: " + helpTopics());
    }
    // Handed over as given, so the parser never saw a --help among them.
    if (command.takes == Takes::OwnSyntax && asksForHelp(call.args)) {
        printCommandHelp(command.name);
        return kFound;
    }
    const int result = runGuarded(command.name, command.run, call);
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

} // namespace

int run(const std::vector<std::string>& argv) {
    Parsed parsed;
    CLI::App app("", "tavlo");
    // '/' starts no option on Windows either: reg query reads its own.
    app.allow_windows_style_options(false);
    // An unknown command, or an option before it, is told in the tool's own words below.
    app.allow_extras();
    // The command's words are its own, also one that names another command.
    app.require_subcommand(0, 1);
    app.add_option("--registry", parsed.files)->allow_extra_args(false);
    CLI::Option* prefix = app.add_option("--prefix", parsed.prefix)
                              ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_flag("--version", parsed.version);
    for (const Command& command : kCommands) {
        CLI::App* sub = app.add_subcommand(command.name);
        // Set on each: a command inherits the tool's own allowance for words it doesn't know.
        sub->allow_extras(false);
        if (command.takes == Takes::OwnSyntax) {
            sub->prefix_command();
            continue;
        }
        // The commands count their names themselves, to say which one is too many.
        if (command.names)
            sub->add_option(command.names, parsed.call.args);
        if (command.options)
            command.options(*sub, parsed.call);
    }

    // The parser takes the words last first, without the program's name.
    std::vector<std::string> words(argv.rbegin(), argv.rend() - (argv.empty() ? 0 : 1));
    bool help = false;
    try {
        app.parse(words);
    } catch (const CLI::CallForHelp&) {
        help = true;
    } catch (const CLI::ParseError& error) {
        const auto chosen = app.get_subcommands();
        return chosen.empty() ? usageError(error.what())
                              : usageOf("tavlo " + chosen.front()->get_name(), error.what());
    }
    if (const std::vector<std::string> left = app.remaining(); !left.empty()) {
        const std::string& first = left.front();
        return usageError(
            (first.size() > 1 && first[0] == '-' ? "unknown option " : "unknown command ") + first);
    }
    for (CLI::App* chosen : app.get_subcommands())
        for (const Command& command : kCommands)
            if (chosen->get_name() == command.name) {
                parsed.command = &command;
                if (command.takes == Takes::OwnSyntax)
                    parsed.call.args = chosen->remaining();
            }
    if (help) {
        if (parsed.command)
            printCommandHelp(parsed.command->name);
        else
            printOverview();
        return kFound;
    }
    parsed.prefixGiven = prefix->count() > 0;
    return runParsed(parsed);
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
