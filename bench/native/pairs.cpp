#include "pairs.h"

#include <algorithm>

namespace bench {

std::string pairRunName(const std::string& prefix, const std::string& side, int pair) {
    return prefix + "/" + side + "/pair:" + std::to_string(pair);
}

// Plain text: the report goes through a pipe to the run script.
PairReporter::PairReporter() : benchmark::ConsoleReporter(OO_None) {}

void PairReporter::ReportRuns(const std::vector<Run>& reports) {
    for (const Run& run : reports)
        if (run.run_type == Run::RT_Iteration && !run.error_occurred && run.iterations > 0)
            times[run.benchmark_name()] =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e6;
    ConsoleReporter::ReportRuns(reports);
}

double PairReporter::cpuMicroseconds(const std::string& name) const {
    const auto found = times.find(name);
    return found == times.end() ? -1.0 : found->second;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace bench
