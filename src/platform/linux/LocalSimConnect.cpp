#include "platform/linux/LocalSimConnect.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/SimConnectMessages.h"
#include "platform/linux/LocalSocket.h"

namespace tavoro {

LocalSimConnect::LocalSimConnect(std::string folder, std::chrono::milliseconds reply_timeout)
    : folder_(std::move(folder)), reply_timeout_(reply_timeout) {}

LocalSimConnect::~LocalSimConnect() {
    // No Close call: the stand-in treats the end of the connection as one.
    drop();
}

template <typename AddArguments>
SimResult LocalSimConnect::call(SimCall number, AddArguments&& add_arguments) {
    if (fd_ < 0) {
        return kSimFail;
    }
    const std::uint32_t send_id = next_send_id_++;
    WireWriter frame = SimCallFrame(number, send_id);
    add_arguments(frame);
    if (frame.payload_size() > kSimWireMaxFrame) {
        return kSimFail;
    }
    const auto deadline = Clock::now() + reply_timeout_;
    if (!sendAll(frame.Frame(), deadline)) {
        lose();
        return kSimFail;
    }
    read_this_call_ = 0;
    std::optional<SimResult> result;
    Received received = Received::kSome;
    bool late = false;
    for (;;) {
        // Frames read before the end of the connection still count: a reply may come
        // with the hang-up. A flood counts for nothing.
        if (received == Received::kFlooded || !takeFrames(send_id, result)) {
            lose();
            return kSimFail;
        }
        if (result) {
            return *result;
        }
        if (received == Received::kEnded) {
            lose();
            return kSimFail;
        }
        if (late) {
            // The user-interface thread cannot wait longer, but a slow stand-in is not a
            // lost one: the reply is passed over when it comes. One that has left too many
            // calls unanswered is taken for hung.
            if (abandoned_.size() >= kMaxAbandonedCalls) {
                lose();
            } else {
                abandoned_.push_back(send_id);
            }
            return kSimFail;
        }
        // Past the deadline there is still one look at what has arrived, so a thread that
        // was not scheduled for a while does not miss a reply that is waiting.
        late = Clock::now() >= deadline;
        received = receive(deadline);
    }
}

SimResult LocalSimConnect::Open(std::string_view name) {
    // One connection serves the program: opening again starts over on a new one.
    drop();
    // Non-blocking from the start, so that neither a full listen queue nor a stand-in
    // that stops reading can hold the user-interface thread past the time-out.
    const int fd =
        ConnectLocalSocket(folder_ + "/" + kSimConnectSocket, Clock::now() + reply_timeout_);
    if (fd < 0) {
        return kSimFail;
    }
    fd_ = fd;
    next_send_id_ = 1;
    const SimResult result = call(SimCall::kOpen, [&](WireWriter& w) { w.text(name); });
    if (result != kSimOk) {
        drop();
    }
    return result;
}

SimResult LocalSimConnect::Close() {
    if (fd_ < 0) {
        // The quit message of a lost connection is owed no more.
        drop();
        return kSimFail;
    }
    // Answered before we hang up, so the stand-in has forgotten this client (its menu
    // items, its subscriptions) by the time Close returns.
    const SimResult result = call(SimCall::kClose, [](WireWriter&) {});
    drop();
    return result;
}

SimResult LocalSimConnect::MenuAddItem(std::string_view text, std::uint32_t menu_event,
                                       std::uint32_t data) {
    return call(SimCall::kMenuAddItem,
                [&](WireWriter& w) { w.text(text).word(menu_event).word(data); });
}

SimResult LocalSimConnect::MenuAddSubItem(std::uint32_t menu_event, std::string_view text,
                                          std::uint32_t sub_event, std::uint32_t data) {
    return call(SimCall::kMenuAddSubItem,
                [&](WireWriter& w) { w.word(menu_event).text(text).word(sub_event).word(data); });
}

SimResult LocalSimConnect::MenuDeleteSubItem(std::uint32_t menu_event, std::uint32_t sub_event) {
    return call(SimCall::kMenuDeleteSubItem,
                [&](WireWriter& w) { w.word(menu_event).word(sub_event); });
}

SimResult LocalSimConnect::MenuDeleteItem(std::uint32_t menu_event) {
    return call(SimCall::kMenuDeleteItem, [&](WireWriter& w) { w.word(menu_event); });
}

SimResult LocalSimConnect::AddToDataDefinition(std::uint32_t define_id, std::string_view datum_name,
                                               std::string_view units, std::uint32_t datum_type,
                                               float epsilon, std::uint32_t datum_id) {
    return call(SimCall::kAddToDataDefinition, [&](WireWriter& w) {
        w.word(define_id)
            .text(datum_name)
            .text(units)
            .word(datum_type)
            .real(epsilon)
            .word(datum_id);
    });
}

SimResult LocalSimConnect::MapClientEventToSimEvent(std::uint32_t event_id,
                                                    std::string_view event_name) {
    return call(SimCall::kMapClientEventToSimEvent,
                [&](WireWriter& w) { w.word(event_id).text(event_name); });
}

SimResult LocalSimConnect::AddClientEventToNotificationGroup(std::uint32_t group_id,
                                                             std::uint32_t event_id,
                                                             bool maskable) {
    return call(SimCall::kAddClientEventToNotificationGroup,
                [&](WireWriter& w) { w.word(group_id).word(event_id).word(maskable ? 1 : 0); });
}

SimResult LocalSimConnect::SetNotificationGroupPriority(std::uint32_t group_id,
                                                        std::uint32_t priority) {
    return call(SimCall::kSetNotificationGroupPriority,
                [&](WireWriter& w) { w.word(group_id).word(priority); });
}

SimResult LocalSimConnect::SubscribeToSystemEvent(std::uint32_t event_id,
                                                  std::string_view system_event_name) {
    return call(SimCall::kSubscribeToSystemEvent,
                [&](WireWriter& w) { w.word(event_id).text(system_event_name); });
}

SimResult LocalSimConnect::RequestDataOnSimObjectType(std::uint32_t request_id,
                                                      std::uint32_t define_id,
                                                      std::uint32_t radius_m,
                                                      std::uint32_t object_type) {
    return call(SimCall::kRequestDataOnSimObjectType, [&](WireWriter& w) {
        w.word(request_id).word(define_id).word(radius_m).word(object_type);
    });
}

SimResult LocalSimConnect::CallDispatch(const SimMessageProc& proc) {
    if (fd_ >= 0) {
        read_this_call_ = 0;
        // No call waits here, so a reply is either a late one or a breach.
        std::optional<SimResult> no_reply;
        if (receive(Clock::now()) != Received::kSome || !takeFrames(0, no_reply)) {
            lose();
        }
    } else if (messages_.empty()) {
        // Closed, and the quit message of a lost connection, if any, delivered.
        return kSimFail;
    }
    // The procedure may call the library, even CallDispatch: it works on messages of its
    // own, and what its calls provoke waits for the next dispatch. Once it has closed the
    // connection the rest is not delivered: it belongs to a link the program let go (or
    // that was lost meanwhile, whose quit message waits for the next dispatch).
    std::deque<std::vector<std::uint8_t>> pending;
    pending.swap(messages_);
    // The bounds are on what waits: the procedure's own calls may keep as much again.
    kept_bytes_ = 0;
    const std::uint64_t generation = generation_;
    for (std::size_t i = 0; i < pending.size() && generation_ == generation; ++i) {
        const std::vector<std::uint8_t>& message = pending[i];
        try {
            if (proc) {
                proc(message.data(), static_cast<std::uint32_t>(message.size()));
            }
        } catch (...) {
            // A procedure that throws loses the message it was handling, not the ones
            // after it: they are kept, ahead of any newer, for the next dispatch.
            if (generation_ == generation) {
                for (std::size_t j = i + 1; j < pending.size(); ++j) {
                    kept_bytes_ += pending[j].size();
                }
                messages_.insert(messages_.begin(),
                                 pending.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                 pending.end());
            }
            throw;
        }
    }
    return kSimOk;
}

SimResult LocalSimConnect::SetDataOnSimObject(std::uint32_t define_id, std::uint32_t object_id,
                                              std::uint32_t flags, std::uint32_t count,
                                              std::uint32_t unit_size, const void* data) {
    // Counted wide so that a huge count cannot wrap round; a block the stand-in would
    // refuse as oversized fails here, as the library fails a call it cannot pack.
    const std::uint64_t size = std::uint64_t{count} * unit_size;
    if (size > kSimWireMaxFrame - 64 || (size > 0 && data == nullptr)) {
        return kSimFail;
    }
    return call(SimCall::kSetDataOnSimObject, [&](WireWriter& w) {
        w.word(define_id).word(object_id).word(flags).word(count).word(unit_size).blob(
            data, static_cast<std::size_t>(size));
    });
}

SimResult LocalSimConnect::TransmitClientEvent(std::uint32_t object_id, std::uint32_t event_id,
                                               std::uint32_t data, std::uint32_t group_id,
                                               std::uint32_t flags) {
    return call(SimCall::kTransmitClientEvent, [&](WireWriter& w) {
        w.word(object_id).word(event_id).word(data).word(group_id).word(flags);
    });
}

SimResult LocalSimConnect::AICreateSimulatedObject(std::string_view container_title,
                                                   const SimInitPosition& position,
                                                   std::uint32_t request_id) {
    return call(SimCall::kAICreateSimulatedObject, [&](WireWriter& w) {
        w.text(container_title);
        AddInitPosition(w, position);
        w.word(request_id);
    });
}

SimResult LocalSimConnect::AIRemoveObject(std::uint32_t object_id, std::uint32_t request_id) {
    return call(SimCall::kAIRemoveObject,
                [&](WireWriter& w) { w.word(object_id).word(request_id); });
}

SimResult LocalSimConnect::WeatherRequestObservationAtStation(std::uint32_t request_id,
                                                              std::string_view icao) {
    return call(SimCall::kWeatherRequestObservationAtStation,
                [&](WireWriter& w) { w.word(request_id).text(icao); });
}

SimResult LocalSimConnect::WeatherRequestObservationAtNearestStation(std::uint32_t request_id,
                                                                     float latitude,
                                                                     float longitude) {
    return call(SimCall::kWeatherRequestObservationAtNearestStation,
                [&](WireWriter& w) { w.word(request_id).real(latitude).real(longitude); });
}

SimResult LocalSimConnect::WeatherRequestInterpolatedObservation(std::uint32_t request_id,
                                                                 float latitude, float longitude,
                                                                 float altitude_m) {
    return call(SimCall::kWeatherRequestInterpolatedObservation, [&](WireWriter& w) {
        w.word(request_id).real(latitude).real(longitude).real(altitude_m);
    });
}

SimResult LocalSimConnect::WeatherSetModeCustom() {
    return call(SimCall::kWeatherSetModeCustom, [](WireWriter&) {});
}

SimResult LocalSimConnect::WeatherSetObservation(std::uint32_t seconds, std::string_view metar) {
    return call(SimCall::kWeatherSetObservation,
                [&](WireWriter& w) { w.word(seconds).text(metar); });
}

bool LocalSimConnect::sendAll(const std::vector<std::uint8_t>& bytes, Clock::time_point deadline) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        // MSG_NOSIGNAL: a stand-in that went away is an error to return, not a SIGPIPE
        // that ends the client.
        const ssize_t count = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitUntilReady(fd_, POLLOUT, deadline)) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

LocalSimConnect::Received LocalSimConnect::receive(Clock::time_point deadline) {
    if (!WaitUntilReady(fd_, POLLIN, deadline)) {
        // Nothing yet is not an error; the caller judges its own deadline.
        return Received::kSome;
    }
    std::array<std::uint8_t, 64 * 1024> buffer;
    for (;;) {
        // A stand-in that keeps the socket full would otherwise hold the call (and the
        // user-interface thread) for as long as it likes.
        if (read_this_call_ > kCallReadBudget) {
            return Received::kFlooded;
        }
        const ssize_t count = ::recv(fd_, buffer.data(), buffer.size(), 0);
        if (count > 0) {
            decoder_.Feed(buffer.data(), static_cast<std::size_t>(count));
            read_this_call_ += static_cast<std::size_t>(count);
        } else if (count == 0) {
            return Received::kEnded;
        } else if (errno == EINTR) {
            continue;
        } else {
            return errno == EAGAIN || errno == EWOULDBLOCK ? Received::kSome : Received::kEnded;
        }
    }
}

bool LocalSimConnect::takeFrames(std::uint32_t send_id, std::optional<SimResult>& result) {
    std::vector<std::uint8_t> payload;
    for (;;) {
        switch (decoder_.Next(payload)) {
            case WireFrameDecoder::Status::kNeedMore:
                return true;
            case WireFrameDecoder::Status::kBroken:
                return false;
            case WireFrameDecoder::Status::kFrame:
                break;
        }
        std::optional<SimHostFrame> frame = ParseHostFrame(payload);
        if (!frame) {
            return false;
        }
        if (frame->kind == SimHostKind::kMessage) {
            if (messages_.size() >= kMaxKeptMessages ||
                frame->message.size() > kMaxKeptBytes - kept_bytes_) {
                return false;
            }
            kept_bytes_ += frame->message.size();
            messages_.push_back(std::move(frame->message));
            continue;
        }
        if (send_id != 0 && frame->send_id == send_id && !result) {
            result = frame->result;
            continue;
        }
        // The late reply of a call that gave up is passed over, once. A reply to a call
        // never made, or a second one, means the two sides no longer agree.
        const auto late = std::find(abandoned_.begin(), abandoned_.end(), frame->send_id);
        if (late == abandoned_.end()) {
            return false;
        }
        abandoned_.erase(late);
    }
}

void LocalSimConnect::drop() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        ++generation_;
    }
    decoder_ = WireFrameDecoder();
    abandoned_.clear();
    // Messages that were not dispatched go with the connection: the library counts as
    // closed, and CallDispatch on a closed library delivers nothing.
    messages_.clear();
    kept_bytes_ = 0;
}

void LocalSimConnect::lose() {
    drop();
    // As the library tells of a simulator that went away: a quit message at the next
    // dispatch, the one thing a closed library still delivers. Close and Open forget it.
    std::vector<std::uint8_t> quit = SimRecvBuilder(kSimRecvQuit).bytes();
    kept_bytes_ = quit.size();
    messages_.push_back(std::move(quit));
}

}  // namespace tavoro
