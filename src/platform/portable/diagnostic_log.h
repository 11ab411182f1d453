// The problems met in the files a registry was loaded from. Keys' lines are read whenever a key
// is first asked about, from any thread, so problems arrive in no useful order; they're handed
// out by file (in the order each file's first problem was met), then by line.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tavlo::platform::portable {

struct Diagnostic {
    std::string file;     // as the caller named it
    std::size_t line = 0; // 1-based; 0 for the file as a whole
    std::string message;  // plain English, no trailing full stop
};

class DiagnosticLog {
public:
    void report(Diagnostic diagnostic);
    // Beyond 100 a file's problems are only counted, and a last line for the file says how
    // many more there were.
    std::vector<Diagnostic> list() const;

private:
    // The file's place in counts_; counts_.size() for a file not met yet.
    std::ptrdiff_t place(const std::string& file) const;

    mutable std::mutex mutex_;
    std::vector<Diagnostic> shown_;
    std::vector<std::pair<std::string, std::size_t>> counts_; // problems met, by file
};

} // namespace tavlo::platform::portable
