#include "simhost/SimConnectServer.h"

#include <QLocalSocket>
#include <QMetaObject>
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "platform/SimConnectMessages.h"
#include "platform/SimHostWire.h"

namespace tavoro::simhost {
namespace {

// "No particular argument", as the library writes it.
constexpr std::uint32_t kUnknownIndex = 0;

// Bounds on what one client can make the stand-in hold, so that no sequence of calls can
// exhaust it: the real simulator has limits of its own and reports them the same way.
constexpr std::size_t kMaxConnections = 16;
constexpr std::size_t kMaxText = 4096;
constexpr std::size_t kMaxRecords = 10000;  // menu items, datums, mappings, ... per client
constexpr std::size_t kMaxObjects = 1000;   // AI objects, removed ones included
constexpr qint64 kMaxPendingOutput = 8 * 1024 * 1024;

constexpr double kSecondsPerDay = 86400;

const std::array<const char*, 3> kZuluEvents = {"ZULU_HOURS_SET", "ZULU_MINUTES_SET",
                                                "ZULU_DAY_SET"};
constexpr char kObjectAdded[] = "ObjectAdded";
constexpr char kObjectRemoved[] = "ObjectRemoved";
constexpr char kWaypointDatum[] = "AI Waypoint List";
constexpr char kEngineFailedDatum[] = "GENERAL ENG FAILED:";

std::optional<std::size_t> failureIndex(std::string_view name) {
    for (std::size_t i = 0; i < kFailureEvents.size(); ++i) {
        if (name == kFailureEvents[i]) {
            return i;
        }
    }
    return std::nullopt;
}

bool isMappable(std::string_view name) {
    return failureIndex(name) ||
           std::find(kZuluEvents.begin(), kZuluEvents.end(), name) != kZuluEvents.end();
}

// Engine k (1 to 4) of "GENERAL ENG FAILED:k"; none for any other name.
std::optional<std::size_t> failedEngine(std::string_view name) {
    const std::string_view prefix = kEngineFailedDatum;
    if (name.size() != prefix.size() + 1 || name.substr(0, prefix.size()) != prefix) {
        return std::nullopt;
    }
    const char digit = name.back();
    if (digit < '1' || digit > '4') {
        return std::nullopt;
    }
    return static_cast<std::size_t>(digit - '1');
}

std::vector<std::string_view> wordsOf(std::string_view text, bool letters_only) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < text.size()) {
        auto inWord = [&](char c) {
            return letters_only ? std::isalpha(static_cast<unsigned char>(c)) != 0 : c != ' ';
        };
        while (at < text.size() && !inWord(text[at])) {
            ++at;
        }
        const std::size_t start = at;
        while (at < text.size() && inWord(text[at])) {
            ++at;
        }
        if (at > start) {
            words.push_back(text.substr(start, at - start));
        }
    }
    return words;
}

bool sameLetters(std::string_view word, std::string_view lower) {
    return word.size() == lower.size() &&
           std::equal(word.begin(), word.end(), lower.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

double wrapDay(double seconds) {
    seconds = std::fmod(seconds, kSecondsPerDay);
    return seconds < 0 ? seconds + kSecondsPerDay : seconds;
}

bool readField(WireReader& reader, std::uint32_t& value) {
    return reader.word(value);
}
bool readField(WireReader& reader, float& value) {
    return reader.real(value);
}
bool readField(WireReader& reader, double& value) {
    return reader.real64(value);
}
bool readField(WireReader& reader, std::string& value) {
    return reader.text(value) && value.size() <= kMaxText;
}
bool readField(WireReader& reader, std::vector<std::uint8_t>& value) {
    return reader.blob(value);
}

}  // namespace

std::uint32_t AiObjectTypeOf(std::string_view title) {
    static constexpr std::array<const char*, 5> kBoatWords = {"boat", "ship", "ferry", "yacht",
                                                              "tanker"};
    static constexpr std::array<const char*, 5> kAircraftWords = {"plane", "aircraft", "airliner",
                                                                  "jet", "helicopter"};
    const std::vector<std::string_view> words = wordsOf(title, true);
    auto hasAny = [&](const auto& list) {
        return std::any_of(words.begin(), words.end(), [&](std::string_view word) {
            return std::any_of(list.begin(), list.end(),
                               [&](const char* wanted) { return sameLetters(word, wanted); });
        });
    };
    if (hasAny(kBoatWords)) {
        return kSimObjectBoat;
    }
    if (hasAny(kAircraftWords)) {
        return kSimObjectAircraft;
    }
    return kSimObjectGround;
}

bool LooksLikeObservation(std::string_view text) {
    const std::vector<std::string_view> words = wordsOf(text, false);
    return words.size() >= 2 && words[0].size() == 4 &&
           std::all_of(words[0].begin(), words[0].end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

struct SimConnectServer::Connection {
    std::uint32_t id = 0;
    QLocalSocket* socket = nullptr;  // a child of the server, deleted when dropped
    WireFrameDecoder decoder;
    bool open = false;
    bool closing = false;  // dropped; its end is queued and it gets nothing more
    std::size_t records = 0;
    std::vector<SimMenuItem> menu;
};

// One call of one client: reads its arguments, carries it out on the shared state, and
// sends the messages it provokes. Each handler returns the call's result, or none when the
// arguments cannot be read, which drops the client.
class SimConnectServer::CallHandler {
public:
    CallHandler(SimConnectServer& server, Connection& connection, std::uint32_t send_id,
                WireReader& reader)
        : server_(server),
          connection_(connection),
          state_(server.state_),
          send_id_(send_id),
          reader_(reader) {}

    std::optional<SimResult> Run(std::uint32_t number) {
        if (number < static_cast<std::uint32_t>(SimCall::kOpen) ||
            number > static_cast<std::uint32_t>(SimCall::kWeatherSetObservation)) {
            return std::nullopt;
        }
        const auto call = static_cast<SimCall>(number);
        // The library refuses calls on a handle that is not open, without asking anyone.
        if (call != SimCall::kOpen && !connection_.open) {
            return kSimFail;
        }
        switch (call) {
            case SimCall::kOpen:
                return open();
            case SimCall::kClose:
                return close();
            case SimCall::kMenuAddItem:
                return menuAddItem();
            case SimCall::kMenuAddSubItem:
                return menuAddSubItem();
            case SimCall::kMenuDeleteSubItem:
                return menuDeleteSubItem();
            case SimCall::kMenuDeleteItem:
                return menuDeleteItem();
            case SimCall::kAddToDataDefinition:
                return addToDataDefinition();
            case SimCall::kMapClientEventToSimEvent:
                return mapClientEvent();
            case SimCall::kAddClientEventToNotificationGroup:
                return addToGroup();
            case SimCall::kSetNotificationGroupPriority:
                return setGroupPriority();
            case SimCall::kSubscribeToSystemEvent:
                return subscribe();
            case SimCall::kRequestDataOnSimObjectType:
                return requestData();
            case SimCall::kSetDataOnSimObject:
                return setData();
            case SimCall::kTransmitClientEvent:
                return transmit();
            case SimCall::kAICreateSimulatedObject:
                return createObject();
            case SimCall::kAIRemoveObject:
                return removeObject();
            case SimCall::kWeatherRequestObservationAtStation: {
                std::uint32_t request;
                std::string icao;
                return read(request, icao) ? observeStation(request, icao) : std::nullopt;
            }
            case SimCall::kWeatherRequestObservationAtNearestStation: {
                std::uint32_t request;
                float latitude, longitude;
                return read(request, latitude, longitude) ? observe(request) : std::nullopt;
            }
            case SimCall::kWeatherRequestInterpolatedObservation: {
                std::uint32_t request;
                float latitude, longitude, altitude;
                return read(request, latitude, longitude, altitude)
                           ? observe(request, /*interpolated=*/true)
                           : std::nullopt;
            }
            case SimCall::kWeatherSetModeCustom:
                if (!read()) {
                    return std::nullopt;
                }
                state_.weather.custom_mode = true;
                return kSimOk;
            case SimCall::kWeatherSetObservation:
                return setObservation();
        }
        return std::nullopt;
    }

private:
    // Every argument, and nothing after them.
    template <typename... Fields>
    bool read(Fields&... fields) {
        return (readField(reader_, fields) && ...) && reader_.finished();
    }

    // The server-side error of this call: S_OK now, the exception as a message.
    SimResult exception(std::uint32_t code, std::uint32_t index) {
        server_.sendMessage(connection_, MakeSimException(code, send_id_, index));
        return kSimOk;
    }

    // One more thing kept for this client; false once it has reached its bound.
    bool record() {
        if (connection_.records >= kMaxRecords) {
            return false;
        }
        ++connection_.records;
        return true;
    }

    SimConnectSession& session() { return *server_.sessionOf(connection_); }

    std::vector<SimMenuItem>::iterator findMenu(std::uint32_t event_id) {
        return std::find_if(connection_.menu.begin(), connection_.menu.end(),
                            [&](const SimMenuItem& item) { return item.event_id == event_id; });
    }
    bool isTopItem(std::uint32_t event_id) {
        auto item = findMenu(event_id);
        return item != connection_.menu.end() && item->parent_event == kSimUnused;
    }

    SimAiObject* liveObject(std::uint32_t object_id) {
        for (SimAiObject& object : state_.ai_objects) {
            if (object.object_id == object_id && !object.removed) {
                return &object;
            }
        }
        return nullptr;
    }

    std::optional<SimResult> open() {
        std::string name;
        if (!read(name)) {
            return std::nullopt;
        }
        if (connection_.open) {
            return kSimFail;
        }
        connection_.open = true;
        SimConnectSession session;
        session.connection = connection_.id;
        session.name = name;
        state_.simconnect_sessions.push_back(std::move(session));
        server_.publish();
        return kSimOk;
    }

    std::optional<SimResult> close() {
        if (!read()) {
            return std::nullopt;
        }
        server_.forget(connection_);
        return kSimOk;
    }

    std::optional<SimResult> menuAddItem() {
        std::string text;
        std::uint32_t event_id, data;
        if (!read(text, event_id, data)) {
            return std::nullopt;
        }
        // Menu events share one space: a pick must name exactly one item.
        if (findMenu(event_id) != connection_.menu.end()) {
            return exception(kSimExceptionEventIdDuplicate, 2);
        }
        if (!record()) {
            return exception(kSimExceptionError, kUnknownIndex);
        }
        connection_.menu.push_back(SimMenuItem{event_id, kSimUnused, text, data});
        server_.publish();
        return kSimOk;
    }

    std::optional<SimResult> menuAddSubItem() {
        std::uint32_t parent, sub_event, data;
        std::string text;
        if (!read(parent, text, sub_event, data)) {
            return std::nullopt;
        }
        if (!isTopItem(parent)) {
            return exception(kSimExceptionUnrecognizedId, 1);
        }
        if (findMenu(sub_event) != connection_.menu.end()) {
            return exception(kSimExceptionEventIdDuplicate, 3);
        }
        if (!record()) {
            return exception(kSimExceptionError, kUnknownIndex);
        }
        connection_.menu.push_back(SimMenuItem{sub_event, parent, text, data});
        server_.publish();
        return kSimOk;
    }

    std::optional<SimResult> menuDeleteSubItem() {
        std::uint32_t parent, sub_event;
        if (!read(parent, sub_event)) {
            return std::nullopt;
        }
        if (!isTopItem(parent)) {
            return exception(kSimExceptionUnrecognizedId, 1);
        }
        auto item = findMenu(sub_event);
        if (item == connection_.menu.end() || item->parent_event != parent) {
            return exception(kSimExceptionUnrecognizedId, 2);
        }
        connection_.menu.erase(item);
        server_.publish();
        return kSimOk;
    }

    std::optional<SimResult> menuDeleteItem() {
        std::uint32_t event_id;
        if (!read(event_id)) {
            return std::nullopt;
        }
        if (!isTopItem(event_id)) {
            return exception(kSimExceptionUnrecognizedId, 1);
        }
        // The item's sub-items go with it.
        std::erase_if(connection_.menu, [&](const SimMenuItem& item) {
            return item.event_id == event_id || item.parent_event == event_id;
        });
        server_.publish();
        return kSimOk;
    }

    std::optional<SimResult> addToDataDefinition() {
        std::uint32_t define_id, type, datum_id;
        std::string name, units;
        float epsilon;
        if (!read(define_id, name, units, type, epsilon, datum_id)) {
            return std::nullopt;
        }
        if (name.empty()) {
            return exception(kSimExceptionNameUnrecognized, 2);
        }
        if (!record()) {
            return exception(kSimExceptionError, kUnknownIndex);
        }
        session().definitions[define_id].push_back(SimDatum{name, units, type});
        return kSimOk;
    }

    std::optional<SimResult> mapClientEvent() {
        std::uint32_t event_id;
        std::string name;
        if (!read(event_id, name)) {
            return std::nullopt;
        }
        if (session().mapped_events.count(event_id) != 0) {
            return exception(kSimExceptionEventIdDuplicate, 1);
        }
        if (!isMappable(name)) {
            return exception(kSimExceptionNameUnrecognized, 2);
        }
        if (!record()) {
            return exception(kSimExceptionError, kUnknownIndex);
        }
        session().mapped_events[event_id] = name;
        return kSimOk;
    }

    std::optional<SimResult> addToGroup() {
        std::uint32_t group, event_id, maskable;
        if (!read(group, event_id, maskable)) {
            return std::nullopt;
        }
        if (!record()) {
            return exception(kSimExceptionError, kUnknownIndex);
        }
        session().notification_groups[group].push_back(SimGroupEvent{event_id, maskable != 0});
        return kSimOk;
    }

    std::optional<SimResult> setGroupPriority() {
        std::uint32_t group, priority;
        if (!read(group, priority)) {
            return std::nullopt;
        }
        if (session().notification_groups.count(group) == 0) {
            return exception(kSimExceptionUnrecognizedId, 1);
        }
        session().group_priorities[group] = priority;
        return kSimOk;
    }

    std::optional<SimResult> subscribe() {
        std::uint32_t event_id;
        std::string name;
        if (!read(event_id, name)) {
            return std::nullopt;
        }
        if (name != kObjectAdded && name != kObjectRemoved) {
            return exception(kSimExceptionNameUnrecognized, 2);
        }
        if (session().system_events.count(event_id) != 0) {
            return exception(kSimExceptionEventIdDuplicate, 1);
        }
        if (!record()) {
            return exception(kSimExceptionError, kUnknownIndex);
        }
        session().system_events[event_id] = name;
        return kSimOk;
    }

    // The user aircraft's values for a definition; the stand-in serves the engine-failure
    // flags, as 32-bit floats.
    std::optional<SimResult> requestData() {
        std::uint32_t request, define_id, radius, object_type;
        if (!read(request, define_id, radius, object_type)) {
            return std::nullopt;
        }
        auto definition = session().definitions.find(define_id);
        if (definition == session().definitions.end()) {
            return exception(kSimExceptionUnrecognizedId, 2);
        }
        std::vector<float> values;
        for (const SimDatum& datum : definition->second) {
            const std::optional<std::size_t> engine = failedEngine(datum.name);
            if (!engine) {
                return exception(kSimExceptionNameUnrecognized, 2);
            }
            if (datum.type != kSimDataFloat32) {
                return exception(kSimExceptionInvalidDataType, 2);
            }
            values.push_back(state_.failures[*engine] ? 1.0f : 0.0f);
        }
        server_.sendMessage(connection_,
                            MakeSimObjectFloats(request, kSimUserObject, define_id, values));
        return kSimOk;
    }

    // The stand-in can set one thing: an AI object's waypoint list.
    std::optional<SimResult> setData() {
        std::uint32_t define_id, object_id, flags, count, unit_size;
        std::vector<std::uint8_t> block;
        if (!read(define_id, object_id, flags, count, unit_size, block)) {
            return std::nullopt;
        }
        auto definition = session().definitions.find(define_id);
        if (definition == session().definitions.end()) {
            return exception(kSimExceptionUnrecognizedId, 1);
        }
        SimAiObject* object = liveObject(object_id);
        if (object == nullptr) {
            return exception(kSimExceptionUnrecognizedId, 2);
        }
        const std::vector<SimDatum>& datums = definition->second;
        if (datums.size() != 1 || datums[0].name != kWaypointDatum ||
            datums[0].type != kSimDataWaypoint) {
            return exception(kSimExceptionSizeMismatch, 1);
        }
        if (unit_size != sizeof(AiWaypoint)) {
            return exception(kSimExceptionSizeMismatch, 5);
        }
        if (block.size() != std::uint64_t{count} * sizeof(AiWaypoint)) {
            return exception(kSimExceptionSizeMismatch, 4);
        }
        // The block is the library's packed layout, which AiWaypoint is.
        std::vector<AiWaypoint> waypoints(count);
        if (count > 0) {
            std::memcpy(waypoints.data(), block.data(), block.size());
        }
        object->waypoints = std::move(waypoints);
        return kSimOk;
    }

    std::optional<SimResult> transmit() {
        std::uint32_t object_id, event_id, data, group, flags;
        if (!read(object_id, event_id, data, group, flags)) {
            return std::nullopt;
        }
        auto mapped = session().mapped_events.find(event_id);
        if (mapped == session().mapped_events.end()) {
            return exception(kSimExceptionUnrecognizedId, 2);
        }
        // Only the user aircraft has systems in the stand-in.
        if (object_id != kSimUserObject) {
            return exception(kSimExceptionUnrecognizedId, 1);
        }
        const std::string& name = mapped->second;
        if (std::optional<std::size_t> failure = failureIndex(name)) {
            state_.failures[*failure] = !state_.failures[*failure];
            return kSimOk;
        }
        SimClock& clock = state_.clock;
        const double before = clock.zulu_seconds;
        if (name == "ZULU_HOURS_SET") {
            if (data > 23) {
                return exception(kSimExceptionDataError, 3);
            }
            state_.zulu_set.hours = data;
            clock.zulu_seconds = data * 3600.0 + std::fmod(before, 3600.0);
        } else if (name == "ZULU_MINUTES_SET") {
            if (data > 59) {
                return exception(kSimExceptionDataError, 3);
            }
            state_.zulu_set.minutes = data;
            clock.zulu_seconds =
                std::floor(before / 3600.0) * 3600.0 + data * 60.0 + std::fmod(before, 60.0);
        } else {
            // The day of the year.
            if (data < 1 || data > 366) {
                return exception(kSimExceptionDataError, 3);
            }
            state_.zulu_set.day = data;
        }
        // Local time keeps its offset from zulu, as the time zone has not changed.
        clock.local_seconds = wrapDay(clock.local_seconds + (clock.zulu_seconds - before));
        return kSimOk;
    }

    std::optional<SimResult> createObject() {
        std::string title;
        SimInitPosition position;
        std::uint32_t request;
        if (!read(title, position.latitude, position.longitude, position.altitude, position.pitch,
                  position.bank, position.heading, position.on_ground, position.airspeed,
                  request)) {
            return std::nullopt;
        }
        if (title.empty()) {
            return exception(kSimExceptionCreateObjectFailed, 1);
        }
        if (state_.ai_objects.size() >= kMaxObjects) {
            return exception(kSimExceptionTooManyObjects, kUnknownIndex);
        }
        SimAiObject object;
        object.object_id = server_.next_object_id_++;
        object.object_type = AiObjectTypeOf(title);
        object.title = title;
        object.position = position;
        state_.ai_objects.push_back(object);
        server_.sendMessage(connection_, MakeSimAssignedObjectId(request, object.object_id));
        server_.notifyObject(kObjectAdded, object);
        return kSimOk;
    }

    std::optional<SimResult> removeObject() {
        std::uint32_t object_id, request;
        if (!read(object_id, request)) {
            return std::nullopt;
        }
        SimAiObject* object = liveObject(object_id);
        if (object == nullptr) {
            return exception(kSimExceptionUnrecognizedId, 1);
        }
        object->removed = true;
        server_.notifyObject(kObjectRemoved, *object);
        return kSimOk;
    }

    // One weather around the aircraft: the nearest station and any position observe the
    // current observation; an interpolated one names no station, as the simulator's do.
    std::optional<SimResult> observe(std::uint32_t request, bool interpolated = false) {
        if (!state_.weather.metar) {
            return exception(kSimExceptionNoObservation, 2);
        }
        const std::string& metar = *state_.weather.metar;
        server_.sendMessage(connection_,
                            MakeSimWeatherObservation(
                                request, interpolated ? InterpolatedObservation(metar) : metar));
        return kSimOk;
    }

    // A station by name answers its last observation; one never observed is unknown.
    std::optional<SimResult> observeStation(std::uint32_t request, const std::string& icao) {
        const auto station = state_.weather.stations.find(icao);
        if (station == state_.weather.stations.end()) {
            return exception(kSimExceptionNoObservation, 3);
        }
        server_.sendMessage(connection_, MakeSimWeatherObservation(request, station->second));
        return kSimOk;
    }

    std::optional<SimResult> setObservation() {
        std::uint32_t seconds;
        std::string metar;
        if (!read(seconds, metar)) {
            return std::nullopt;
        }
        if (!LooksLikeObservation(metar)) {
            return exception(kSimExceptionInvalidMetar, 2);
        }
        if (!record()) {
            return exception(kSimExceptionError, kUnknownIndex);
        }
        // The simulator now reports the weather it was given.
        state_.weather.injected.push_back(metar);
        state_.weather.Observe(metar);
        return kSimOk;
    }

    SimConnectServer& server_;
    Connection& connection_;
    SimState& state_;
    std::uint32_t send_id_;
    WireReader& reader_;
};

SimConnectServer::SimConnectServer(SimState& state, QObject* parent)
    : QObject(parent), state_(state) {
    connect(&server_, &QLocalServer::newConnection, this, &SimConnectServer::onNewConnection);
}

SimConnectServer::~SimConnectServer() {
    // The sockets are the server's children and go with it; none may call back into a
    // half-destroyed object meanwhile.
    for (auto& [id, connection] : connections_) {
        connection->socket->disconnect(this);
    }
}

QString SimConnectServer::Listen(const QString& path) {
    // The folder is this user's own; a socket left there by a stand-in that was killed
    // would otherwise stop every later one from starting.
    QLocalServer::removeServer(path);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(path)) {
        return path + ": " + server_.errorString();
    }
    return {};
}

bool SimConnectServer::FireMenuEvent(std::uint32_t event_id) {
    for (auto& [id, connection] : connections_) {
        if (!connection->open || connection->closing) {
            continue;
        }
        for (const SimMenuItem& item : connection->menu) {
            if (item.event_id == event_id) {
                sendMessage(*connection, MakeSimEvent(kSimUnused, event_id, item.data));
                return true;
            }
        }
    }
    return false;
}

void SimConnectServer::onNewConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        if (connections_.size() >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const std::uint32_t id = next_connection_++;
        auto connection = std::make_unique<Connection>();
        connection->id = id;
        connection->socket = socket;
        connections_[id] = std::move(connection);
        connect(socket, &QLocalSocket::readyRead, this, [this, id] { onReadable(id); });
        connect(socket, &QLocalSocket::disconnected, this, [this, id] {
            auto found = connections_.find(id);
            if (found != connections_.end()) {
                scheduleDrop(*found->second);
            }
        });
    }
}

void SimConnectServer::onReadable(std::uint32_t id) {
    auto found = connections_.find(id);
    if (found == connections_.end()) {
        return;
    }
    Connection& connection = *found->second;
    const QByteArray bytes = connection.socket->readAll();
    if (connection.closing) {
        return;
    }
    connection.decoder.Feed(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                            static_cast<std::size_t>(bytes.size()));
    // Held calls wait in the decoder; a client that keeps sending meanwhile is cut off
    // before it makes us hold more than its answers may.
    if (connection.decoder.buffered() > static_cast<std::size_t>(kMaxPendingOutput)) {
        scheduleDrop(connection);
        return;
    }
    serve(connection);
}

void SimConnectServer::serve(Connection& connection) {
    std::vector<std::uint8_t> payload;
    while (!held_ && !connection.closing) {
        const WireFrameDecoder::Status status = connection.decoder.Next(payload);
        if (status == WireFrameDecoder::Status::kNeedMore) {
            return;
        }
        std::optional<SimResult> result;
        std::uint32_t number = 0;
        std::uint32_t send_id = 0;
        if (status == WireFrameDecoder::Status::kFrame) {
            WireReader reader(payload.data(), payload.size());
            if (reader.word(number) && reader.word(send_id)) {
                if (before_call_) {
                    before_call_();
                }
                result = CallHandler(*this, connection, send_id, reader).Run(number);
            }
        }
        // A client that sends what it should not is cut off: nothing it says after that
        // can be trusted to be framed as it meant.
        if (!result) {
            scheduleDrop(connection);
            return;
        }
        // After the messages the call provoked, which the client relies on.
        send(connection, MakeReplyFrame(send_id, *result));
    }
}

void SimConnectServer::Release() {
    held_ = false;
    std::vector<std::uint32_t> ids;
    for (const auto& [id, connection] : connections_) {
        ids.push_back(id);
    }
    for (std::uint32_t id : ids) {
        auto found = connections_.find(id);
        if (found != connections_.end()) {
            serve(*found->second);
        }
    }
}

void SimConnectServer::DropClients() {
    std::vector<std::uint32_t> ids;
    for (const auto& [id, connection] : connections_) {
        ids.push_back(id);
    }
    // Here, not queued: by the time the command answers, every client has been cut off.
    for (std::uint32_t id : ids) {
        dropConnection(id);
    }
}

void SimConnectServer::scheduleDrop(Connection& connection) {
    if (connection.closing) {
        return;
    }
    connection.closing = true;
    const std::uint32_t id = connection.id;
    QMetaObject::invokeMethod(
        this, [this, id] { dropConnection(id); }, Qt::QueuedConnection);
}

void SimConnectServer::dropConnection(std::uint32_t id) {
    auto found = connections_.find(id);
    if (found == connections_.end()) {
        return;
    }
    Connection& connection = *found->second;
    forget(connection);
    connection.socket->disconnect(this);
    connection.socket->abort();
    connection.socket->deleteLater();
    connections_.erase(found);
}

void SimConnectServer::forget(Connection& connection) {
    connection.open = false;
    connection.records = 0;
    connection.menu.clear();
    std::erase_if(state_.simconnect_sessions, [&](const SimConnectSession& session) {
        return session.connection == connection.id;
    });
    publish();
}

void SimConnectServer::send(Connection& connection, const std::vector<std::uint8_t>& frame) {
    if (connection.closing) {
        return;
    }
    connection.socket->write(reinterpret_cast<const char*>(frame.data()),
                             static_cast<qint64>(frame.size()));
    // A client that stops reading would make us hold its answers for ever.
    if (connection.socket->bytesToWrite() > kMaxPendingOutput) {
        scheduleDrop(connection);
    }
}

void SimConnectServer::sendMessage(Connection& connection,
                                   const std::vector<std::uint8_t>& message) {
    send(connection, MakeMessageFrame(message));
}

void SimConnectServer::notifyObject(std::string_view system_event, const SimAiObject& object) {
    for (auto& [id, connection] : connections_) {
        const SimConnectSession* session = sessionOf(*connection);
        if (session == nullptr) {
            continue;
        }
        for (const auto& [event_id, name] : session->system_events) {
            if (name == system_event) {
                sendMessage(*connection,
                            MakeSimObjectAddRemove(kSimUnused, event_id, object.object_id,
                                                   object.object_type));
            }
        }
    }
}

SimConnectSession* SimConnectServer::sessionOf(const Connection& connection) {
    for (SimConnectSession& session : state_.simconnect_sessions) {
        if (session.connection == connection.id) {
            return &session;
        }
    }
    return nullptr;
}

void SimConnectServer::publish() {
    state_.menu_items.clear();
    for (const auto& [id, connection] : connections_) {
        if (connection->open) {
            state_.menu_items.insert(state_.menu_items.end(), connection->menu.begin(),
                                     connection->menu.end());
        }
    }
    state_.simconnect_client = !state_.simconnect_sessions.empty();
}

}  // namespace tavoro::simhost
