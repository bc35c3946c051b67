// The weather decoder over the real observations of tests/data/metar, one after the other
// over one carried record as the client decodes them: the simulator's own (extended) and
// ground stations' (plain) reports. Decoding runs on the user-interface thread whenever an
// observation arrives, so it must cost far less than a frame. Prints microseconds per
// observation for each file at the end.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/IniFile.h"
#include "core/Settings.h"
#include "weather/MetarDecoder.h"

namespace tavoro {
namespace {

const std::filesystem::path kData = TAVORO_METAR_DATA;

std::vector<std::string> Observations(const char* file) {
    std::ifstream in(kData / file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

void DecodeAll(benchmark::State& state, const char* file) {
    const std::vector<std::string> observations = Observations(file);
    if (observations.empty()) {
        state.SkipWithError("no observations: tests/data/metar is missing");
        return;
    }
    IniFile ini(kData / "codes.ini");
    Settings settings;
    CodeTables tables;
    LoadSettings(ini, settings, tables);
    WeatherReport report;
    for (auto _ : state) {
        for (const std::string& observation : observations) {
            DecodeMetar(observation, tables, report);
        }
        benchmark::DoNotOptimize(report);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(observations.size()));
    state.counters["observations"] = static_cast<double>(observations.size());
}

void BM_DecodePlain(benchmark::State& state) {
    DecodeAll(state, "plain.txt");
}
void BM_DecodeExtended(benchmark::State& state) {
    DecodeAll(state, "extended.txt");
}

BENCHMARK(BM_DecodePlain)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_DecodeExtended)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The console report, keeping each benchmark's median time per observation.
class PerObservationReporter : public benchmark::ConsoleReporter {
public:
    PerObservationReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto observations = run.counters.find("observations");
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
                !run.error_occurred && observations != run.counters.end() &&
                observations->second.value > 0) {
                // Adjusted to the benchmark's unit, microseconds, per pass over the file.
                micros[run.run_name.function_name] =
                    run.GetAdjustedRealTime() / observations->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> micros;
};

}  // namespace
}  // namespace tavoro

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    tavoro::PerObservationReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const auto& [name, micros] : reporter.micros) {
        std::printf("%s: %.3f us per observation (median)\n", name.c_str(), micros);
    }
    return reporter.micros.empty() ? 1 : 0;
}
