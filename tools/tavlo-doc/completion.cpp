// The bash completion script: a hand-written template that takes the commands and options from
// the same table as "tavlo help", so that it completes what the tool says it takes.
#include "doc.h"

#include "../tavlo/help_table.h"

#include <map>
#include <stdexcept>
#include <vector>

namespace tavlo::doc {

namespace {

using cli::help::Option;

// Each name of each option ("-h, --help" is two), those whose value is PLACEHOLDER only, or
// with PLACEHOLDER "*" those taking any value but a file or folder.
std::string optionWords(std::span<const Option> options, std::string_view placeholder = {}) {
    std::string words;
    for (const Option& option : options) {
        if (!placeholder.empty()) {
            const bool path = option.argument == "FILE" || option.argument == "DIR";
            if (placeholder == "*" ? option.argument.empty() || path
                                   : option.argument != placeholder)
                continue;
        }
        std::string_view names = option.names;
        while (!names.empty()) {
            const std::size_t comma = names.find(", ");
            words += (words.empty() ? "" : " ") + std::string(names.substr(0, comma));
            names = comma == std::string_view::npos ? "" : names.substr(comma + 2);
        }
    }
    return words;
}

std::map<std::string, std::string, std::less<>> markers() {
    const cli::help::Tool& tool = cli::help::tool();
    std::string commands, commandOptions, valueOptions = optionWords(tool.options, "*");
    for (const cli::help::Command& command : tool.commands) {
        commands += (commands.empty() ? "" : " ") + std::string(command.name);
        commandOptions += "        " + std::string(command.name) + ") _tavlo_words='" +
                          optionWords(command.options) + "' ;;\n";
        const std::string values = optionWords(command.options, "*");
        if (!values.empty())
            valueOptions += " " + values;
    }
    commandOptions.pop_back();
    return {{"COMMANDS", commands},
            {"TOOL_OPTIONS", optionWords(tool.options)},
            {"FILE_OPTIONS", optionWords(tool.options, "FILE")},
            {"DIR_OPTIONS", optionWords(tool.options, "DIR")},
            {"VALUE_OPTIONS", valueOptions},
            {"COMMAND_OPTIONS", commandOptions}};
}

} // namespace

std::string bashCompletion(std::string_view templateText) {
    const auto values = markers();
    std::string out;
    for (std::size_t at = 0;;) {
        const std::size_t open = templateText.find("@@", at);
        const std::size_t close =
            open == std::string_view::npos ? open : templateText.find("@@", open + 2);
        if (close == std::string_view::npos) {
            out += templateText.substr(at);
            return out;
        }
        const std::string_view name = templateText.substr(open + 2, close - open - 2);
        const auto value = values.find(name);
        if (value == values.end())
            throw std::runtime_error("unknown marker @@" + std::string(name) + "@@");
        out += templateText.substr(at, open - at);
        out += value->second;
        at = close + 2;
    }
}

} // namespace tavlo::doc
