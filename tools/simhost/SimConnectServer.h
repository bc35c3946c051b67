#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "simhost/SimState.h"

namespace tavoro::simhost {

// How a created AI object's kind follows from its title, for the stand-in's help text.
inline constexpr char kAiObjectTypeRule[] =
    "An AI object's kind follows from the words of its title (letter case ignored): boat,\n"
    "ship, ferry, yacht or tanker make a boat (type 4); plane, aircraft, airliner, jet or\n"
    "helicopter an aircraft (type 2); anything else a ground vehicle (type 5). The boat\n"
    "words are looked for first.";

// The kind of object a title makes, by the rule above.
std::uint32_t AiObjectTypeOf(std::string_view title);

// What WeatherSetObservation takes, for the help text.
inline constexpr char kObservationRule[] =
    "A set observation is taken when it has at least two words separated by blanks, the\n"
    "first of exactly four letters or digits (a station); it then becomes what observation\n"
    "requests answer. Anything else is refused with exception 14.";

// Whether WeatherSetObservation takes `text` as an observation, by the rule above.
bool LooksLikeObservation(std::string_view text);

// The stand-in's SimConnect side: clients on a local socket, each with the definitions,
// event mappings, subscriptions and menu items it set up, answering the library's calls
// from the shared state and sending the messages a simulator would. As the real library
// does, a call the simulator cannot carry out still answers S_OK and an exception message
// follows, naming the call's send id and the argument at fault.
class SimConnectServer : public QObject {
    Q_OBJECT

public:
    explicit SimConnectServer(SimState& state, QObject* parent = nullptr);
    ~SimConnectServer() override;

    // Listens on the socket at `path`; the reason when it cannot, the empty text when it
    // listens.
    QString Listen(const QString& path);

    // Runs before each call is carried out: the owner brings the shared state up to the
    // present there, so that a clock set or a data request starts from the current time.
    void SetBeforeCall(std::function<void()> before_call) { before_call_ = std::move(before_call); }

    // The "menu N" command: the client that added a menu item or sub-item with event N
    // receives that event with the item's data. False when no client did.
    bool FireMenuEvent(std::uint32_t event_id);

    // The "simconnect" commands, for tests of a slow or lost simulator. Hold: calls are
    // read but left unanswered until Release, which answers them in order. Drop: every
    // client's connection is closed at once, as if the SimConnect side had gone; the
    // stand-in goes on serving new ones.
    void Hold() { held_ = true; }
    void Release();
    void DropClients();

private:
    struct Connection;
    class CallHandler;
    friend class CallHandler;

    void onNewConnection();
    void onReadable(std::uint32_t id);
    // Carries out the calls the connection has sent so far, unless calls are held.
    void serve(Connection& connection);
    // Ends a connection from the event loop, never from inside a handler that holds it.
    void scheduleDrop(Connection& connection);
    void dropConnection(std::uint32_t id);
    // Forgets what the connection set up; it stays connected.
    void forget(Connection& connection);
    void send(Connection& connection, const std::vector<std::uint8_t>& frame);
    void sendMessage(Connection& connection, const std::vector<std::uint8_t>& message);
    // The object-added or object-removed event to every client that subscribed to it.
    void notifyObject(std::string_view system_event, const SimAiObject& object);
    SimConnectSession* sessionOf(const Connection& connection);
    // state.menu_items and state.simconnect_client from the open connections.
    void publish();

    SimState& state_;
    std::function<void()> before_call_;
    QLocalServer server_;
    std::map<std::uint32_t, std::unique_ptr<Connection>> connections_;
    std::uint32_t next_connection_ = 1;
    std::uint32_t next_object_id_ = 1000;
    bool held_ = false;
};

}  // namespace tavoro::simhost
