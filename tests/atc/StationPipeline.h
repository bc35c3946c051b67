#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "atc/AtcList.h"
#include "atc/AtisSelection.h"
#include "atc/Dispatcher.h"
#include "atc/ReceiveQueue.h"
#include "atc/ServerLink.h"
#include "atc/StationTable.h"
#include "core/IniFile.h"
#include "core/Settings.h"
#include "support/TempConfig.h"

namespace tavoro::test {

inline constexpr const char* kFacilities =
    "[facility]\nTWR=Tour\nAPP=Approche\nCTR=Contrôle\nFSS=Information de vol\n";

// The client's path for received lines, from one received block to the station table:
// receive queue, dispatcher (logged in), table, the list that shows it and the ATIS
// selection, with the configuration in a file of its own. Lines the selection sends are
// recorded and handed to the link, which drops them unless it was connected.
struct StationPipeline {
    explicit StationPipeline(const std::string& ini_text = kFacilities)
        : ini(written(config, ini_text)),
          link(settings, identity, aircraft),
          dispatcher(link, settings, identity),
          table(ini, aircraft),
          list(table, aircraft),
          selection(table, list, identity, [this](std::string_view line) {
              sent.emplace_back(line);
              link.SendLine(line);
          }) {
        identity.atc_identifier = "ABC12";
        table.SetTargets(targets);
        selection.SetTargets(targets);
        dispatcher.SetTargets(targets);
        link.AcceptLogin();
    }

    // Lines received in one block and handled in one receive tick.
    void Receive(const std::vector<std::string>& lines) {
        std::string block;
        for (const std::string& line : lines) {
            block += line + "\r\n";
        }
        EXPECT_TRUE(queue.Append(block, 0));
        // A budget no test spends: the whole block is handled at once.
        queue.Process(std::chrono::hours(1),
                      [this](const FieldList& fields) { dispatcher.DispatchLine(fields); });
        // As the program does at the end of each receive tick.
        table.ForgetFacilityTexts();
    }

    // Re-points the dispatcher after a test added targets of its own.
    void UpdateTargets() { dispatcher.SetTargets(targets); }

    // What the list says the list box shows.
    std::vector<std::string> Shown() const {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < list.line_count(); ++i) {
            lines.push_back(list.line(i));
        }
        return lines;
    }

    static std::filesystem::path written(const TempConfig& config, const std::string& text) {
        config.Write(text);
        return config.path();
    }

    TempConfig config;
    IniFile ini;
    Settings settings;
    AircraftIdentity identity;
    AircraftState aircraft;
    ServerLink link;
    Dispatcher dispatcher;
    std::vector<std::string> sent;
    StationTable table;
    AtcList list;
    AtisSelection selection;
    DispatchTargets targets;
    ReceiveQueue queue;
};

// A "%" line: frequency without its leading "1", facility code, range, rating,
// latitude, longitude, altitude.
inline std::string PositionLine(const std::string& callsign, const std::string& frequency,
                                const std::string& facility, const std::string& latitude,
                                const std::string& longitude, const std::string& range = "20",
                                const std::string& altitude = "0") {
    return "%" + callsign + ":" + frequency + ":" + facility + ":" + range + ":1:" + latitude +
           ":" + longitude + ":" + altitude;
}

}  // namespace tavoro::test
