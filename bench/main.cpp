// tavlo's speed against its peers. Runs every comparison with repetitions (random interleaving
// keeps a busy machine's drift from favouring either side) and prints one table of medians.
// Exits non-zero only when something couldn't be run; a missed target is shown, not failed.
#include "comparisons.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <map>

namespace {

using tavlo::bench::Row;

double seconds(const benchmark::BenchmarkReporter::Run& run) {
    double scale = 1e-9;
    switch (run.time_unit) {
    case benchmark::kMicrosecond:
        scale = 1e-6;
        break;
    case benchmark::kMillisecond:
        scale = 1e-3;
        break;
    case benchmark::kSecond:
        scale = 1;
        break;
    default:
        break;
    }
    return run.GetAdjustedRealTime() * scale;
}

// Keeps each benchmark's median (or its single run, without repetitions) and shows progress.
class MedianReporter : public benchmark::BenchmarkReporter {
public:
    struct Result {
        double seconds = 0;
        std::map<std::string, double> counters;
    };

    bool ReportContext(const Context&) override { return true; }

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name;
            if (run.error_occurred) {
                std::fprintf(stderr, "%s: %s\n", name.c_str(), run.error_message.c_str());
                failed = true;
                continue;
            }
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!median && (run.run_type == Run::RT_Aggregate || run.repetitions > 1))
                continue;
            Result& result = results[name];
            result.seconds = seconds(run);
            for (const auto& [counter, value] : run.counters)
                result.counters[counter] = value.value;
            std::fprintf(stderr, "  %-44s %12.6f s\n", name.c_str(), result.seconds);
        }
    }

    std::map<std::string, Result> results;
    bool failed = false;
};

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, value >= 100 ? "%.0f" : value >= 10 ? "%.1f" : "%.2f", value);
    return text;
}

// Times in the unit that suits the row; memory in MB.
std::string shown(double value, bool memory, double scale) {
    if (memory)
        return number(value / 1e6) + " MB";
    if (scale >= 1e3)
        return number(value * 1e3) + " ms";
    return number(value * 1e6) + " µs";
}

bool printTable(const std::vector<Row>& rows, const MedianReporter& reporter) {
    bool complete = true;
    // "name#counter" names a counter of a benchmark that measures two things.
    auto value = [&](std::string name, std::string counter, double& out) {
        if (const std::size_t hash = name.find('#'); hash != std::string::npos) {
            counter = name.substr(hash + 1);
            name.resize(hash);
        }
        const auto it = reporter.results.find(name);
        if (it == reporter.results.end())
            return false;
        if (counter.empty()) {
            out = it->second.seconds;
            return true;
        }
        const auto c = it->second.counters.find(counter);
        if (c == it->second.counters.end())
            return false;
        out = c->second;
        return true;
    };
    std::cout << "| comparison | tavlo | peer | ratio | target |\n|---|---|---|---|---|\n";
    for (const Row& row : rows) {
        double ours = 0, peer = row.peerValue, startup = 0;
        if (!value(row.tavlo, row.counter, ours) ||
            (!row.peer.empty() && !value(row.peer, row.counter, peer)) ||
            (!row.peerStartup.empty() && !value(row.peerStartup, row.counter, startup))) {
            // Left out by a benchmark filter, or failed: reported above.
            complete = false;
            continue;
        }
        const bool memory = !row.counter.empty();
        const double scale = std::max(ours, peer) >= 1e-3 ? 1e3 : 1;
        peer = std::max(peer - startup, 0.0);
        std::string ratio = "-", peerText = "-";
        double measure = ours;
        if (!row.peer.empty() || row.peerValue > 0) {
            peerText = shown(peer, memory, scale);
            measure = peer > 0 ? ours / peer : INFINITY;
            ratio = number(measure);
        }
        const char* mark = measure <= row.limit ? "" : " (missed)";
        std::cout << "| " << row.label << " | " << shown(ours, memory, scale) << " | " << peerText
                  << " | " << ratio << " | " << row.target << mark << " |\n";
    }
    return complete;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--load") == 0)
        return tavlo::bench::measureLoad(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "--touch") == 0)
        return tavlo::bench::measureFreshMemory();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    try {
        const char* dataDir = std::getenv("TAVLO_BENCH_DATA");
        const std::vector<Row> rows =
            tavlo::bench::registerComparisons(dataDir && *dataDir ? dataDir : "bench-data");
        MedianReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        benchmark::Shutdown();
        printTable(rows, reporter);
        return reporter.failed ? 1 : 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tavlo_bench: %s\n", error.what());
        return 1;
    }
}
