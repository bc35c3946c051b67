// One received block announcing a busy network at once, N "#AA" and N "%" lines (1,000 to
// 50,000 stations), taken through the receive queue, the dispatcher, the station table and
// its list, and drawn in ListBox_ATC: what one 100 ms receive tick must finish. Against
// the floor of the same work without the client: the lines split at ":", the stations
// kept in a hash map, their list lines formatted and put in a list box. Prints the ratio
// of the medians for each size.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "MedianReporter.h"
#include "atc/AtcList.h"
#include "atc/AtcListBox.h"
#include "atc/AtisSelection.h"
#include "atc/Dispatcher.h"
#include "atc/ReceiveQueue.h"
#include "atc/ServerLink.h"
#include "atc/StationTable.h"

namespace tavoro {
namespace {

std::string busyNetworkBlock(int stations) {
    static const char* const kCodes[] = {"TWR", "APP", "CTR", "GND", "DEL", "XXX"};
    std::string block;
    for (int i = 0; i < stations; ++i) {
        block += "#AASTN" + std::to_string(i) + "_TWR\r\n";
    }
    for (int i = 0; i < stations; ++i) {
        block += "%STN" + std::to_string(i) + "_TWR:" + std::to_string(18 + i % 10) +
                 ".250:" + kCodes[i % 6] + ":40:1:" + std::to_string(40 + i % 20) +
                 ".5:" + std::to_string(i % 30 - 15) + ".25:" + std::to_string(i % 5000) + "\r\n";
    }
    return block;
}

// How both sides are measured at each block size.
void BurstSettings(benchmark::internal::Benchmark* benchmark, int stations) {
    benchmark->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Arg(stations)
        ->Repetitions(9)
        ->ReportAggregatesOnly(true);
}

void BM_BusyNetworkBlock(benchmark::State& state) {
    const int kStations = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    const std::filesystem::path path =
        std::filesystem::path(dir.path().toStdString()) / "corvanta.ini";
    std::ofstream(path) << "[connect]\nserveur=Tavoro\n[facility]\nTWR=Tour\nAPP=Approche\n"
                           "CTR=Contrôle\nGND=Sol\nDEL=Prévol\n[ATIS]\naudio=false\n";
    // A configuration file the pilot wrote long ago, as in use: one whose parsed content
    // the reader may keep.
    std::filesystem::last_write_time(
        path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    IniFile ini(path);

    Settings settings;
    AircraftIdentity identity;
    identity.atc_identifier = "ABC12";
    AircraftState aircraft;
    aircraft.latitude = 48.7;
    aircraft.longitude = 2.35;
    ServerLink link(settings, identity, aircraft);
    link.AcceptLogin();
    Dispatcher dispatcher(link, settings, identity);
    const std::string block = busyNetworkBlock(kStations);

    for (auto _ : state) {
        state.PauseTiming();
        {
            StationTable stations(ini, aircraft);
            AtcList list(stations, aircraft);
            AtisSelection selection(stations, list, identity, [](std::string_view) {});
            QListWidget box;
            AtcListBox binder(box, list, selection);
            DispatchTargets targets;
            stations.SetTargets(targets);
            selection.SetTargets(targets);
            dispatcher.SetTargets(targets);
            ReceiveQueue queue;
            state.ResumeTiming();

            if (!queue.Append(block, 0)) {
                state.SkipWithError("the block does not fit in the receive queue");
            }
            // The whole block, however long it takes: the tick's budget is not what is
            // measured here.
            queue.Process(std::chrono::hours(1),
                          [&](const FieldList& fields) { dispatcher.DispatchLine(fields); });
            binder.Flush();

            state.PauseTiming();
            if (box.count() != kStations) {
                state.SkipWithError("the list box does not show every station");
            }
        }
        state.ResumeTiming();
    }
}

// The floor: the same block cut into lines and fields, each station kept by callsign in
// a hash map with its frequency, facility word and distance, its list line formatted, and
// the lines put in a list box at once.
struct FloorStation {
    std::string frequency;
    std::string facility;
    double latitude = 0;
    double longitude = 0;
};

void BM_BusyNetworkFloor(benchmark::State& state) {
    const int kStations = static_cast<int>(state.range(0));
    const std::string block = busyNetworkBlock(kStations);
    const std::unordered_map<std::string, std::string> facilities = {{"TWR", "Tour"},
                                                                     {"APP", "Approche"},
                                                                     {"CTR", "Contrôle"},
                                                                     {"GND", "Sol"},
                                                                     {"DEL", "Prévol"}};
    for (auto _ : state) {
        state.PauseTiming();
        {
            QListWidget box;
            std::unordered_map<std::string, FloorStation> stations;
            state.ResumeTiming();

            std::vector<std::string_view> fields;
            std::string_view rest(block);
            while (!rest.empty()) {
                const std::size_t end = rest.find("\r\n");
                std::string_view line = rest.substr(0, end);
                rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 2);
                fields.clear();
                for (std::size_t start = 0;;) {
                    const std::size_t colon = line.find(':', start);
                    fields.push_back(line.substr(start, colon - start));
                    if (colon == std::string_view::npos) {
                        break;
                    }
                    start = colon + 1;
                }
                if (line.starts_with("#AA")) {
                    stations.try_emplace(std::string(fields[0].substr(3)));
                } else if (line.starts_with("%") && fields.size() >= 7) {
                    FloorStation& station = stations[std::string(fields[0].substr(1))];
                    station.frequency.assign("1").append(fields[1]);
                    const auto facility = facilities.find(std::string(fields[2]));
                    station.facility = facility == facilities.end() ? "error" : facility->second;
                    station.latitude = std::stod(std::string(fields[5]));
                    station.longitude = std::stod(std::string(fields[6]));
                }
            }
            QStringList lines;
            lines.reserve(static_cast<qsizetype>(stations.size()));
            for (const auto& [callsign, station] : stations) {
                const double distance =
                    std::hypot(station.latitude - 48.7, station.longitude - 2.35) * 60;
                lines << QString::fromStdString(callsign + " " + station.frequency + " " +
                                                station.facility + " " +
                                                std::to_string(static_cast<int>(distance)));
            }
            box.addItems(lines);

            state.PauseTiming();
            if (box.count() != kStations) {
                state.SkipWithError("the floor lost stations");
            }
        }
        state.ResumeTiming();
    }
}

}  // namespace
}  // namespace tavoro

int main(int argc, char** argv) {
    // The list box needs a widget application; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // Each size's client run is followed at once by its floor run, so that both meet the
    // heap as the sizes before left it, and a busy spell of the machine falls on both.
    for (const int stations : {1000, 5000, 20000, 50000}) {
        tavoro::BurstSettings(
            benchmark::RegisterBenchmark("BM_BusyNetworkBlock", tavoro::BM_BusyNetworkBlock),
            stations);
        tavoro::BurstSettings(
            benchmark::RegisterBenchmark("BM_BusyNetworkFloor", tavoro::BM_BusyNetworkFloor),
            stations);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    tavoro::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    int compared = 0;
    for (const char* size : {"1000", "5000", "20000", "50000"}) {
        const auto client = reporter.medians.find(std::string("BM_BusyNetworkBlock/") + size);
        const auto floor = reporter.medians.find(std::string("BM_BusyNetworkFloor/") + size);
        if (client != reporter.medians.end() && floor != reporter.medians.end()) {
            std::printf("%s stations: %.1f ms against a floor of %.1f ms, ratio %.2f\n", size,
                        client->second, floor->second, client->second / floor->second);
            ++compared;
        }
    }
    return compared == 0 ? 1 : 0;
}
