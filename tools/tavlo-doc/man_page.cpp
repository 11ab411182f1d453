// The manual page, written from the same table as "tavlo help".
#include "doc.h"

#include "../tavlo/help_table.h"

namespace tavlo::doc {

namespace {

using cli::help::Command;
using cli::help::Option;

// Text as troff prints it: a backslash is its escape, a minus must be one to be copied as such
// from the rendered page (a plain '-' may become a hyphen), and a line starting with '.' or '\''
// would be a request.
std::string escaped(std::string_view text) {
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

// Lines broken for the terminal help, filled again by troff. Indented lines (a list inside the
// text) are filled as a block of their own, indented as in the help.
std::string paragraph(std::string_view text) {
    std::string out;
    bool inBlock = false;
    for (std::size_t at = 0; at <= text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        const bool indented = line.starts_with("  ");
        if (indented != inBlock)
            out += indented ? ".RS 2\n" : ".RE\n";
        inBlock = indented;
        if (indented)
            line.remove_prefix(line.find_first_not_of(' '));
        out += escaped(line) + "\n";
        at = end + 1;
    }
    return inBlock ? out + ".RE\n" : out;
}

std::string optionLabel(const Option& option) {
    std::string label;
    std::string_view names = option.names;
    for (std::size_t comma; (comma = names.find(", ")) != std::string_view::npos;) {
        label += "\\fB" + escaped(names.substr(0, comma)) + "\\fR, ";
        names.remove_prefix(comma + 2);
    }
    label += "\\fB" + escaped(names) + "\\fR";
    if (!option.argument.empty())
        label += " \\fI" + escaped(option.argument) + "\\fR";
    return label;
}

std::string options(std::span<const Option> list) {
    std::string out;
    for (const Option& option : list)
        out += ".TP\n" + optionLabel(option) + "\n" + paragraph(option.text);
    return out;
}

std::string examples(std::span<const std::string_view> list) {
    std::string out = ".PP\n.RS\n.nf\n";
    for (std::string_view example : list)
        out += escaped(example) + "\n";
    return out + ".fi\n.RE\n";
}

std::string command(const Command& command) {
    std::string out = ".SS " + escaped(command.synopsis) + "\n" + paragraph(command.description);
    if (!command.options.empty())
        out += ".PP\nOptions:\n.RS\n" + options(command.options) + ".RE\n";
    if (!command.exitStatus.empty())
        out += ".PP\nExit status: " + paragraph(command.exitStatus);
    if (!command.examples.empty())
        out += std::string(".PP\n") + (command.examples.size() == 1 ? "Example:" : "Examples:") +
               "\n" + examples(command.examples);
    return out;
}

} // namespace

std::string manPage(std::string_view version, std::string_view date) {
    const cli::help::Tool& tool = cli::help::tool();
    std::string out = ".TH TAVLO 1 \"" + escaped(date) + "\" \"tavlo " + escaped(version) +
                      "\" \"User Commands\"\n";
    // Option and setting names are words to be typed: never hyphenated at a line's end.
    out += ".nh\n.ad l\n";
    out += ".SH NAME\ntavlo \\- " + escaped(tool.purpose) + "\n";

    // The options before the command are the tool's; each command's own follow its name.
    out += ".SH SYNOPSIS\n.nf\n";
    for (const Command& command : tool.commands) {
        std::string_view rest = command.synopsis.substr(std::string_view("tavlo ").size());
        out += "\\fBtavlo\\fR [\\fIOPTIONS\\fR] " + escaped(rest) + "\n";
    }
    out += "\\fBtavlo\\fR \\fICOMMAND\\fR \\-\\-help\n\\fBtavlo\\fR \\-\\-version\n.fi\n";

    out += ".SH DESCRIPTION\n" + paragraph(tool.about);
    out += ".PP\n" + paragraph(tool.diagnostics);
    out += ".SH OPTIONS\nThese come before the command.\n" + options(tool.options);
    out += ".SH COMMANDS\n";
    for (const Command& each : tool.commands)
        out += command(each);

    out += ".SH ENVIRONMENT\n";
    for (const cli::help::Variable& variable : tool.environment)
        out += ".TP\n.B " + escaped(variable.name) + "\n" + paragraph(variable.text);
    out += ".PP\n" + paragraph(tool.environmentNote);

    out += ".SH \"EXIT STATUS\"\n" + paragraph(tool.exitStatus);
    out += ".SH EXAMPLES\n.nf\n";
    for (const Command& each : tool.commands)
        for (std::string_view example : each.examples)
            out += escaped(example) + "\n";
    out += ".fi\n";
    return out;
}

} // namespace tavlo::doc
