#include <gtest/gtest.h>

#include "StationPipeline.h"
#include "atc/AtisSelection.h"
#include "support/AtcServerProcess.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using test::PositionLine;
using test::StationPipeline;

// ---------------------------------------------------------------------------------------
// Clicks and the selected station's texts

TEST(StationClickTest, AsksTheClickedStationForItsAtisAndShowsItsHeader) {
    StationPipeline pipe;
    pipe.Receive({"#AAA_TWR", PositionLine("B_APP", "19.45", "APP", "0", "0")});
    ASSERT_EQ(pipe.table.station_order(), (std::vector<std::size_t>{0, 1}));

    pipe.selection.SelectStation(1);
    EXPECT_EQ(pipe.selection.selected_station(), std::optional<std::size_t>(1));
    EXPECT_EQ(pipe.sent, std::vector<std::string>{"$CQABC12:B_APP:ATIS\r\n"});
    EXPECT_FALSE(pipe.list.list_mode());
    EXPECT_EQ(pipe.Shown(), std::vector<std::string>{"B_APP      119.45    ATIS:"});

    // Further clicks do nothing until the list is rebuilt.
    pipe.selection.SelectStation(0);
    EXPECT_EQ(pipe.sent.size(), 1u);
    EXPECT_EQ(pipe.selection.selected_station(), std::optional<std::size_t>(1));
}

TEST(StationClickTest, ClicksOffTheStationLinesDoNothing) {
    StationPipeline pipe;
    // Nothing listed yet: the box does not show the station list.
    pipe.selection.SelectStation(0);
    EXPECT_TRUE(pipe.sent.empty());

    pipe.Receive({"#AAA_TWR", "#AAB_TWR"});
    pipe.selection.SelectStation(0);
    pipe.Receive({"#TMA_TWR:ABC12:first text"});
    // A rebuild brings the list back; the selected station's texts show below it.
    pipe.Receive({"#AAC_TWR", "#TMA_TWR:ABC12:second text"});
    ASSERT_EQ(pipe.list.line_count(), 4u);
    EXPECT_EQ(pipe.list.line(3), "second text");
    pipe.sent.clear();

    for (int row : {-1, 3, 4}) {
        pipe.selection.SelectStation(row);
        EXPECT_TRUE(pipe.sent.empty()) << row;
        EXPECT_TRUE(pipe.list.list_mode()) << row;
        EXPECT_EQ(pipe.selection.selected_station(), std::optional<std::size_t>(0)) << row;
    }
}

// Texts still waiting at a click are dropped, whether the click chooses the same station
// again or another: none of them answers the new request.
TEST(StationClickTest, AClickEmptiesTheUnrelayedTexts) {
    for (int row : {0, 1}) {
        SCOPED_TRACE("row " + std::to_string(row));
        StationPipeline pipe;
        pipe.Receive({"#AAA_TWR", "#AAB_TWR"});
        pipe.selection.SelectStation(0);
        pipe.Receive({"#TMA_TWR:ABC12:one", "#TMA_TWR:ABC12:two"});
        EXPECT_EQ(pipe.selection.atis_lines(), (std::vector<std::string>{"one", "two"}));

        pipe.list.RefreshAtcList();
        pipe.selection.SelectStation(row);
        EXPECT_TRUE(pipe.selection.atis_lines().empty());
        EXPECT_EQ(pipe.selection.TakeRelayLine(), std::nullopt);
    }
}

TEST(StationClickTest, TheAtisRequestReachesTheServer) {
    test::AtcServerProcess server;
    ASSERT_TRUE(server.started());
    StationPipeline pipe;
    pipe.settings.server_address = "127.0.0.1";
    pipe.settings.server_port = std::to_string(server.port());
    pipe.link.ConnectToServer();
    ASSERT_TRUE(test::WaitUntil([&] { return pipe.link.socket_connected(); }));

    pipe.Receive({"#AALFPG_TWR"});
    pipe.selection.SelectStation(0);
    EXPECT_TRUE(server.WaitForReceived("$CQABC12:LFPG_TWR:ATIS"));
    pipe.link.DisconnectFromServer();
}

TEST(SelectedStationTextTest, TextsOfOtherStationsOrWithoutSelectionAreIgnored) {
    StationPipeline pipe;
    pipe.Receive({"#AAA_TWR", "#AAB_TWR", "#TMA_TWR:ABC12:before any choice"});
    EXPECT_EQ(pipe.list.line_count(), 2u);
    EXPECT_FALSE(pipe.selection.selected_station());

    pipe.selection.SelectStation(0);
    pipe.Receive({"#TMB_TWR:ABC12:not ours", "#TMA_TWR:ABC12:ours"});
    EXPECT_EQ(pipe.Shown(),
              (std::vector<std::string>{"A_TWR" + std::string(10, ' ') + "ATIS:", "ours"}));
    EXPECT_EQ(pipe.selection.atis_lines(), std::vector<std::string>{"ours"});
}

}  // namespace
}  // namespace tavoro
