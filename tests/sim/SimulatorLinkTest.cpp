#include <gtest/gtest.h>

#include <QSignalSpy>
#include <cmath>
#include <cstring>

#include "platform/SimConnectMessages.h"
#include "sim/SimulatorLink.h"
#include "support/FakeSimulator.h"
#include "support/ManualTimers.h"

namespace tavoro {
namespace {

using test::FakeFsuipcServer;
using test::FakeSimConnect;

// The link against an in-memory simulator: the ready wait and polling steps are run by
// hand, one tick at a time.
class SimulatorLinkTest : public ::testing::Test {
protected:
    SimulatorLinkTest() {
        link.SetMessageActions(actions);
        // The relay of texts to the simulator runs while polling runs.
        QObject::connect(&link, &SimulatorLink::pollingStarted, [this] { relay_running = true; });
        QObject::connect(&link, &SimulatorLink::pollingStopped, [this] { relay_running = false; });
        QObject::connect(&link, &SimulatorLink::statusMessage,
                         [this](int panel, const QString& text) { status[panel] = text; });
        setReady(true);
    }

    void setReady(bool ready) {
        const std::uint8_t flag = ready ? 0 : 1;
        server.Poke(0x3364, &flag, 1);
    }
    void pokeText(std::uint32_t offset, const char* text, std::size_t field) {
        std::vector<char> bytes(field, 0);
        std::memcpy(bytes.data(), text, std::min(field, std::strlen(text)));
        server.Poke(offset, bytes.data(), field);
    }
    template <typename T>
    void poke(std::uint32_t offset, T value) {
        server.Poke(offset, &value, sizeof value);
    }
    // Opens the link and lets the ready wait find the simulator ready.
    void openAndPoll() {
        link.OpenSimulatorLink();
        ASSERT_TRUE(link.sim_link_up());
        // The ready wait's own timer finds the simulator ready.
        ASSERT_TRUE(timer3.Fire());
        ASSERT_TRUE(timer2.IsActive());
    }

    FakeFsuipcServer server;
    FakeSimConnect library;
    FsuipcClient fsuipc{server};
    SimConnectClient simconnect{library};
    AircraftState state;
    AircraftIdentity identity;
    FailureState failures{};
    SimMessageActions actions;
    test::ManualTimers timers;
    SimulatorLink link{fsuipc, simconnect, state, identity, failures, timers};
    test::ManualTimers::ManualTimer& timer2 = *timers["Timer2"];
    test::ManualTimers::ManualTimer& timer3 = *timers["Timer3"];
    bool relay_running = false;
    QString status[2];
};

TEST_F(SimulatorLinkTest, WithoutTheSimulatorTheLinkStaysDownAndSimConnectIsNotTried) {
    server.window = FakeFsuipcServer::ServerWindow::None;
    QSignalSpy panel(&link, &SimulatorLink::panelChanged);
    link.OpenSimulatorLink();
    EXPECT_FALSE(link.sim_link_up());
    EXPECT_EQ(link.panelColour(), kRed);
    EXPECT_EQ(link.panelBevel(), Bevel::Raised);
    EXPECT_EQ(panel.count(), 1);
    EXPECT_EQ(status[0], "Cannot link to FSUIPC or WideClient");
    EXPECT_TRUE(library.calls.empty());
    EXPECT_FALSE(timer3.IsActive());
}

TEST_F(SimulatorLinkTest, OpeningSetsUpSimConnectInOrder) {
    link.OpenSimulatorLink();
    EXPECT_TRUE(link.sim_link_up());
    EXPECT_TRUE(link.simconnect_open());
    EXPECT_EQ(link.panelColour(), kGreen);
    EXPECT_EQ(link.panelBevel(), Bevel::Lowered);
    EXPECT_EQ(status[0], "connecté FSX");
    EXPECT_TRUE(timer3.IsActive());
    EXPECT_FALSE(timer2.IsActive());

    std::vector<std::string> expected = {
        "Open(MYAPP)",
        "MenuAddItem(Tavoro_Client, 0, 12345)",
        "MenuAddSubItem(0, Afficher, 1, 12345)",
        "MenuAddSubItem(0, Masquer, 2, 12345)",
        "MenuAddSubItem(0, Terminer, 3, 12345)",
        "AddToDataDefinition(0, GENERAL ENG FAILED:1, Bool, 3, 0.000000, 4294967295)",
        "AddToDataDefinition(0, GENERAL ENG FAILED:2, Bool, 3, 0.000000, 4294967295)",
        "AddToDataDefinition(0, GENERAL ENG FAILED:3, Bool, 3, 0.000000, 4294967295)",
        "AddToDataDefinition(0, GENERAL ENG FAILED:4, Bool, 3, 0.000000, 4294967295)",
        "AddToDataDefinition(1, AI Waypoint List, number, 14, 0.000000, 4294967295)",
        "MapClientEventToSimEvent(4, TOGGLE_ENGINE1_FAILURE)",
        "MapClientEventToSimEvent(5, TOGGLE_ENGINE2_FAILURE)",
        "MapClientEventToSimEvent(6, TOGGLE_ENGINE3_FAILURE)",
        "MapClientEventToSimEvent(7, TOGGLE_ENGINE4_FAILURE)",
        "MapClientEventToSimEvent(8, TOGGLE_ELECTRICAL_FAILURE)",
        "MapClientEventToSimEvent(9, TOGGLE_PITOT_BLOCKAGE)",
        "MapClientEventToSimEvent(10, TOGGLE_STATIC_PORT_BLOCKAGE)",
        "MapClientEventToSimEvent(11, TOGGLE_HYDRAULIC_FAILURE)",
        "MapClientEventToSimEvent(12, TOGGLE_TOTAL_BRAKE_FAILURE)",
        "MapClientEventToSimEvent(13, TOGGLE_VACUUM_FAILURE)",
        "MapClientEventToSimEvent(14, ZULU_HOURS_SET)",
        "MapClientEventToSimEvent(15, ZULU_MINUTES_SET)",
        "MapClientEventToSimEvent(16, ZULU_DAY_SET)",
    };
    for (int event = 4; event <= 16; ++event) {
        expected.push_back("AddClientEventToNotificationGroup(0, " + std::to_string(event) +
                           ", not maskable)");
    }
    expected.push_back("SetNotificationGroupPriority(0, 1)");
    expected.push_back("SubscribeToSystemEvent(17, ObjectAdded)");
    expected.push_back("SubscribeToSystemEvent(18, ObjectRemoved)");
    EXPECT_EQ(library.CallTexts(), expected);
}

TEST_F(SimulatorLinkTest, AVersionWithoutANameShowsItsNumber) {
    server.SetVersions(0x40000000u, 0xFADE000Cu);
    link.OpenSimulatorLink();
    EXPECT_EQ(status[0], "connecté version 12");
}

TEST_F(SimulatorLinkTest, WithoutSimConnectTheAircraftIsStillPolled) {
    library.refuse_open = true;
    openAndPoll();
    EXPECT_FALSE(link.simconnect_open());
    EXPECT_EQ(link.panelColour(), kGreen);
    EXPECT_EQ(library.CallTexts(), std::vector<std::string>{"Open(MYAPP)"});

    poke<std::uint16_t>(0x0354, 0x4521);
    QSignalSpy dispatched(&link, &SimulatorLink::dispatched);
    link.PollSimulator();
    EXPECT_EQ(state.transponder_code, "4521");
    EXPECT_EQ(dispatched.count(), 0);
    EXPECT_EQ(library.calls.size(), 1u);
}

TEST_F(SimulatorLinkTest, ReadyWaitReadsTheIdentityThenPolls) {
    pokeText(0x3D00, std::string(256, 'T').c_str(), 256);  // fills its field, no zero
    pokeText(0x3160, "C172", 24);
    pokeText(0x3500, "  C172SP ", 24);
    pokeText(0x313C, "F-GTAV", 12);
    pokeText(0x3148, "Aero Club", 24);
    setReady(false);
    link.OpenSimulatorLink();
    QSignalSpy identity_read(&link, &SimulatorLink::identityRead);

    link.CheckSimulatorReady();
    EXPECT_TRUE(timer3.IsActive());
    EXPECT_FALSE(timer2.IsActive());
    EXPECT_EQ(identity_read.count(), 0);

    setReady(true);
    link.CheckSimulatorReady();
    EXPECT_EQ(identity_read.count(), 1);
    EXPECT_FALSE(timer3.IsActive());
    EXPECT_TRUE(timer2.IsActive());
    EXPECT_TRUE(relay_running);
    EXPECT_EQ(identity.aircraft_title, std::string(256, 'T'));
    EXPECT_EQ(identity.atc_type, "C172");
    EXPECT_EQ(identity.atc_model, "  C172SP ");
    EXPECT_EQ(identity.atc_identifier, "F-GTAV");
    EXPECT_EQ(identity.atc_airline, "Aero Club");
}

TEST_F(SimulatorLinkTest, PollingFillsTheAircraftState) {
    openAndPoll();
    poke<std::uint32_t>(0x02B4, 65536 * 50);
    poke<std::int64_t>(0x0560, 42957189152768000LL / 2);
    poke<std::int64_t>(0x0568, -(1LL << 61));
    poke<std::uint32_t>(0x0570, 5);
    poke<std::uint32_t>(0x0574, 1000);
    poke<std::uint32_t>(0x0578, 0xFFFFFFFFu - 11930464u);
    poke<std::uint32_t>(0x057C, 0x40000000u);
    poke<std::uint32_t>(0x0580, 0x80000000u);
    poke<std::uint16_t>(0x0354, 0x7700);
    poke<std::uint8_t>(0x0238, 14);
    poke<std::uint8_t>(0x0239, 5);
    poke<std::uint8_t>(0x023B, 12);
    poke<std::uint8_t>(0x023C, 30);
    poke<std::uint8_t>(0x023A, 3);
    poke<std::uint16_t>(0x0AEC, 2);
    QSignalSpy updated(&link, &SimulatorLink::stateUpdated);

    link.PollSimulator();
    EXPECT_EQ(updated.count(), 1);
    EXPECT_NEAR(state.ground_speed_kt, 50 * 3600.0 / 1852, 1e-9);
    EXPECT_DOUBLE_EQ(state.latitude, 45);
    EXPECT_DOUBLE_EQ(state.longitude, -45);
    EXPECT_DOUBLE_EQ(state.altitude_ft, 1000.5 / 0.3048);
    EXPECT_EQ(state.pitch_deg, 359);
    EXPECT_EQ(state.bank_deg, 90);
    EXPECT_EQ(state.heading_deg, 180);
    EXPECT_EQ(state.transponder_code, "7700");
    EXPECT_EQ(state.local_time.hours, 14);
    EXPECT_EQ(state.local_time.minutes, 5);
    EXPECT_EQ(state.zulu_seconds, 12 * 3600 + 30 * 60 + 3);
    EXPECT_EQ(state.engine_count, 2);
}

TEST_F(SimulatorLinkTest, NotReadyStopsPollingUntilTheReadyWaitSeesItAgain) {
    openAndPoll();
    poke<std::uint16_t>(0x0354, 0x1200);
    link.PollSimulator();
    ASSERT_EQ(state.transponder_code, "1200");

    setReady(false);
    poke<std::uint16_t>(0x0354, 0x2000);
    link.PollSimulator();
    EXPECT_FALSE(relay_running);
    EXPECT_FALSE(timer2.IsActive());
    EXPECT_TRUE(timer3.IsActive());
    EXPECT_EQ(state.transponder_code, "1200");  // the not-ready step keeps the last values

    pokeText(0x313C, "N12345", 12);
    setReady(true);
    link.CheckSimulatorReady();
    EXPECT_TRUE(timer2.IsActive());
    EXPECT_EQ(identity.atc_identifier, "N12345");
}

TEST_F(SimulatorLinkTest, LostSimulatorClosesTheLinkAndAsksToLogOff) {
    openAndPoll();
    QSignalSpy log_off(&link, &SimulatorLink::logOffRequested);
    server.failing_sends = 10;
    server.system_error = true;
    link.PollSimulator();
    EXPECT_EQ(status[1], "Processing: IPC sendmessage failed all retries");
    EXPECT_EQ(log_off.count(), 1);
    EXPECT_FALSE(link.sim_link_up());
    EXPECT_FALSE(link.simconnect_open());
    EXPECT_FALSE(fsuipc.is_open());
    EXPECT_EQ(link.panelColour(), kRed);
    EXPECT_EQ(link.panelBevel(), Bevel::Raised);
    EXPECT_FALSE(timer2.IsActive());
    EXPECT_TRUE(timer3.IsActive());
    EXPECT_EQ(library.CallTexts().back(), "Close()");

    // The ready wait, still running, keeps saying so.
    link.CheckSimulatorReady();
    EXPECT_EQ(status[1], "Reading: Call cannot execute, link not Open");
}

TEST_F(SimulatorLinkTest, ATimedOutExchangeKeepsTheLink) {
    openAndPoll();
    QSignalSpy log_off(&link, &SimulatorLink::logOffRequested);
    server.failing_sends = 10;
    server.system_error = false;
    link.PollSimulator();
    EXPECT_EQ(status[1], "Processing: IPC timed out all retries");
    EXPECT_EQ(log_off.count(), 0);
    EXPECT_TRUE(link.sim_link_up());
    EXPECT_TRUE(timer2.IsActive());
}

TEST_F(SimulatorLinkTest, AFailedIdentityReadKeepsTheIdentity) {
    pokeText(0x313C, "F-GTAV", 12);
    openAndPoll();
    ASSERT_EQ(identity.atc_identifier, "F-GTAV");
    QSignalSpy identity_read(&link, &SimulatorLink::identityRead);
    server.failing_sends = 10;
    link.ReadAircraftIdentity();
    EXPECT_EQ(status[1], "Processing: IPC timed out all retries");
    EXPECT_EQ(identity.atc_identifier, "F-GTAV");
    EXPECT_EQ(identity_read.count(), 0);
}

// Whatever the exchange gave, the step goes on with the simulator's messages.
TEST_F(SimulatorLinkTest, TheDispatchFollowsEveryPollingOutcome) {
    const struct {
        const char* name;
        std::function<void()> arrange;
    } cases[] = {
        {"a timed-out exchange", [this] { server.failing_sends = 10; }},
        {"a simulator not ready", [this] { setReady(false); }},
    };
    for (const auto& c : cases) {
        openAndPoll();
        failures = {};
        library.pending.push_back(test::MakeEngineFailures({1, 0, 0, 0}));
        c.arrange();
        QSignalSpy dispatched(&link, &SimulatorLink::dispatched);
        link.PollSimulator();
        EXPECT_EQ(dispatched.count(), 1) << c.name;
        EXPECT_TRUE(failures[0]) << c.name;
        link.CloseSimulatorLink();
        setReady(true);
        server.failing_sends = 0;
    }
}

TEST_F(SimulatorLinkTest, PollingDispatchesTheSimulatorsMessages) {
    openAndPoll();
    library.calls.clear();
    library.pending.push_back(test::MakeEngineFailures({1, 0, 0, 1}));
    QSignalSpy dispatched(&link, &SimulatorLink::dispatched);
    link.PollSimulator();
    EXPECT_EQ(
        library.CallTexts(),
        (std::vector<std::string>{"RequestDataOnSimObjectType(0, 0, 0, 0)", "CallDispatch()"}));
    EXPECT_EQ(failures, (FailureState{true, false, false, true}));
    EXPECT_EQ(dispatched.count(), 1);
}

TEST_F(SimulatorLinkTest, AFailingMessageHandlerCostsOnlyThatDispatch) {
    actions.show_window = [] { throw std::runtime_error("window gone"); };
    link.SetMessageActions(actions);
    openAndPoll();
    std::vector<std::uint8_t> show = {24, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0,
                                      0,  0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    library.pending.push_back(show);
    QSignalSpy dispatched(&link, &SimulatorLink::dispatched);
    EXPECT_NO_THROW(link.PollSimulator());
    EXPECT_EQ(dispatched.count(), 1);
    EXPECT_TRUE(timer2.IsActive());
}

// The library tells of a lost connection with the quit message: the SimConnect leg closes
// and says so, the aircraft is still polled, and the simulator button opens the leg again.
TEST_F(SimulatorLinkTest, ALostSimConnectLegClosesSaysSoAndReopensWithTheLink) {
    openAndPoll();
    library.pending.push_back(test::MakeEngineFailures({1, 0, 0, 0}));
    library.pending.push_back(SimRecvBuilder(kSimRecvQuit).bytes());
    QSignalSpy dispatched(&link, &SimulatorLink::dispatched);
    link.PollSimulator();
    EXPECT_TRUE(failures[0]);  // what came before the quit is still handled
    EXPECT_FALSE(link.simconnect_open());
    EXPECT_EQ(status[0], "SimConnect: connexion perdue");
    EXPECT_EQ(library.CallTexts().back(), "Close()");
    EXPECT_EQ(dispatched.count(), 0);
    EXPECT_TRUE(link.sim_link_up());
    EXPECT_EQ(link.panelColour(), kGreen);
    EXPECT_TRUE(timer2.IsActive());

    library.calls.clear();
    poke<std::uint16_t>(0x0354, 0x4521);
    link.PollSimulator();
    EXPECT_EQ(state.transponder_code, "4521");
    EXPECT_TRUE(library.calls.empty());
    EXPECT_EQ(dispatched.count(), 0);

    link.ToggleSimulatorLink();
    link.ToggleSimulatorLink();
    EXPECT_TRUE(link.simconnect_open());
    EXPECT_EQ(status[0], "connecté FSX");
    ASSERT_TRUE(timer3.Fire());
    library.calls.clear();
    link.PollSimulator();
    EXPECT_EQ(
        library.CallTexts(),
        (std::vector<std::string>{"RequestDataOnSimObjectType(0, 0, 0, 0)", "CallDispatch()"}));
    EXPECT_EQ(dispatched.count(), 1);
}

TEST_F(SimulatorLinkTest, ThePanelClosesAndReopensWithANewSetUp) {
    openAndPoll();
    link.ToggleSimulatorLink();
    EXPECT_FALSE(link.sim_link_up());
    EXPECT_FALSE(fsuipc.is_open());
    EXPECT_FALSE(relay_running);
    EXPECT_FALSE(timer2.IsActive());
    EXPECT_TRUE(timer3.IsActive());
    EXPECT_EQ(link.panelColour(), kRed);

    library.calls.clear();
    link.ToggleSimulatorLink();
    EXPECT_TRUE(link.sim_link_up());
    EXPECT_EQ(link.panelColour(), kGreen);
    const auto calls = library.CallTexts();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "Open(MYAPP)");
    EXPECT_EQ(calls.back(), "SubscribeToSystemEvent(18, ObjectRemoved)");
}

TEST_F(SimulatorLinkTest, TheCloseStepRemovesTheMenu) {
    link.OpenSimulatorLink();
    library.calls.clear();
    library.failing = {"MenuDeleteSubItem"};  // an error there must not stop the second call
    link.RemoveSimulatorMenu();
    EXPECT_EQ(library.CallTexts(),
              (std::vector<std::string>{"MenuDeleteSubItem(0, 1)", "MenuDeleteItem(0)"}));
}

}  // namespace
}  // namespace tavoro
