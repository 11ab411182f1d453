// The comparisons the benchmark program runs, each a pair of Google Benchmark entries (tavlo's
// and its peer's) and the row of the final table that sets them side by side.
#pragma once

#include <string>
#include <vector>

namespace tavlo::bench {

struct Row {
    std::string label;
    std::string tavlo;       // benchmark name, or "name#counter" for a counter of it
    std::string peer;        // the same; empty: a fixed target, no peer
    std::string peerStartup; // benchmark name of the peer doing nothing, subtracted; may be empty
    std::string counter;     // empty: compare real times; else this counter of both
    std::string target;      // as printed
    double limit = 0;        // the ratio (or, without a peer, the value) the target allows
    double peerValue = 0;    // a fixed peer figure, when peer is empty
};

// Generates what the comparisons need below dataDir (reused when present), registers their
// benchmarks and returns the rows, in table order.
std::vector<Row> registerComparisons(const std::string& dataDir);

// Enumerating merged keys of HKEY_CLASSES_ROOT against enumerating their sides alone.
void registerMergedView(std::vector<Row>& rows);

// The child process that loads a registry file: prints the seconds the load took and the
// growth of the resident set, in bytes, at its peak.
int measureLoad(const char* path);
// The child process that writes 100 MB of memory it has just allocated: prints the seconds.
int measureFreshMemory();

} // namespace tavlo::bench
