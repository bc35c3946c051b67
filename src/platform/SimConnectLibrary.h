#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace tavoro {

// The simulator's client library, one call per function, shaped after the Windows
// library so that its own implementation can sit behind it. Every call returns the
// library's result word: 0 (S_OK) on success, a negative error otherwise. Calls made
// while the connection is closed fail.
using SimResult = std::int32_t;
constexpr SimResult kSimOk = 0;
constexpr SimResult kSimFail = static_cast<SimResult>(0x80004005u);  // E_FAIL

// Kinds of simulated objects, as the library numbers them.
enum SimObjectType : std::uint32_t {
    kSimObjectUser = 0,
    kSimObjectAll = 1,
    kSimObjectAircraft = 2,
    kSimObjectHelicopter = 3,
    kSimObjectBoat = 4,
    kSimObjectGround = 5,
};

// Data types of a data-definition datum, as the library numbers them.
enum SimDataType : std::uint32_t {
    kSimDataFloat32 = 3,
    kSimDataFloat64 = 4,
    kSimDataInitPosition = 12,
    kSimDataWaypoint = 14,
};

constexpr std::uint32_t kSimUserObject = 0;
constexpr std::uint32_t kSimUnused = 0xFFFFFFFFu;  // "no datum id", "unknown group"
constexpr std::uint32_t kSimGroupPriorityHighest = 1;
constexpr std::uint32_t kSimEventFlagGroupIdIsPriority = 16;

#pragma pack(push, 1)
// Where a created object starts: 56 bytes in the library's order.
struct SimInitPosition {
    double latitude = 0;
    double longitude = 0;
    double altitude = 0;
    double pitch = 0;
    double bank = 0;
    double heading = 0;
    std::uint32_t on_ground = 0;
    std::uint32_t airspeed = 0;
};
static_assert(sizeof(SimInitPosition) == 56);

// One point of an object's route: the library's packed 44-byte layout.
struct AiWaypoint {
    double latitude = 0;
    double longitude = 0;
    double altitude = 0;
    std::uint32_t flags = 0;
    double speed_kt = 0;
    double throttle_percent = 0;
};
static_assert(sizeof(AiWaypoint) == 44);
#pragma pack(pop)

// Receives one message: its bytes, starting with the library's header, and its size.
using SimMessageProc = std::function<void(const std::uint8_t* message, std::uint32_t size)>;

class SimConnectLibrary {
public:
    virtual ~SimConnectLibrary() = default;

    // Opens the one connection under the client's name (no window, no event handle,
    // configuration 0). A second Open after Close starts a new connection.
    virtual SimResult Open(std::string_view name) = 0;
    virtual SimResult Close() = 0;

    virtual SimResult MenuAddItem(std::string_view text, std::uint32_t menu_event,
                                  std::uint32_t data) = 0;
    virtual SimResult MenuAddSubItem(std::uint32_t menu_event, std::string_view text,
                                     std::uint32_t sub_event, std::uint32_t data) = 0;
    virtual SimResult MenuDeleteSubItem(std::uint32_t menu_event, std::uint32_t sub_event) = 0;
    virtual SimResult MenuDeleteItem(std::uint32_t menu_event) = 0;

    virtual SimResult AddToDataDefinition(std::uint32_t define_id, std::string_view datum_name,
                                          std::string_view units, std::uint32_t datum_type,
                                          float epsilon, std::uint32_t datum_id) = 0;
    virtual SimResult MapClientEventToSimEvent(std::uint32_t event_id,
                                               std::string_view event_name) = 0;
    virtual SimResult AddClientEventToNotificationGroup(std::uint32_t group_id,
                                                        std::uint32_t event_id, bool maskable) = 0;
    virtual SimResult SetNotificationGroupPriority(std::uint32_t group_id,
                                                   std::uint32_t priority) = 0;
    virtual SimResult SubscribeToSystemEvent(std::uint32_t event_id,
                                             std::string_view system_event_name) = 0;

    virtual SimResult RequestDataOnSimObjectType(std::uint32_t request_id, std::uint32_t define_id,
                                                 std::uint32_t radius_m,
                                                 std::uint32_t object_type) = 0;
    // Hands every pending message to `proc`, on the calling thread, before returning.
    // A connection lost for good (the simulator quit, went away or broke the link) is told
    // as the Windows library tells it, by a quit message (kSimRecvQuit), after which every
    // call fails until Close and Open.
    virtual SimResult CallDispatch(const SimMessageProc& proc) = 0;
    virtual SimResult SetDataOnSimObject(std::uint32_t define_id, std::uint32_t object_id,
                                         std::uint32_t flags, std::uint32_t count,
                                         std::uint32_t unit_size, const void* data) = 0;
    virtual SimResult TransmitClientEvent(std::uint32_t object_id, std::uint32_t event_id,
                                          std::uint32_t data, std::uint32_t group_id,
                                          std::uint32_t flags) = 0;

    virtual SimResult AICreateSimulatedObject(std::string_view container_title,
                                              const SimInitPosition& position,
                                              std::uint32_t request_id) = 0;
    virtual SimResult AIRemoveObject(std::uint32_t object_id, std::uint32_t request_id) = 0;

    virtual SimResult WeatherRequestObservationAtStation(std::uint32_t request_id,
                                                         std::string_view icao) = 0;
    virtual SimResult WeatherRequestObservationAtNearestStation(std::uint32_t request_id,
                                                                float latitude,
                                                                float longitude) = 0;
    virtual SimResult WeatherRequestInterpolatedObservation(std::uint32_t request_id,
                                                            float latitude, float longitude,
                                                            float altitude_m) = 0;
    virtual SimResult WeatherSetModeCustom() = 0;
    virtual SimResult WeatherSetObservation(std::uint32_t seconds, std::string_view metar) = 0;
};

}  // namespace tavoro
