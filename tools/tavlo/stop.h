// Stopping a command that runs until it is told to: the interrupt key, or on Linux SIGINT and
// SIGTERM, or on Windows Ctrl+C, Ctrl+Break and the console being closed, end it with status 0
// instead of killing it, so that what it printed is whole.
#pragma once

#include <chrono>

namespace tavlo::cli {

// From now on a stop request is kept for stopRequested() instead of ending the process.
void catchStopRequests();
bool stopRequested();
// Waits for the time given, or less when a stop is asked for meanwhile.
void pauseUnlessStopped(std::chrono::milliseconds time);

} // namespace tavlo::cli
