// One received block announcing a busy network at once, 5,000 "#AA" and 5,000 "%" lines,
// taken through the receive queue, the dispatcher, the station table and its list, and
// drawn in ListBox_ATC: what one 100 ms receive tick must finish.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "atc/AtcList.h"
#include "atc/AtcListBox.h"
#include "atc/AtisSelection.h"
#include "atc/Dispatcher.h"
#include "atc/ReceiveQueue.h"
#include "atc/ServerLink.h"
#include "atc/StationTable.h"

namespace tavoro {
namespace {

constexpr int kStations = 5000;

std::string busyNetworkBlock() {
    static const char* const kCodes[] = {"TWR", "APP", "CTR", "GND", "DEL", "XXX"};
    std::string block;
    for (int i = 0; i < kStations; ++i) {
        block += "#AASTN" + std::to_string(i) + "_TWR\r\n";
    }
    for (int i = 0; i < kStations; ++i) {
        block += "%STN" + std::to_string(i) + "_TWR:" + std::to_string(18 + i % 10) +
                 ".250:" + kCodes[i % 6] + ":40:1:" + std::to_string(40 + i % 20) +
                 ".5:" + std::to_string(i % 30 - 15) + ".25:" + std::to_string(i % 5000) + "\r\n";
    }
    return block;
}

void BM_BusyNetworkBlock(benchmark::State& state) {
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
    const std::string block = busyNetworkBlock();

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
BENCHMARK(BM_BusyNetworkBlock)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace tavoro

int main(int argc, char** argv) {
    // The list box needs a widget application; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
