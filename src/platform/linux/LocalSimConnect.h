#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/SimConnectLibrary.h"
#include "platform/SimHostWire.h"
#include "platform/linux/SimRendezvous.h"

namespace tavoro {

// The SimConnect library on Linux: each call goes to the stand-in simulator over the
// local socket <folder>/SimConnect and waits for its answer before returning, as the
// polling step on the user-interface thread expects. Plain POSIX, no event loop.
//
// The stand-in sends the messages a call provokes (an exception, an assigned object id,
// requested data) before that call's reply, so they are already kept when the call
// returns: a CallDispatch right after a request delivers its answer.
//
// Replies are matched to their calls by send id. A call whose reply is late fails but the
// connection stays: its reply is passed over when it comes, the messages before it kept.
// A connection lost for good (the stand-in hung up, broke the wire, flooded us, or left
// too many calls unanswered) is reported as the library reports a simulator that quit:
// the next CallDispatch delivers one quit message, and every call fails until Open.
class LocalSimConnect : public SimConnectLibrary {
public:
    // Long enough for a stand-in on a loaded machine, short enough that a hung one costs
    // the user-interface thread no more than one FSUIPC try does (2000 ms as well).
    static constexpr std::chrono::milliseconds kReplyTimeout{2000};
    // Calls whose replies may still be outstanding; one more and the stand-in is taken for
    // hung, so that it cannot cost the user-interface thread a time-out every second.
    static constexpr std::size_t kMaxAbandonedCalls = 4;
    // What one call or one dispatch may read, and what may be kept for the next dispatch,
    // by count and by bytes: far above what a working stand-in sends in a second, bounds
    // past which it is taken for broken rather than let us grow without end.
    static constexpr std::size_t kCallReadBudget = 4 * 1024 * 1024;
    static constexpr std::size_t kMaxKeptMessages = 8192;
    static constexpr std::size_t kMaxKeptBytes = 8 * 1024 * 1024;

    explicit LocalSimConnect(std::string folder = SimRendezvousFolder(),
                             std::chrono::milliseconds reply_timeout = kReplyTimeout);
    ~LocalSimConnect() override;
    LocalSimConnect(const LocalSimConnect&) = delete;
    LocalSimConnect& operator=(const LocalSimConnect&) = delete;

    // Connected and opened; false after Close or once the connection dropped.
    bool connected() const { return fd_ >= 0; }
    // For calls made from now on.
    void set_reply_timeout(std::chrono::milliseconds timeout) { reply_timeout_ = timeout; }
    // The send id of the last call sent, which the stand-in's exceptions name (the
    // library's GetLastSentPacketID).
    std::uint32_t last_send_id() const { return next_send_id_ - 1; }

    SimResult Open(std::string_view name) override;
    SimResult Close() override;

    SimResult MenuAddItem(std::string_view text, std::uint32_t menu_event,
                          std::uint32_t data) override;
    SimResult MenuAddSubItem(std::uint32_t menu_event, std::string_view text,
                             std::uint32_t sub_event, std::uint32_t data) override;
    SimResult MenuDeleteSubItem(std::uint32_t menu_event, std::uint32_t sub_event) override;
    SimResult MenuDeleteItem(std::uint32_t menu_event) override;

    SimResult AddToDataDefinition(std::uint32_t define_id, std::string_view datum_name,
                                  std::string_view units, std::uint32_t datum_type, float epsilon,
                                  std::uint32_t datum_id) override;
    SimResult MapClientEventToSimEvent(std::uint32_t event_id,
                                       std::string_view event_name) override;
    SimResult AddClientEventToNotificationGroup(std::uint32_t group_id, std::uint32_t event_id,
                                                bool maskable) override;
    SimResult SetNotificationGroupPriority(std::uint32_t group_id, std::uint32_t priority) override;
    SimResult SubscribeToSystemEvent(std::uint32_t event_id,
                                     std::string_view system_event_name) override;

    SimResult RequestDataOnSimObjectType(std::uint32_t request_id, std::uint32_t define_id,
                                         std::uint32_t radius_m,
                                         std::uint32_t object_type) override;
    SimResult CallDispatch(const SimMessageProc& proc) override;
    SimResult SetDataOnSimObject(std::uint32_t define_id, std::uint32_t object_id,
                                 std::uint32_t flags, std::uint32_t count, std::uint32_t unit_size,
                                 const void* data) override;
    SimResult TransmitClientEvent(std::uint32_t object_id, std::uint32_t event_id,
                                  std::uint32_t data, std::uint32_t group_id,
                                  std::uint32_t flags) override;

    SimResult AICreateSimulatedObject(std::string_view container_title,
                                      const SimInitPosition& position,
                                      std::uint32_t request_id) override;
    SimResult AIRemoveObject(std::uint32_t object_id, std::uint32_t request_id) override;

    SimResult WeatherRequestObservationAtStation(std::uint32_t request_id,
                                                 std::string_view icao) override;
    SimResult WeatherRequestObservationAtNearestStation(std::uint32_t request_id, float latitude,
                                                        float longitude) override;
    SimResult WeatherRequestInterpolatedObservation(std::uint32_t request_id, float latitude,
                                                    float longitude, float altitude_m) override;
    SimResult WeatherSetModeCustom() override;
    SimResult WeatherSetObservation(std::uint32_t seconds, std::string_view metar) override;

private:
    using Clock = std::chrono::steady_clock;
    enum class Received { kSome, kEnded, kFlooded };

    // Sends one call, its arguments added by `add_arguments`, with the next send id, and
    // waits for its reply. E_FAIL without I/O while closed; E_FAIL when no reply comes in
    // time; E_FAIL, and the connection lost, when the call cannot be sent or the
    // connection breaks.
    template <typename AddArguments>
    SimResult call(SimCall number, AddArguments&& add_arguments);
    bool sendAll(const std::vector<std::uint8_t>& bytes, Clock::time_point deadline);
    // Reads what the socket holds, waiting until `deadline` for the first bytes (not at all
    // when it has passed). kEnded when the connection ended or broke, kFlooded once the
    // current call or dispatch has read more than kCallReadBudget.
    Received receive(Clock::time_point deadline);
    // Moves the decoded message frames to the kept messages; the reply to `send_id` (0:
    // none awaited), if one came, into `result`; replies to abandoned calls are passed
    // over. False on a frame that breaks the protocol or past the bounds on kept messages.
    bool takeFrames(std::uint32_t send_id, std::optional<SimResult>& result);
    // Closes the connection and forgets what it held.
    void drop();
    // Drops the connection and leaves the quit message for the next dispatch.
    void lose();

    std::string folder_;
    std::chrono::milliseconds reply_timeout_;
    int fd_ = -1;
    std::uint32_t next_send_id_ = 1;
    // Counts connections that ended, so a dispatch can tell that its procedure closed
    // (or replaced) the one it was delivering from.
    std::uint64_t generation_ = 0;
    WireFrameDecoder decoder_;
    std::deque<std::vector<std::uint8_t>> messages_;
    std::size_t kept_bytes_ = 0;  // of messages_
    std::size_t read_this_call_ = 0;
    // Send ids of calls that gave up waiting, whose replies are still to come.
    std::vector<std::uint32_t> abandoned_;
};

}  // namespace tavoro
