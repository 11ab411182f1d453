#include "watch.h"

#include "cli.h"

#include "platform/host.h"

#include <cstdio>

namespace tavlo::cli {

int printAnswer(const Answer& answer, bool watching) {
    if (answer.raised)
        return reportFailure("get", *answer.raised);
    if (answer.value)
        out(*answer.value);
    else if (watching)
        out("(empty)");
    for (const auto& line : answer.origin)
        out(line);
    for (const auto& report : answer.reports)
        err("    reported: " + report);
    return answer.value ? kFound : kNotFound;
}

// The registry is polled: the library tells no one of a change, and the tool sees the registry
// only through it. On Windows a change notification would have to be asked for on the keys the
// answer depends on, and which those are (the app key's, the profile's, a section's, a default's
// folder) only the library knows, differently for each setting and host.
int watchAnswers(const std::function<Answer()>& read, std::chrono::milliseconds interval) {
    platform::catchStopRequests();
    std::optional<Answer> shown;
    while (!platform::stopRequested()) {
        Answer now = read();
        if (!shown || now != *shown) {
            printAnswer(now, true);
            // Whoever follows the watch reads a pipe or a file, where nothing would come out
            // until the buffer fills.
            std::fflush(stdout);
            std::fflush(stderr);
            shown = std::move(now);
        }
        platform::pauseUnlessStopped(interval);
    }
    return kFound;
}

} // namespace tavlo::cli
