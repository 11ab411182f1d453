// What the tool does with an exception the library lets pass. The library hands its
// exceptions on to the host (TAVLO_AppKey_Error from discovery, std::bad_alloc from anything
// that allocates); the tool is such a host, and never ends with an uncaught exception.
#pragma once

#include "cli.h"

#include "tavlo/tavlo.hpp"

#include <cstdint>
#include <string>

namespace tavlo::cli {

// Exit status of a command the library failed with an error it raised (a command's usual
// statuses are 0, 1 and 2).
inline constexpr int kLibraryError = 3;

// A raised error with its texts copied: a TAVLO_Exception points into the library state that
// raised it, and the tool runs the library in states of its own that end while the exception
// unwinds past them.
struct LibraryFailure {
    std::string kind; // "TAVLO_AppKey_Error", ...
    std::uint32_t messageId = 0;
    std::u16string operation, argument;

    bool operator==(const LibraryFailure&) const = default;

    static LibraryFailure of(const char* kind, const TAVLO_Exception& error) {
        return {kind, error.messageId, error.operation ? error.operation : u"",
                error.argument ? error.argument : u""};
    }
};

// Runs fn, turning a raised TAVLO_Exception of any kind into a LibraryFailure. Used inside
// every scope that holds a library state of the tool's own.
template <typename Fn> decltype(auto) copyingFailures(Fn&& fn) {
    try {
        return fn();
    } catch (const TAVLO_AppKey_Error& error) {
        throw LibraryFailure::of("TAVLO_AppKey_Error", error);
    } catch (const TAVLO_Key_Error& error) {
        throw LibraryFailure::of("TAVLO_Key_Error", error);
    } catch (const TAVLO_Entry_Error& error) {
        throw LibraryFailure::of("TAVLO_Entry_Error", error);
    } catch (const TAVLO_Exception& error) {
        throw LibraryFailure::of("TAVLO_Exception", error);
    }
}

// Tells on standard error what a command failed with: the kind of error, the operation, the
// message text the resource module holds for its id with the argument put in, and the
// argument itself. Returns kLibraryError.
int reportFailure(const std::string& command, const LibraryFailure& failure);

// Runs a command, catching whatever the library lets pass (its errors, std::bad_alloc, any
// other exception); what was caught is reported and gives kLibraryError.
int runGuarded(const std::string& command, int (*run)(const Invocation&), const Invocation& call);

} // namespace tavlo::cli
