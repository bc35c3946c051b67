#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SimConnectLibrary.h"

namespace tavoro::simhost {

// Everything the stand-in simulator knows, shared by its FSUIPC side, its SimConnect side
// and its command channel. One thread (the event loop) touches it.

// The user's aircraft. It moves along its heading at its ground speed as time passes.
struct SimAircraft {
    double latitude = 0;   // degrees, north positive
    double longitude = 0;  // degrees, east positive
    double altitude_ft = 0;
    double ground_speed_kt = 0;
    double heading_deg = 0;              // true heading, 0 to 360
    double pitch_deg = 0;                // nose up positive
    double bank_deg = 0;                 // right wing down positive
    std::uint16_t transponder = 0x1200;  // the register: four hexadecimal digits
    std::uint16_t engines = 1;
    bool ready = true;  // false: the simulator reports "not ready"
    std::string title;
    std::string type;
    std::string model;
    std::string id;
    std::string airline;
};

// The simulator's clock, in seconds of the day; both advance with real time.
struct SimClock {
    double zulu_seconds = 12 * 3600;
    double local_seconds = 13 * 3600;
};

// The ten failures the client can toggle, by the simulator event's name.
inline constexpr std::array<const char*, 10> kFailureEvents = {
    "TOGGLE_ENGINE1_FAILURE",      "TOGGLE_ENGINE2_FAILURE",    "TOGGLE_ENGINE3_FAILURE",
    "TOGGLE_ENGINE4_FAILURE",      "TOGGLE_ELECTRICAL_FAILURE", "TOGGLE_PITOT_BLOCKAGE",
    "TOGGLE_STATIC_PORT_BLOCKAGE", "TOGGLE_HYDRAULIC_FAILURE",  "TOGGLE_TOTAL_BRAKE_FAILURE",
    "TOGGLE_VACUUM_FAILURE",
};

struct ZuluSet {
    std::optional<std::uint32_t> hours;    // data of the last "ZULU_HOURS_SET"
    std::optional<std::uint32_t> minutes;  // data of the last "ZULU_MINUTES_SET"
    std::optional<std::uint32_t> day;      // data of the last "ZULU_DAY_SET"
};

struct SimMenuItem {
    std::uint32_t event_id = 0;
    std::uint32_t parent_event = kSimUnused;  // kSimUnused: a top-level item
    std::string text;
    std::uint32_t data = 0;
};

struct SimAiObject {
    std::uint32_t object_id = 0;
    std::uint32_t object_type = kSimObjectGround;
    std::string title;
    SimInitPosition position;
    std::vector<AiWaypoint> waypoints;  // the last list set on the object
    bool removed = false;
};

struct SimWeather {
    // What the observation requests answer; none: they fail with exception 15.
    std::optional<std::string> metar;
    bool custom_mode = false;
    std::vector<std::string> injected;  // observations set and accepted, in order
    // The last observation of each station, by its identifier: the stations a request
    // by name can reach. Every observation given or set lands here too.
    std::map<std::string, std::string> stations;

    // Makes `observation` the current weather and its station's last observation.
    void Observe(const std::string& observation);
};

// The station an observation names: its first word, without the "&" extensions.
std::string ObservationStation(std::string_view observation);
// The observation as an interpolated request answers it: the station reads "????".
std::string InterpolatedObservation(std::string_view observation);

// One datum of a SimConnect client's data definition.
struct SimDatum {
    std::string name;
    std::string units;
    std::uint32_t type = 0;  // SimDataType
};

struct SimGroupEvent {
    std::uint32_t event_id = 0;
    bool maskable = false;
};

// What one open SimConnect client has set up, as the stand-in recorded it.
struct SimConnectSession {
    std::uint32_t connection = 0;  // the stand-in's number for the connection, from 1
    std::string name;              // given to Open
    std::map<std::uint32_t, std::vector<SimDatum>> definitions;
    std::map<std::uint32_t, std::string> mapped_events;  // client event → simulator event
    std::map<std::uint32_t, std::vector<SimGroupEvent>> notification_groups;  // in call order
    std::map<std::uint32_t, std::uint32_t> group_priorities;
    std::map<std::uint32_t, std::string> system_events;  // client event → system event
};

struct SimState {
    SimAircraft aircraft;
    SimClock clock;
    std::array<bool, kFailureEvents.size()> failures{};  // by index in kFailureEvents
    ZuluSet zulu_set;
    std::vector<std::string> texts_shown;  // texts written to the display offset
    std::string plan_path;                 // the flight-plan path offset's text
    std::uint16_t library_version = 0;     // what the client wrote at 0x330A
    std::int16_t display_control = 0;      // the last value written at 0x32FA (-1: until replaced)
    int fsuipc_clients = 0;                // FSUIPC clients linked, each block mapped here
    std::vector<SimMenuItem> menu_items;
    std::vector<SimAiObject> ai_objects;
    SimWeather weather;
    bool simconnect_client = false;  // a SimConnect client is connected and open
    std::vector<SimConnectSession> simconnect_sessions;  // the open clients, oldest first
};

}  // namespace tavoro::simhost
