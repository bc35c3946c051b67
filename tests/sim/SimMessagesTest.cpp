#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/SimMessages.h"

namespace tavoro {
namespace {

// Messages spelled out word by word, as the library lays them out, so that these tests
// do not lean on the builders the stand-in simulator uses.
using Bytes = std::vector<std::uint8_t>;

void put(Bytes& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::uint32_t bits(float value) {
    std::uint32_t word;
    std::memcpy(&word, &value, 4);
    return word;
}

// Header (size, version, id) then the words.
Bytes message(std::uint32_t id, std::initializer_list<std::uint32_t> words) {
    Bytes bytes;
    put(bytes, static_cast<std::uint32_t>(12 + 4 * words.size()));
    put(bytes, 4);
    put(bytes, id);
    for (std::uint32_t word : words) {
        put(bytes, word);
    }
    return bytes;
}

class SimMessagesTest : public ::testing::Test {
protected:
    SimMessagesTest() {
        actions.log = [this](const std::string& line) { events.push_back("log " + line); };
        actions.show_window = [this] { events.push_back("show"); };
        actions.hide_window = [this] { events.push_back("hide"); };
        actions.close_window = [this] { events.push_back("close"); };
        actions.weather_observation = [this](const std::string& metar) {
            events.push_back("observation " + metar);
        };
        actions.weather_no_answer = [this] { events.push_back("no answer"); };
        actions.object_id_assigned = [this](std::uint32_t id) {
            events.push_back("assigned " + std::to_string(id));
        };
        actions.object_removed = [this](std::uint32_t id) {
            events.push_back("removed " + std::to_string(id));
        };
    }

    void handle(const Bytes& bytes) { handle(bytes, static_cast<std::uint32_t>(bytes.size())); }
    void handle(const Bytes& bytes, std::uint32_t size) {
        OnSimConnectMessage(bytes.data(), size, failures, actions);
    }

    SimMessageActions actions;
    FailureState failures{};
    std::vector<std::string> events;
};

TEST_F(SimMessagesTest, ExceptionsAreLoggedWithTheirNumbers) {
    handle(message(1, {3, 12, 1}));
    EXPECT_EQ(events,
              std::vector<std::string>{"log ***** EXCEPTION=3  SendID=12  Index=1  cbData=24"});

    // The size handed over is what the line reports, even when the message holds more.
    events.clear();
    Bytes padded = message(1, {7, 40, 2, 0});
    handle(padded, 28);
    EXPECT_EQ(events,
              std::vector<std::string>{"log ***** EXCEPTION=7  SendID=40  Index=2  cbData=28"});
}

TEST_F(SimMessagesTest, WeatherExceptionsActBeforeTheirLogLine) {
    handle(message(1, {14, 5, 2}));
    handle(message(1, {15, 6, 0}));
    EXPECT_EQ(events, (std::vector<std::string>{
                          "log invalid metar",
                          "log ***** EXCEPTION=14  SendID=5  Index=2  cbData=24",
                          "no answer",
                          "log ***** EXCEPTION=15  SendID=6  Index=0  cbData=24",
                      }));
}

TEST_F(SimMessagesTest, MenuEventsMoveTheWindow) {
    const struct {
        std::uint32_t event_id;
        std::vector<std::string> expected;
    } cases[] = {
        {1, {"show"}},
        {2, {"hide"}},
        {3, {"close"}},
        {0, {}},
        {4, {}},
        // Only the low byte of the event id counts.
        {0x0102, {"hide"}},
    };
    for (const auto& c : cases) {
        events.clear();
        handle(message(4, {0xFFFFFFFFu, c.event_id, 12345}));
        EXPECT_EQ(events, c.expected) << "event " << c.event_id;
    }
}

TEST_F(SimMessagesTest, OnlyBoatsAndGroundVehiclesAreRemoved) {
    const struct {
        std::uint32_t event_id;
        std::uint32_t type;
        bool removed;
    } cases[] = {
        {18, 4, true},  {18, 5, true},  {18, 2, false},
        {18, 0, false}, {17, 4, false}, {17, 5, false},
    };
    for (const auto& c : cases) {
        events.clear();
        handle(message(5, {0, c.event_id, 4711, c.type}));
        EXPECT_EQ(events,
                  c.removed ? std::vector<std::string>{"removed 4711"} : std::vector<std::string>{})
            << "event " << c.event_id << " type " << c.type;
    }
}

TEST_F(SimMessagesTest, EngineFailureFloatsSetTheFirstFourFailures) {
    failures[4] = true;  // a pitot blockage the engines' data must not touch
    failures[0] = true;
    handle(message(9, {0, 1, 0, 0, 1, 1, 4, bits(0), bits(1), bits(0), bits(0.5f)}));
    EXPECT_EQ(failures, (FailureState{false, true, false, true, true}));

    // Data for another request, or too short for four floats, changes nothing.
    handle(message(9, {1, 1, 0, 0, 1, 1, 4, bits(1), bits(1), bits(1), bits(1)}));
    handle(message(9, {0, 1, 0, 0, 1, 1, 4, bits(1), bits(1), bits(1)}));
    EXPECT_EQ(failures, (FailureState{false, true, false, true, true}));
    EXPECT_TRUE(events.empty());
}

TEST_F(SimMessagesTest, ObservationTextGoesToTheWeather) {
    Bytes observation = message(10, {1});
    const std::string text = "LFPG 091030Z 27010KT 9999 FEW030 08/03 Q1015";
    observation.insert(observation.end(), text.begin(), text.end());
    observation.push_back(0);
    observation.push_back('X');  // after the zero: not part of the text
    handle(observation);
    EXPECT_EQ(events, std::vector<std::string>{"observation " + text});

    // A text missing its zero ends with the message.
    events.clear();
    Bytes unterminated = message(10, {1});
    unterminated.insert(unterminated.end(), {'K', 'S', 'E', 'A'});
    handle(unterminated);
    EXPECT_EQ(events, std::vector<std::string>{"observation KSEA"});

    // Another request's observation is not ours.
    events.clear();
    handle(message(10, {2}));
    EXPECT_TRUE(events.empty());
}

TEST_F(SimMessagesTest, AFailingWeatherHandlerDoesNotStopTheNextMessage) {
    actions.weather_observation = [](const std::string&) { throw std::runtime_error("bad"); };
    Bytes observation = message(10, {1});
    observation.push_back(0);
    EXPECT_NO_THROW(handle(observation));
    handle(message(4, {0, 1, 0}));
    EXPECT_EQ(events, std::vector<std::string>{"show"});
}

TEST_F(SimMessagesTest, AssignedIdIsHandedOverAndLogged) {
    handle(message(12, {2, 301}));
    handle(message(12, {1, 302}));
    EXPECT_EQ(events, (std::vector<std::string>{"assigned 301", "log affect id:301"}));
}

TEST_F(SimMessagesTest, ShortAndUnknownMessagesAreIgnored) {
    const Bytes cases[] = {
        message(1, {3, 12}),       // exception without its index
        message(4, {0, 1}),        // event without its data
        message(5, {0, 18, 7}),    // removal without the object type
        message(12, {2}),          // assigned id without the id
        message(7, {1, 2, 3, 4}),  // a kind nobody reads
        Bytes{1, 2, 3},            // not even a header
    };
    for (const Bytes& bytes : cases) {
        handle(bytes);
    }
    // A size smaller than the bytes behind it is believed: nothing past it is read.
    handle(message(12, {2, 99}), 16);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(failures, FailureState{});
}

TEST_F(SimMessagesTest, MissingActionsAreSkipped) {
    SimMessageActions none;
    EXPECT_NO_THROW({
        OnSimConnectMessage(message(1, {15, 1, 1}).data(), 24, failures, none);
        OnSimConnectMessage(message(4, {0, 3, 0}).data(), 24, failures, none);
        OnSimConnectMessage(message(12, {2, 5}).data(), 20, failures, none);
    });
}

}  // namespace
}  // namespace tavoro
