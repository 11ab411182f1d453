// Opening a registry file for the loader. A regular file is kept open, so that a key's value
// lines can be read again by their offset when first needed. A pipe or FIFO can only be read
// once: its bytes are read into memory then, up to a limit, and a writer that sends nothing for
// a while is given up on, so that a FIFO nobody writes to can't hold the caller for ever.
// Anything else (a directory, a device, a socket) is refused without being read. Whatever can't
// be loaded comes back with the reason, in words for a diagnostic.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

namespace tavlo::platform::portable {

// What a pipe may cost the caller.
struct StreamLimits {
    std::size_t maxBytes = std::size_t{256} << 20;
    // The longest wait for the writer to send anything (its first bytes, or each next ones).
    std::chrono::milliseconds idle{10000};
    // The longest the whole read may take, however steadily the writer sends.
    std::chrono::milliseconds total{60000};
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct OpenedFile {
    File file;             // a regular file, open for reading (not inherited by child programs)
    bool streamed = false; // else: bytes holds everything the pipe gave
    std::string bytes;
    std::string problem; // why neither, e.g. "the file can't be opened: no such file"
};

OpenedFile openRegistryFile(const std::string& path, const StreamLimits& limits);

// An errno value in words, for a diagnostic: "no such file", "permission denied"...
std::string reasonOf(int error);

} // namespace tavlo::platform::portable
