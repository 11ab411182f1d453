// tavlo-doc: what the build makes from the tool's help table besides the help itself.
#pragma once

#include <string>
#include <string_view>

namespace tavlo::doc {

// The manual page tavlo(1), in troff: every command with its options, exit status and examples,
// the tool's options, the environment and the exit statuses.
std::string manPage(std::string_view version, std::string_view date);

// The bash completion script: TEMPLATE with its @@NAME@@ markers replaced by the commands and
// options of the table. Throws std::runtime_error for a marker it doesn't know.
std::string bashCompletion(std::string_view templateText);

} // namespace tavlo::doc
