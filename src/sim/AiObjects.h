#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Aircraft.h"
#include "core/Fields.h"
#include "sim/SimConnectClient.h"

namespace tavoro {

// Where a created object was put, as the creation command gave it.
struct AiInitialPosition {
    double altitude = 0;
    double latitude = 0;
    double longitude = 0;
    double heading = 0;
    double bank = 0;
    double pitch = 0;
};

// One slot of the object table.
struct AiObject {
    static constexpr std::size_t kTitleSize = 256;

    // Container title, zero-terminated: at most kTitleSize - 1 characters.
    std::array<char, kTitleSize> title{};
    std::uint32_t sim_object_id = 0;
    // The simulator's id for this creation came: until then sim_object_id is 0, the user's
    // aircraft, or the id of the object the slot held before.
    bool sim_object_id_known = false;
    // The server's name for the object: the key of "ROUTE", "START" and "REMOVE".
    std::string send_id;
    bool in_use = false;
    AiInitialPosition initial_position;
    std::vector<AiWaypoint> waypoints;  // in arrival order
    bool route_complete = false;        // "START" came
    bool route_sent = false;            // the simulator has the route
    std::int32_t start_time = 0;        // zulu second of the day of the hand-over

    std::string TitleText() const;
};

// The AI objects the ATC server places in the simulator: the table, the four
// sub-commands of "$ControlAI", the ids the simulator assigns, the hand-over of routes at
// their start second, and the removals the simulator reports.
//
// The sub-command handlers take the line's fields (field 1 the sub-command, field 2 the
// object's send id). A field the line does not have reads as the empty text: an empty
// whole-number field raises ConversionError, which ends the line before anything is
// done; an empty or unreadable decimal field stands for 0.
class AiObjects {
public:
    using Log = std::function<void(const std::string& line)>;

    AiObjects(SimConnectClient& simconnect, const AircraftState& aircraft, Log log);

    // "CREATE": asks the simulator for the object, and only once it accepted, takes a slot.
    void Create(const FieldList& fields);
    // "ROUTE": one more waypoint for the object.
    void Route(const FieldList& fields);
    // "START": the route is complete and goes to the simulator at the given second.
    void Start(const FieldList& fields);
    // "REMOVE": asks the simulator to remove the object; its slot is freed when the
    // simulator reports the removal.
    void Remove(const FieldList& fields);

    // The simulator's answer to a creation: the id of the object created last.
    void ObjectIdAssigned(std::uint32_t object_id);
    // The simulator removed a boat or ground vehicle.
    void ObjectRemoved(std::uint32_t object_id);

    // After each dispatch of the simulator's messages: the pending id goes to the object
    // created last, then every route that falls due goes to the simulator.
    void AfterDispatch();
    void HandOverObjectId();
    void HandOverRoutes();

    const std::vector<AiObject>& ai_objects() const { return ai_objects_; }
    std::size_t current_object() const { return current_object_; }
    std::uint32_t assigned_object_id() const { return assigned_object_id_; }
    bool object_id_pending() const { return object_id_pending_; }

private:
    AiObject* findObject(const std::string& send_id);
    std::size_t takeSlot();
    void log(const std::string& line) const;

    SimConnectClient& simconnect_;
    const AircraftState& aircraft_;
    Log log_;
    std::vector<AiObject> ai_objects_;  // never shrinks: a slot index names its object
    std::size_t current_object_ = 0;
    std::uint32_t assigned_object_id_ = 0;
    bool object_id_pending_ = false;
};

// The object view's texts.

// "fs_zulu: " with the seconds of the day, then the time they make, without leading zeros.
std::string ZuluLabelText(std::int32_t zulu_seconds);
// One line of the object list: the simulator's id, the send id, whether the slot is used.
std::string ObjectListLine(const AiObject& object);
// The route of one object: its state, then one line per waypoint.
std::vector<std::string> RouteLines(const AiObject& object);

}  // namespace tavoro
