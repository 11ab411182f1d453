#include "platform/portable/diagnostic_log.h"

#include <algorithm>

namespace tavlo::platform::portable {

namespace {
// A file of garbage must not turn into millions of diagnostics.
constexpr std::size_t kShownPerFile = 100;
} // namespace

std::ptrdiff_t DiagnosticLog::place(const std::string& file) const {
    return std::find_if(counts_.begin(), counts_.end(),
                        [&](const auto& entry) { return entry.first == file; }) -
           counts_.begin();
}

void DiagnosticLog::report(Diagnostic diagnostic) {
    std::lock_guard lock(mutex_);
    auto count = counts_.begin() + place(diagnostic.file);
    if (count == counts_.end())
        count = counts_.insert(count, {diagnostic.file, 0});
    if (++count->second <= kShownPerFile)
        shown_.push_back(std::move(diagnostic));
}

std::vector<Diagnostic> DiagnosticLog::list() const {
    std::lock_guard lock(mutex_);
    std::vector<Diagnostic> out = shown_;
    // Within a file the order met says nothing: a key's lines are read when it is first asked
    // about.
    auto rank = [&](const std::string& file) { return place(file); };
    std::stable_sort(out.begin(), out.end(), [&](const Diagnostic& a, const Diagnostic& b) {
        const auto ra = rank(a.file), rb = rank(b.file);
        return ra != rb ? ra < rb : a.line < b.line;
    });
    for (const auto& [file, count] : counts_)
        if (count > kShownPerFile)
            out.push_back(
                {file, 0, std::to_string(count - kShownPerFile) + " more problems not listed"});
    return out;
}

} // namespace tavlo::platform::portable
