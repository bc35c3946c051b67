// A network announcing 100,000 stations and removing them all, "#AA" then "#DA" lines,
// through the receive queue, the dispatcher, the station table and its list, against the
// same announcements alone. The removals should cost about what the announcements do,
// whatever the number of stations: the ratio printed at the end stays near 2.

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "MedianReporter.h"
#include "atc/AtcList.h"
#include "atc/Dispatcher.h"
#include "atc/ReceiveQueue.h"
#include "atc/StationTable.h"

namespace tavoro {
namespace {

constexpr int kStations = 100'000;

std::string lines(const char* type) {
    std::string text;
    for (int i = 0; i < kStations; ++i) {
        text += std::string(type) + "STN" + std::to_string(i) + "_TWR\r\n";
    }
    return text;
}

// A login that is up: every line goes to the logged-in handlers.
class LoggedIn : public LoginState {
public:
    bool socket_connected() const override { return true; }
    bool logged_in() const override { return true; }
    void AcceptLogin() override {}
    void RefuseLogin(const std::string&) override {}
};

// The receiving side of a logged-in client, with the list following the table.
class Receiver {
public:
    Receiver() : dispatcher_(login_, settings_, identity_) {
        std::ofstream(path()) << "[facility]\nTWR=Tour\n";
        ini_.emplace(path());
        identity_.atc_identifier = "ABC12";
    }

    // Receives the two texts, each handled at once as it arrives, in a table of its own;
    // returns how many stations stay listed.
    std::size_t Run(const std::string& announced, const std::string& removed) {
        StationTable table(*ini_, aircraft_);
        AtcList list(table, aircraft_);
        DispatchTargets targets;
        table.SetTargets(targets);
        dispatcher_.SetTargets(targets);
        ReceiveQueue queue;
        for (const std::string* data : {&announced, &removed}) {
            if (!data->empty() && !queue.Append(*data, 0)) {
                return static_cast<std::size_t>(-1);
            }
            queue.Process(std::chrono::hours(1),
                          [&](const FieldList& fields) { dispatcher_.DispatchLine(fields); });
        }
        return table.station_order().size();
    }

private:
    std::filesystem::path path() const {
        return std::filesystem::path(dir_.path().toStdString()) / "corvanta.ini";
    }

    QTemporaryDir dir_;
    std::optional<IniFile> ini_;
    Settings settings_;
    AircraftIdentity identity_;
    AircraftState aircraft_;
    LoggedIn login_;
    Dispatcher dispatcher_;
};

void BM_AnnounceOnly(benchmark::State& state) {
    Receiver receiver;
    const std::string announced = lines("#AA");
    for (auto _ : state) {
        if (receiver.Run(announced, "") != kStations) {
            state.SkipWithError("not every station was listed");
        }
    }
}

void BM_AnnounceThenRemove(benchmark::State& state) {
    Receiver receiver;
    const std::string announced = lines("#AA");
    const std::string removed = lines("#DA");
    for (auto _ : state) {
        if (receiver.Run(announced, removed) != 0) {
            state.SkipWithError("stations are left after their removal");
        }
    }
}

BENCHMARK(BM_AnnounceOnly)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_AnnounceThenRemove)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

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

    const auto floor = reporter.medians.find("BM_AnnounceOnly");
    const auto removal = reporter.medians.find("BM_AnnounceThenRemove");
    if (floor == reporter.medians.end() || removal == reporter.medians.end() ||
        floor->second <= 0) {
        std::fprintf(stderr, "both benchmarks must run to compare them\n");
        return 1;
    }
    std::printf(
        "announcing and removing %d stations takes %.2f times announcing them alone "
        "(about 2 when a removal costs what an announcement does)\n",
        tavoro::kStations, removal->second / floor->second);
    return 0;
}
