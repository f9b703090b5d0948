// Paired runs: the console report, and beside it the CPU time per iteration of every run named
// "<prefix>/<side>/pair:<n>", so that each pair's two sides can be compared.
#ifndef KELO_BENCH_NATIVE_PAIRS_H
#define KELO_BENCH_NATIVE_PAIRS_H

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

std::string pairRunName(const std::string& prefix, const std::string& side, int pair);

class PairReporter : public benchmark::ConsoleReporter {
public:
    PairReporter();
    void ReportRuns(const std::vector<Run>& reports) override;

    // The CPU time (microseconds per iteration) of a run that completed; negative when it did not.
    double cpuMicroseconds(const std::string& name) const;

private:
    std::map<std::string, double> times;
};

// The median of a non-empty list.
double median(std::vector<double> values);

} // namespace bench

#endif
