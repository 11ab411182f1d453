// The tool's --json output: objects keep their members in insertion order, so that the output
// reads like the text form.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace tavlo::cli {

using Json = nlohmann::ordered_json;

// One line, UTF-8 as it is. Every text the tool shows has passed through the UTF-16 to UTF-8
// conversion, which leaves no invalid sequence; should one come from elsewhere all the same, it
// becomes U+FFFD instead of ending the command without its object.
inline std::string dumpJson(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace tavlo::cli
