#include <gtest/gtest.h>

#include "StationPipeline.h"
#include "atc/AtisRelay.h"
#include "sim/FsuipcClient.h"
#include "support/FakeSimulator.h"

namespace tavoro {
namespace {

using test::StationPipeline;

std::string shownText(test::FakeFsuipcServer& server) {
    std::string text;
    for (std::uint32_t at = 0x3380; server.memory[at] != 0 && at < 0x3380 + 128; ++at) {
        text += static_cast<char>(server.memory[at]);
    }
    return text;
}

// Timer1's relay from the pipeline's selection to the simulator behind `client`.
AtisRelay relayThrough(StationPipeline& pipe, FsuipcClient& client) {
    return AtisRelay(pipe.selection, [&client](std::string_view text) {
        return ShowTextInSimulator(client, text);
    });
}

TEST(AtisRelayTest, OneLineLeavesPerTickInArrivalOrder) {
    test::FakeFsuipcServer server;
    FsuipcClient client(server);
    ASSERT_TRUE(client.Open(0));
    StationPipeline pipe;
    AtisRelay relay = relayThrough(pipe, client);
    pipe.Receive({"#AALFPG_TWR"});
    // Nothing selected: nothing to relay.
    const int sends = server.sends;
    EXPECT_EQ(relay.RelayAtisLine(), std::nullopt);
    EXPECT_EQ(server.sends, sends);

    pipe.selection.SelectStation(0);
    pipe.Receive({"#TMLFPG_TWR:ABC12:one", "#TMLFPG_TWR:ABC12:two", "#TMLFPG_TWR:ABC12:three"});
    // All three show in the window at once.
    EXPECT_EQ(pipe.list.line_count(), 4u);

    for (const char* expected : {"one", "two", "three"}) {
        EXPECT_EQ(relay.RelayAtisLine(), std::nullopt);
        EXPECT_EQ(shownText(server), expected);
    }
    const int after = server.sends;
    EXPECT_EQ(relay.RelayAtisLine(), std::nullopt);
    EXPECT_EQ(server.sends, after);
}

TEST(AtisRelayTest, AFailureIsReportedAndTheLineLeavesAnyway) {
    test::FakeFsuipcServer server;
    FsuipcClient client(server);  // never opened
    StationPipeline pipe;
    AtisRelay relay = relayThrough(pipe, client);
    pipe.Receive({"#AALFPG_TWR"});
    pipe.selection.SelectStation(0);
    pipe.Receive({"#TMLFPG_TWR:ABC12:one"});

    EXPECT_EQ(relay.RelayAtisLine(),
              std::optional<std::string>("Reading: Call cannot execute, link not Open"));
    EXPECT_TRUE(pipe.selection.atis_lines().empty());
}

}  // namespace
}  // namespace tavoro
