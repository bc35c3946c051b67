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

#include "MedianReporter.h"
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

// The file each benchmark decodes, to turn its time per pass into time per observation.
const std::map<std::string, const char*> kFiles = {
    {"BM_DecodePlain", "plain.txt"},
    {"BM_DecodeExtended", "extended.txt"},
};

}  // namespace
}  // namespace tavoro

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    tavoro::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    int shown = 0;
    for (const auto& [name, median] : reporter.medians) {
        const auto file = tavoro::kFiles.find(name);
        const std::size_t count =
            file == tavoro::kFiles.end() ? 0 : tavoro::Observations(file->second).size();
        if (count > 0) {
            // The median is in the benchmarks' unit, microseconds, per pass over the file.
            std::printf("%s: %.3f us per observation (median)\n", name.c_str(),
                        median / static_cast<double>(count));
            ++shown;
        }
    }
    return shown == 0 ? 1 : 0;
}
