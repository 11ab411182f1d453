// "tavlo get NAME": one answer, printed once or followed as it changes (--watch).
#pragma once

#include "failure.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavlo::cli {

struct Answer {
    std::optional<std::string> value;     // none: empty or missing
    std::vector<std::string> origin;      // --show-origin's lines, for stdout
    std::vector<std::string> reports;     // errors the library reported on the way, for stderr
    std::optional<LibraryFailure> raised; // what the library raised instead of answering

    bool operator==(const Answer&) const = default;
};

// Prints the answer and gives get's exit status for it. An empty answer prints nothing, or
// "(empty)" in a watch, where a change to nothing must still be seen.
int printAnswer(const Answer& answer, bool watching);

// Prints read()'s answer, then again each time it differs from the one printed last, reading
// every interval until a stop is asked for; then gives 0.
int watchAnswers(const std::function<Answer()>& read, std::chrono::milliseconds interval);

} // namespace tavlo::cli
