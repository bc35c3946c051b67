#include "sim/AiObjects.h"

#include <algorithm>
#include <cstring>

#include "core/Numbers.h"
#include "sim/SimMessages.h"

namespace tavoro {
namespace {

// A route is handed over while the zulu clock is less than this far from its start.
constexpr std::int64_t kStartWindowSeconds = 2;
constexpr std::int64_t kSecondsPerDay = 86400;

// How far apart two seconds of the day are on the 24-hour clock, either way round: 86399
// and 0 are one second apart. A second beyond the day counts as that second of the day.
std::int64_t secondsApart(std::int64_t a, std::int64_t b) {
    const std::int64_t forward = ((a - b) % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
    return std::min(forward, kSecondsPerDay - forward);
}

// A decimal field that is missing or not a number stands for 0, the value every position
// and speed of a new record starts from; the command still goes through.
double decimal(const FieldList& fields, std::size_t index) {
    return ParseDecimalNumber(Field(fields, index)).value_or(0.0);
}

// Whole-number fields raise ConversionError, which ends the line.
int whole(const FieldList& fields, std::size_t index) {
    return ParseWholeNumber(Field(fields, index));
}

}  // namespace

std::string AiObject::TitleText() const {
    return std::string(title.begin(), std::find(title.begin(), title.end(), '\0'));
}

AiObjects::AiObjects(SimConnectClient& simconnect, const AircraftState& aircraft, Log log)
    : simconnect_(simconnect), aircraft_(aircraft), log_(std::move(log)) {}

void AiObjects::log(const std::string& line) const {
    if (log_) {
        log_(line);
    }
}

AiObject* AiObjects::findObject(const std::string& send_id) {
    // Only slots in use are looked at: a freed slot keeps an empty send id and the
    // simulator id of an object that is gone, and a command whose id field is missing
    // must not reach it.
    for (AiObject& object : ai_objects_) {
        if (object.in_use && object.send_id == send_id) {
            return &object;
        }
    }
    return nullptr;
}

std::size_t AiObjects::takeSlot() {
    for (std::size_t i = 0; i < ai_objects_.size(); ++i) {
        if (!ai_objects_[i].in_use) {
            return i;
        }
    }
    ai_objects_.emplace_back();
    return ai_objects_.size() - 1;
}

void AiObjects::Create(const FieldList& fields) {
    const std::string& send_id = Field(fields, 2);
    // A longer title is cut: the holder keeps 255 characters and its terminating zero.
    std::array<char, AiObject::kTitleSize> title{};
    const std::string& title_text = Field(fields, 3);
    std::memcpy(title.data(), title_text.data(),
                std::min(title_text.size(), AiObject::kTitleSize - 1));

    SimInitPosition position;
    position.latitude = decimal(fields, 4);
    position.longitude = decimal(fields, 5);
    position.altitude = decimal(fields, 6);
    position.pitch = decimal(fields, 7);
    position.bank = decimal(fields, 8);
    position.heading = decimal(fields, 9);
    position.on_ground = static_cast<std::uint32_t>(whole(fields, 10));
    position.airspeed = static_cast<std::uint32_t>(whole(fields, 11));

    if (simconnect_.Call(&SimConnectLibrary::AICreateSimulatedObject,
                         std::string_view(title.data()), position,
                         sim_ids::kRequestAiObjects) != kSimOk) {
        return;
    }

    const std::size_t slot = takeSlot();
    current_object_ = slot;
    AiObject& object = ai_objects_[slot];
    object.title = title;
    object.in_use = true;
    object.send_id = send_id;
    object.initial_position = {position.altitude, position.latitude, position.longitude,
                               position.heading,  position.bank,     position.pitch};
    object.sim_object_id_known = false;
    object.waypoints.clear();
    object.route_sent = false;
    object.route_complete = false;
    log("objet" + std::to_string(slot) + " sendid:" + send_id);
}

void AiObjects::Route(const FieldList& fields) {
    AiWaypoint waypoint;
    waypoint.latitude = decimal(fields, 3);
    waypoint.longitude = decimal(fields, 4);
    waypoint.altitude = decimal(fields, 5);
    waypoint.flags = static_cast<std::uint32_t>(whole(fields, 6));
    waypoint.speed_kt = decimal(fields, 7);
    waypoint.throttle_percent = 0;
    if (AiObject* object = findObject(Field(fields, 2))) {
        object->waypoints.push_back(waypoint);
    }
}

void AiObjects::Start(const FieldList& fields) {
    const int start = whole(fields, 3);
    if (AiObject* object = findObject(Field(fields, 2))) {
        object->start_time = start;
        object->route_complete = true;
    }
}

void AiObjects::Remove(const FieldList& fields) {
    AiObject* object = findObject(Field(fields, 2));
    if (object == nullptr) {
        return;
    }
    const std::size_t slot = static_cast<std::size_t>(object - ai_objects_.data());
    log("call remove objet" + std::to_string(slot) +
        " simid:" + std::to_string(object->sim_object_id) + " sendid:" + object->send_id);
    simconnect_.Call(&SimConnectLibrary::AIRemoveObject, object->sim_object_id,
                     sim_ids::kRequestAiObjects);
}

void AiObjects::ObjectIdAssigned(std::uint32_t object_id) {
    assigned_object_id_ = object_id;
    object_id_pending_ = true;
}

void AiObjects::ObjectRemoved(std::uint32_t object_id) {
    // Several slots can hold the id, as a freed or reused slot keeps its last one until a
    // new id comes; the highest is taken.
    for (std::size_t i = ai_objects_.size(); i-- > 0;) {
        AiObject& object = ai_objects_[i];
        if (object.sim_object_id != object_id) {
            continue;
        }
        object.in_use = false;
        object.send_id.clear();
        object.title.fill(0);
        object.waypoints.clear();
        log("remove objet" + std::to_string(i) + " simid:" + std::to_string(object_id));
        return;
    }
}

void AiObjects::AfterDispatch() {
    HandOverObjectId();
    HandOverRoutes();
}

void AiObjects::HandOverObjectId() {
    // The id goes to the object created last, whichever creation it answers: two creations
    // before the first id both write into the later slot.
    if (object_id_pending_ && !ai_objects_.empty()) {
        ai_objects_[current_object_].sim_object_id = assigned_object_id_;
        ai_objects_[current_object_].sim_object_id_known = true;
        object_id_pending_ = false;
    }
}

void AiObjects::HandOverRoutes() {
    for (AiObject& object : ai_objects_) {
        // A route due before its object's id came waits for it as a refused hand-over
        // waits: it goes at the first step that has the id while the window lasts, never
        // after, and never to the user's aircraft or the object the slot held before.
        if (!object.in_use || !object.route_complete || object.waypoints.empty() ||
            object.route_sent || !object.sim_object_id_known ||
            secondsApart(object.start_time, aircraft_.zulu_seconds) >= kStartWindowSeconds) {
            continue;
        }
        // A refused hand-over is tried again at the next step, while the window lasts.
        if (simconnect_.Call(&SimConnectLibrary::SetDataOnSimObject, sim_ids::kDefinitionWaypoints,
                             object.sim_object_id, 0u,
                             static_cast<std::uint32_t>(object.waypoints.size()),
                             static_cast<std::uint32_t>(sizeof(AiWaypoint)),
                             static_cast<const void*>(object.waypoints.data())) == kSimOk) {
            object.route_sent = true;
        }
    }
}

std::string ZuluLabelText(std::int32_t zulu_seconds) {
    return "fs_zulu: " + std::to_string(zulu_seconds) + "   " +
           std::to_string(zulu_seconds / 3600) + ":" + std::to_string(zulu_seconds / 60 % 60) +
           ":" + std::to_string(zulu_seconds % 60);
}

std::string ObjectListLine(const AiObject& object) {
    return std::to_string(object.sim_object_id) + " " + object.send_id + " " +
           (object.in_use ? "true" : "false");
}

std::vector<std::string> RouteLines(const AiObject& object) {
    std::vector<std::string> lines;
    lines.push_back(std::string("route ") + (object.route_complete ? "complete" : "") +
                    " start: " + std::to_string(object.start_time));
    // Each coordinate is eight wide with a blank before it: eight wide alone would run a
    // two-digit latitude into the ":" before it, and the view writes 45.5 as " 45.50000".
    const auto coordinate = [](double value) { return " " + FormatFixed(value, 8, 5); };
    for (std::size_t i = 0; i < object.waypoints.size(); ++i) {
        const AiWaypoint& point = object.waypoints[i];
        lines.push_back(std::to_string(i) + ":" + coordinate(point.latitude) + "," +
                        coordinate(point.longitude) + "," + coordinate(point.altitude) + "," +
                        FormatFixed(point.speed_kt, 4, 0) + "," + std::to_string(point.flags));
    }
    return lines;
}

}  // namespace tavoro
