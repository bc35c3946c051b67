// The received-line path on any bytes a server may send: the receive queue cuts them into
// lines, the dispatcher hands each to the station table, the list, the ATIS selection and
// the AI objects, and the list is drawn.
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "atc/AtcList.h"
#include "atc/AtisSelection.h"
#include "atc/Dispatcher.h"
#include "atc/LoginState.h"
#include "atc/ReceiveQueue.h"
#include "atc/StationTable.h"
#include "core/IniFile.h"
#include "core/Settings.h"
#include "sim/AiObjects.h"
#include "sim/SimCommands.h"
#include "support/FakeSimulator.h"

namespace {

using namespace tavoro;

// Logged in from the start, so every line reaches its handler; a refusal logs out and a
// welcome logs in again, as on a real link.
class FuzzLogin : public LoginState {
public:
    bool socket_connected() const override { return true; }
    bool logged_in() const override { return logged_in_; }
    void AcceptLogin() override { logged_in_ = true; }
    void RefuseLogin(const std::string&) override { logged_in_ = false; }

private:
    bool logged_in_ = true;
};

// Written once: a file unchanged since long before the run is parsed once.
const std::filesystem::path& configFile() {
    static const std::filesystem::path path = [] {
        const std::filesystem::path made =
            std::filesystem::temp_directory_path() /
            ("tavoro-fuzz-lines-" + std::to_string(::getpid()) + ".ini");
        std::ofstream(made) << "[facility]\nTWR=Tour\nAPP=Approche\nCTR=Contrôle\n";
        std::filesystem::last_write_time(
            made, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
        return made;
    }();
    return path;
}

struct Pipeline {
    IniFile ini{configFile()};
    Settings settings;
    AircraftIdentity identity;
    AircraftState aircraft;
    FailureState failures{};
    FuzzLogin login;
    Dispatcher dispatcher{login, settings, identity};
    StationTable table{ini, aircraft};
    AtcList list{table, aircraft};
    AtisSelection selection{table, list, identity, [](std::string_view) {}};
    test::FakeSimConnect library;
    SimConnectClient simconnect{library};
    SimCommands commands{simconnect, aircraft, failures, [](const std::string&) {}};
    AiObjects objects{simconnect, aircraft, [](const std::string&) {}};
    ReceiveQueue queue;

    Pipeline() {
        identity.atc_identifier = "ABC12";
        settings.atis_audio = true;
        DispatchTargets targets;
        table.SetTargets(targets);
        selection.SetTargets(targets);
        targets.zulu = [this](const std::string& h, const std::string& m) {
            commands.ZuluCommand(h, m);
        };
        targets.failure = [this](const std::string& n) { commands.FailureCommand(n); };
        targets.ai_create = [this](const FieldList& f) { objects.Create(f); };
        targets.ai_remove = [this](const FieldList& f) { objects.Remove(f); };
        targets.ai_route = [this](const FieldList& f) { objects.Route(f); };
        targets.ai_start = [this](const FieldList& f) { objects.Start(f); };
        dispatcher.SetTargets(std::move(targets));
        simconnect.Open("MYAPP");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A pipeline of its own for each input, so that what one input left does not make
    // every later one slower.
    auto pipe = std::make_unique<Pipeline>();
    // The first byte picks where the stream is cut into blocks, so lines split across
    // reads are covered too.
    std::size_t cut = size > 0 ? data[0] % (size + 1) : 0;
    const char* text = reinterpret_cast<const char*>(data);
    (void)pipe->queue.Append(std::string_view(text, cut), 1);
    (void)pipe->queue.Append(std::string_view(text + cut, size - cut), 1);
    // One tick with all the time it needs: every complete line is handled.
    pipe->queue.Process(std::chrono::hours(1), [&pipe](const FieldList& fields) {
        pipe->dispatcher.DispatchLine(fields);
    });
    // Select a station now and then, as the pilot would, and draw the list.
    if (size > 1 && data[1] % 4 == 0) {
        pipe->selection.SelectStation(static_cast<int>(data[1] % 8) - 1);
    }
    for (std::size_t i = 0; i < pipe->list.line_count(); ++i) {
        pipe->list.line(i);
    }
    pipe->selection.TakeRelayLine();
    pipe->objects.AfterDispatch();
    return 0;
}
