#include "failure.h"

#include "frame/app.h"
#include "frame/errors.h"
#include "platform/services.h"
#include "platform/utf.h"

#include <exception>
#include <new>

namespace tavlo::cli {

namespace {

using platform::toUtf8;

// The message the library would have shown for the error, read afresh from the resource
// module: whatever state raised it is gone by now.
std::string messageText(const LibraryFailure& failure) {
    platform::ModuleService& modules = *platform::defaultServices().modules;
    platform::ModuleHandle res = modules.loadResources(frame::kResourceModuleName);
    std::u16string text = res ? modules.loadString(res, failure.messageId) : std::u16string();
    if (res)
        modules.free(res);
    text = frame::messageText(*platform::defaultServices().text, std::move(text),
                              failure.argument.c_str());
    // One line: the message's own line breaks, and the blank lines between its paragraphs,
    // become one blank.
    std::string line;
    for (const char c : toUtf8(text)) {
        const bool blank = c == '\r' || c == '\n' || c == ' ';
        if (!blank)
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line.empty() ? "(no text for message " + std::to_string(failure.messageId) + ")" : line;
}

int failed(const std::string& command, const std::string& what) {
    err("tavlo " + command + ": " + what);
    return kLibraryError;
}

} // namespace

int reportFailure(const std::string& command, const LibraryFailure& failure) {
    std::string what = "the library raised " + failure.kind + " in " +
                       (failure.operation.empty() ? "an operation" : toUtf8(failure.operation)) +
                       " (message " + std::to_string(failure.messageId) +
                       "): " + messageText(failure);
    if (!failure.argument.empty())
        what += " [argument: " + toUtf8(failure.argument) + "]";
    return failed(command, what);
}

int runGuarded(const std::string& command, int (*run)(const Invocation&), const Invocation& call) {
    try {
        return copyingFailures([&] { return run(call); });
    } catch (const LibraryFailure& failure) {
        return reportFailure(command, failure);
    } catch (const std::bad_alloc&) {
        return failed(command, "out of memory");
    } catch (const std::exception& error) {
        return failed(command, std::string("failed: ") + error.what());
    } catch (...) {
        return failed(command, "failed with an exception of an unknown kind");
    }
}

} // namespace tavlo::cli
