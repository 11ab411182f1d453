// The tavlo command: shared pieces of its subcommands.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tavlo::cli {

// Exit statuses: found, not found, usage error (failure.h has the library's failure).
inline constexpr int kFound = 0;
inline constexpr int kNotFound = 1;
inline constexpr int kUsage = 2;

struct Invocation {
    std::vector<std::string> args; // the subcommand's own words: names, or reg query's syntax
    bool json = false;             // show --json
    bool showOrigin = false;       // show, get --show-origin
    bool list = false;             // get --list
    bool watch = false;            // get --watch
    int intervalMs = 500;          // get --interval: how often a watch reads the answer again
};

int regCommand(const Invocation& call);
int showCommand(const Invocation& call);
int getCommand(const Invocation& call);
int helpFileCommand(const Invocation& call);
int noticeCommand(const Invocation& call);

// The help texts: the overview of all commands, one command's own page (false when there is no
// such command), and whether a command's arguments ask for its page.
void printOverview();
bool printCommandHelp(std::string_view name);
bool asksForHelp(const std::vector<std::string>& args);

// Prints a subcommand's usage error; returns kUsage.
int usageOf(const std::string& command, const std::string& message);

// A registry value type's name, as reg query prints it ("REG_SZ", "REG_DWORD", ...).
std::string typeName(std::uint32_t type);

// Writes a UTF-8 line to stdout / stderr.
void out(const std::string& line);
void err(const std::string& line);

} // namespace tavlo::cli
