#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace tavoro {

// The console report, keeping each benchmark's median to compare them at the end.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    // Plain text: the report is mostly read from a log.
    MedianReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
                !run.error_occurred) {
                // "BM_Name", or "BM_Name/1000" for one of its arguments.
                const std::string& args = run.run_name.args;
                medians[run.run_name.function_name + (args.empty() ? "" : "/" + args)] =
                    run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> medians;
};

}  // namespace tavoro
