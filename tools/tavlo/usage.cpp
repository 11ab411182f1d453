// The tool's help: an overview of every command and a page of its own for each, so that
// "tavlo --help", "tavlo help COMMAND" and "tavlo COMMAND --help" all answer from one table
// (help_table.cpp), the one the manual page is made from.
#include "cli.h"
#include "help_table.h"

#include <algorithm>
#include <string_view>

namespace tavlo::cli {

namespace {

// Each line of TEXT after INDENT spaces, the first one after LEAD instead.
void appendIndented(std::string& out, std::string_view lead, std::string_view text,
                    std::size_t indent) {
    out += lead;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find('\n', at);
        out += text.substr(at, end - at);
        if (end == std::string_view::npos)
            return;
        out += '\n';
        out.append(indent, ' ');
        at = end + 1;
    }
}

std::string optionLabel(const help::Option& option) {
    std::string label(option.names);
    if (!option.argument.empty())
        label += " " + std::string(option.argument);
    return label;
}

// Two columns: the labels, then the texts two spaces right of the longest label.
template <class Row, class Label>
void appendTable(std::string& out, std::span<const Row> rows, Label label) {
    std::size_t width = 0;
    for (const Row& row : rows)
        width = std::max(width, label(row).size());
    for (const Row& row : rows) {
        std::string lead = "\n  " + label(row);
        lead.append(width + 2 - label(row).size(), ' ');
        appendIndented(out, lead, row.text, width + 4);
    }
}

} // namespace

void printOverview() {
    const help::Tool& tool = help::tool();
    std::string text = "Usage: " + std::string(tool.usage) + "\n\n" + std::string(tool.about);
    text += "\n\nCommands:";
    for (const help::Command& command : tool.commands) {
        text += "\n  ";
        text += command.synopsis.substr(std::string_view("tavlo ").size());
        text += "\n      ";
        text += command.summary;
    }
    text += "\n\nOptions (before COMMAND):";
    appendTable(text, tool.options, optionLabel);
    text += "\n\nEnvironment:";
    appendTable(text, tool.environment,
                [](const help::Variable& variable) { return std::string(variable.name); });
    text += "\n" + std::string(tool.environmentNote) + "\n\n" + std::string(tool.diagnostics);
    appendIndented(text, "\n\nExit status: ", tool.exitStatus, 0);
    out(text);
}

bool printCommandHelp(std::string_view name) {
    const help::Command* command = help::findCommand(name);
    if (!command)
        return false;
    std::string text = "Usage: " + std::string(command->synopsis) + "\n\n";
    text += command->description;
    if (!command->options.empty()) {
        text += "\n\nOptions:";
        appendTable(text, command->options, optionLabel);
    }
    if (!command->exitStatus.empty())
        appendIndented(text, "\n\nExit status: ", command->exitStatus, 0);
    if (!command->examples.empty()) {
        text += command->examples.size() == 1 ? "\n\nExample:" : "\n\nExamples:";
        for (std::string_view example : command->examples)
            text += "\n  " + std::string(example);
    }
    out(text);
    return true;
}

bool asksForHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args)
        if (arg == "--help" || arg == "-h")
            return true;
    return false;
}

} // namespace tavlo::cli
