// What the tool tells about itself, as data: its commands, their options, the environment it
// reads and its exit statuses. "tavlo help" prints it, and the build makes the manual page and
// the shell completion from it, so that none of them can tell what the others don't.
#pragma once

#include <span>
#include <string_view>

namespace tavlo::cli::help {

// Texts are broken into lines where "tavlo help" breaks them; the manual page fills them again.

struct Option {
    std::string_view names;    // "--json", or "-h, --help"
    std::string_view argument; // the placeholder of its value ("FILE", "DIR", "MS"), or empty
    std::string_view text;
};

struct Command {
    std::string_view name;
    std::string_view synopsis; // from "tavlo" on
    std::string_view summary;  // its line of the overview
    std::string_view description;
    std::span<const Option> options;
    std::string_view exitStatus; // empty: the tool's own
    std::span<const std::string_view> examples;
};

struct Variable {
    std::string_view name;
    std::string_view text;
};

struct Tool {
    std::string_view purpose; // a line naming what the tool is for
    std::string_view usage;   // from "tavlo" on
    std::string_view about;
    std::span<const Command> commands;
    std::span<const Option> options; // those before the command
    std::span<const Variable> environment;
    std::string_view environmentNote;
    std::string_view diagnostics; // what the tool prints on stderr besides its answers
    std::string_view exitStatus;
};

const Tool& tool();

// The command of that name, or null.
const Command* findCommand(std::string_view name);

} // namespace tavlo::cli::help
