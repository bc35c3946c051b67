#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "platform/SimConnectMessages.h"
#include "platform/SimHostWire.h"
#include "platform/linux/LocalSimConnect.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::chrono::milliseconds kShortTimeout{300};

std::uint32_t callOf(const Bytes& payload) {
    return SimRecvWord(payload.data(), static_cast<std::uint32_t>(payload.size()), 0);
}
std::uint32_t sendIdOf(const Bytes& payload) {
    return SimRecvWord(payload.data(), static_cast<std::uint32_t>(payload.size()), 4);
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

int listenOn(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0) {
        ADD_FAILURE() << "cannot listen on " << path << ": " << std::strerror(errno);
    }
    return fd;
}

// A host whose every answer the test writes: it accepts one client on the SimConnect
// socket of a private folder and, for each call frame, sends back what `answer` returns
// (nothing at all, broken frames, or a hang-up when `hang_up` says so).
class ScriptedHost {
public:
    using Answer = std::function<Bytes(const Bytes& payload)>;

    explicit ScriptedHost(Answer answer, bool byte_by_byte = false)
        : answer_(std::move(answer)), byte_by_byte_(byte_by_byte) {
        listen_fd_ = listenOn(folder().toStdString() + "/" + kSimConnectSocket);
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedHost() { Join(); }

    QString folder() const { return dir_.path(); }

    // Stops serving once the current call is answered.
    void HangUpAfterNextAnswer() { hang_up_ = true; }
    // Waits until the client has gone (or the host hung up), then stops.
    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
        if (listen_fd_ >= 0) {
            ::close(listen_fd_);
            listen_fd_ = -1;
        }
    }
    // Every call frame received; read it after Join().
    std::vector<Bytes> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    // Answers written out so far.
    int written() const { return written_; }

private:
    void serve() {
        // A generous bound, so a test that goes wrong fails instead of hanging.
        pollfd waiting{listen_fd_, POLLIN, 0};
        if (::poll(&waiting, 1, 30000) != 1) {
            return;
        }
        const int fd = ::accept(listen_fd_, nullptr, nullptr);
        if (fd < 0) {
            return;
        }
        timeval limit{30, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        WireFrameDecoder decoder;
        std::uint8_t buffer[4096];
        for (;;) {
            const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
            if (count <= 0) {
                break;
            }
            decoder.Feed(buffer, static_cast<std::size_t>(count));
            Bytes payload;
            bool stop = false;
            while (!stop && decoder.Next(payload) == WireFrameDecoder::Status::kFrame) {
                {
                    std::lock_guard lock(mutex_);
                    calls_.push_back(payload);
                }
                write(fd, answer_(payload));
                ++written_;
                stop = hang_up_;
            }
            if (stop) {
                break;
            }
        }
        ::close(fd);
    }

    void write(int fd, const Bytes& bytes) {
        const std::size_t step = byte_by_byte_ ? 1 : bytes.size();
        for (std::size_t at = 0; at < bytes.size(); at += step) {
            if (::send(fd, bytes.data() + at, std::min(step, bytes.size() - at), MSG_NOSIGNAL) <
                0) {
                return;
            }
        }
    }

    QTemporaryDir dir_;
    Answer answer_;
    bool byte_by_byte_;
    std::atomic<bool> hang_up_ = false;
    std::atomic<int> written_ = 0;
    int listen_fd_ = -1;
    std::mutex mutex_;
    std::vector<Bytes> calls_;
    std::thread thread_;
};

Bytes okReply(const Bytes& payload) {
    return MakeReplyFrame(sendIdOf(payload), kSimOk);
}

bool isCall(const Bytes& payload, SimCall call) {
    return callOf(payload) == static_cast<std::uint32_t>(call);
}

Bytes quitMessage() {
    return SimRecvBuilder(kSimRecvQuit).bytes();
}

std::vector<Bytes> dispatch(LocalSimConnect& sim, SimResult expected = kSimOk) {
    std::vector<Bytes> messages;
    EXPECT_EQ(sim.CallDispatch([&](const std::uint8_t* message, std::uint32_t size) {
        messages.emplace_back(message, message + size);
    }),
              expected);
    return messages;
}

// A lost connection: calls fail without being sent, the next dispatch delivers the quit
// message and nothing else, and the one after it fails.
void expectLost(LocalSimConnect& sim) {
    EXPECT_FALSE(sim.connected());
    EXPECT_EQ(sim.RequestDataOnSimObjectType(0, 0, 0, 0), kSimFail);
    EXPECT_EQ(dispatch(sim), std::vector<Bytes>{quitMessage()});
    dispatch(sim, kSimFail);
}

// Every call of the interface except Open and CallDispatch, each with harmless arguments.
std::vector<std::pair<const char*, std::function<SimResult(SimConnectLibrary&)>>> everyCall() {
    static const AiWaypoint waypoint{};
    return {
        {"Close", [](SimConnectLibrary& s) { return s.Close(); }},
        {"MenuAddItem", [](SimConnectLibrary& s) { return s.MenuAddItem("Tavoro_Client", 0, 1); }},
        {"MenuAddSubItem",
         [](SimConnectLibrary& s) { return s.MenuAddSubItem(0, "Afficher", 1, 1); }},
        {"MenuDeleteSubItem", [](SimConnectLibrary& s) { return s.MenuDeleteSubItem(0, 1); }},
        {"MenuDeleteItem", [](SimConnectLibrary& s) { return s.MenuDeleteItem(0); }},
        {"AddToDataDefinition",
         [](SimConnectLibrary& s) {
             return s.AddToDataDefinition(0, "GENERAL ENG FAILED:1", "Bool", kSimDataFloat32, 0,
                                          kSimUnused);
         }},
        {"MapClientEventToSimEvent",
         [](SimConnectLibrary& s) { return s.MapClientEventToSimEvent(4, "ZULU_DAY_SET"); }},
        {"AddClientEventToNotificationGroup",
         [](SimConnectLibrary& s) { return s.AddClientEventToNotificationGroup(0, 4, false); }},
        {"SetNotificationGroupPriority",
         [](SimConnectLibrary& s) { return s.SetNotificationGroupPriority(0, 1); }},
        {"SubscribeToSystemEvent",
         [](SimConnectLibrary& s) { return s.SubscribeToSystemEvent(17, "ObjectAdded"); }},
        {"RequestDataOnSimObjectType",
         [](SimConnectLibrary& s) { return s.RequestDataOnSimObjectType(0, 0, 0, 0); }},
        {"SetDataOnSimObject",
         [](SimConnectLibrary& s) { return s.SetDataOnSimObject(1, 1000, 0, 1, 44, &waypoint); }},
        {"TransmitClientEvent",
         [](SimConnectLibrary& s) { return s.TransmitClientEvent(0, 4, 0, 1, 16); }},
        {"AICreateSimulatedObject",
         [](SimConnectLibrary& s) { return s.AICreateSimulatedObject("Ferry", {}, 2); }},
        {"AIRemoveObject", [](SimConnectLibrary& s) { return s.AIRemoveObject(1000, 2); }},
        {"WeatherRequestObservationAtStation",
         [](SimConnectLibrary& s) { return s.WeatherRequestObservationAtStation(1, "LFPG"); }},
        {"WeatherRequestObservationAtNearestStation",
         [](SimConnectLibrary& s) {
             return s.WeatherRequestObservationAtNearestStation(1, 48.7f, 2.4f);
         }},
        {"WeatherRequestInterpolatedObservation",
         [](SimConnectLibrary& s) {
             return s.WeatherRequestInterpolatedObservation(1, 48.7f, 2.4f, 100.0f);
         }},
        {"WeatherSetModeCustom", [](SimConnectLibrary& s) { return s.WeatherSetModeCustom(); }},
        {"WeatherSetObservation",
         [](SimConnectLibrary& s) { return s.WeatherSetObservation(0, "LFPG 1200Z"); }},
    };
}

TEST(LocalSimConnect, OpenFailsWithNoStandIn) {
    QTemporaryDir empty;
    LocalSimConnect sim(empty.path().toStdString(), kShortTimeout);
    EXPECT_EQ(sim.Open("MYAPP"), kSimFail);
    EXPECT_FALSE(sim.connected());

    // A socket left behind by a stand-in that is gone: connecting is refused.
    const std::string path = empty.path().toStdString() + "/" + kSimConnectSocket;
    ::close(listenOn(path));
    EXPECT_EQ(sim.Open("MYAPP"), kSimFail);
    EXPECT_FALSE(sim.connected());

    LocalSimConnect too_long(std::string(200, 'x'), kShortTimeout);
    EXPECT_EQ(too_long.Open("MYAPP"), kSimFail);
}

TEST(LocalSimConnect, EveryCallFailsWhileClosedWithoutTouchingTheHost) {
    ScriptedHost host(okReply);
    LocalSimConnect sim(host.folder().toStdString(), kShortTimeout);

    auto expectAllFail = [&](const char* when) {
        SCOPED_TRACE(when);
        for (const auto& [name, call] : everyCall()) {
            EXPECT_EQ(call(sim), kSimFail) << name;
        }
        bool called = false;
        EXPECT_EQ(sim.CallDispatch([&](const std::uint8_t*, std::uint32_t) { called = true; }),
                  kSimFail);
        EXPECT_FALSE(called);
    };
    expectAllFail("never opened");
    ASSERT_EQ(sim.Open("MYAPP"), kSimOk);
    ASSERT_EQ(sim.Close(), kSimOk);
    expectAllFail("after Close");

    host.Join();
    const std::vector<Bytes> calls = host.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(callOf(calls[0]), static_cast<std::uint32_t>(SimCall::kOpen));
    EXPECT_EQ(callOf(calls[1]), static_cast<std::uint32_t>(SimCall::kClose));
}

TEST(LocalSimConnect, OpenFailsWhenTheHostRefusesOrNeverAnswers) {
    {
        SCOPED_TRACE("refused");
        ScriptedHost host(
            [](const Bytes& payload) { return MakeReplyFrame(sendIdOf(payload), kSimFail); });
        LocalSimConnect sim(host.folder().toStdString(), kShortTimeout);
        EXPECT_EQ(sim.Open("MYAPP"), kSimFail);
        EXPECT_FALSE(sim.connected());
    }
    {
        SCOPED_TRACE("no answer");
        ScriptedHost host([](const Bytes&) { return Bytes{}; });
        LocalSimConnect sim(host.folder().toStdString(), kShortTimeout);
        EXPECT_EQ(sim.Open("MYAPP"), kSimFail);
        EXPECT_FALSE(sim.connected());
    }
}

// The host sends a call's messages before its reply; the library keeps them, in order, for
// the next dispatch, however the bytes are split on the way.
TEST(LocalSimConnect, MessagesBeforeAReplyWaitForTheNextDispatch) {
    const Bytes first = MakeSimAssignedObjectId(2, 1000);
    const Bytes second = MakeSimObjectAddRemove(kSimUnused, 17, 1000, kSimObjectBoat);
    for (bool byte_by_byte : {false, true}) {
        SCOPED_TRACE(byte_by_byte ? "one byte per write" : "one write per answer");
        ScriptedHost host(
            [&](const Bytes& payload) {
                if (callOf(payload) == static_cast<std::uint32_t>(SimCall::kOpen)) {
                    return okReply(payload);
                }
                return concat(
                    {MakeMessageFrame(first), MakeMessageFrame(second), okReply(payload)});
            },
            byte_by_byte);
        LocalSimConnect sim(host.folder().toStdString(), kShortTimeout * 10);
        ASSERT_EQ(sim.Open("MYAPP"), kSimOk);
        EXPECT_EQ(dispatch(sim), std::vector<Bytes>{});
        ASSERT_EQ(sim.AICreateSimulatedObject("Ferry", {}, 2), kSimOk);
        EXPECT_EQ(dispatch(sim), (std::vector<Bytes>{first, second}));
        EXPECT_EQ(dispatch(sim), std::vector<Bytes>{});
    }
}

TEST(LocalSimConnect, SendIdsIncreaseAndArgumentsKeepTheirOrder) {
    ScriptedHost host(okReply);
    LocalSimConnect sim(host.folder().toStdString(), kShortTimeout * 10);
    ASSERT_EQ(sim.Open("MYAPP"), kSimOk);
    SimInitPosition position;
    position.latitude = 1.0;
    position.heading = -2.0;
    position.on_ground = 1;
    position.airspeed = 250;
    ASSERT_EQ(sim.AICreateSimulatedObject("Ferry", position, 2), kSimOk);
    ASSERT_EQ(sim.TransmitClientEvent(kSimUserObject, 14, 5, 1, 16), kSimOk);
    EXPECT_EQ(sim.last_send_id(), 3u);
    sim.Close();
    host.Join();

    const std::vector<Bytes> calls = host.calls();
    ASSERT_EQ(calls.size(), 4u);
    const Bytes open = SimCallFrame(SimCall::kOpen, 1).text("MYAPP").Frame();
    const Bytes create = SimCallFrame(SimCall::kAICreateSimulatedObject, 2)
                             .text("Ferry")
                             .real64(1.0)
                             .real64(0)
                             .real64(0)
                             .real64(0)
                             .real64(0)
                             .real64(-2.0)
                             .word(1)
                             .word(250)
                             .word(2)
                             .Frame();
    const Bytes transmit = SimCallFrame(SimCall::kTransmitClientEvent, 3)
                               .word(0)
                               .word(14)
                               .word(5)
                               .word(1)
                               .word(16)
                               .Frame();
    EXPECT_EQ(calls[0], Bytes(open.begin() + 4, open.end()));
    EXPECT_EQ(calls[1], Bytes(create.begin() + 4, create.end()));
    EXPECT_EQ(calls[2], Bytes(transmit.begin() + 4, transmit.end()));
    EXPECT_EQ(sendIdOf(calls[3]), 4u);
}

// Whatever goes wrong with the second call's answer, the call fails, the library counts as
// closed and says so once with the quit message, and the next call fails without being sent.
TEST(LocalSimConnect, ABrokenAnswerClosesTheLibrary) {
    Bytes oversized = MakeReplyFrame(2, kSimOk);
    oversized[2] = 0x20;  // a length of 2 MiB and some
    Bytes tiny = MakeReplyFrame(2, kSimOk);
    tiny[0] = 2;
    Bytes bad_message = MakeSimEvent(kSimUnused, 1, 0);
    bad_message[0] = 100;
    struct Case {
        const char* name;
        std::function<Bytes(const Bytes& payload)> answer;
        bool hang_up;
    };
    const Case cases[] = {
        {"reply to another call", [](const Bytes&) { return MakeReplyFrame(99, kSimOk); }, false},
        {"two replies",
         [](const Bytes& p) {
             return concat({okReply(p), okReply(p)});
         },
         false},
        {"oversized frame", [&](const Bytes&) { return oversized; }, false},
        {"frame shorter than a word", [&](const Bytes&) { return tiny; }, false},
        {"message with a wrong size word",
         [&](const Bytes& p) {
             return concat({MakeMessageFrame(bad_message), okReply(p)});
         },
         false},
        {"hang-up", [](const Bytes&) { return Bytes{}; }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHost* host_pointer = nullptr;
        ScriptedHost host([&](const Bytes& payload) {
            if (callOf(payload) == static_cast<std::uint32_t>(SimCall::kOpen)) {
                return okReply(payload);
            }
            if (c.hang_up) {
                host_pointer->HangUpAfterNextAnswer();
            }
            return c.answer(payload);
        });
        host_pointer = &host;
        LocalSimConnect sim(host.folder().toStdString(), kShortTimeout);
        ASSERT_EQ(sim.Open("MYAPP"), kSimOk);
        EXPECT_EQ(sim.RequestDataOnSimObjectType(0, 0, 0, 0), kSimFail);
        expectLost(sim);
        host.Join();
        EXPECT_EQ(host.calls().size(), 2u);
    }
}

// A reply that comes after its call gave up fails that call only: the connection stays, the
// reply is passed over wherever it is read, and the messages the call provoked are kept.
TEST(LocalSimConnect, ALateReplyIsPassedOverAndTheConnectionStays) {
    const Bytes data = MakeSimObjectFloats(0, 0, 0, {1, 0, 0, 0});
    for (bool read_by_dispatch : {false, true}) {
        SCOPED_TRACE(read_by_dispatch ? "read by a dispatch" : "read by the next call");
        // The host answers the request only once the test lets it, after the call has
        // given up: the reply is late whatever the machine's pace.
        std::promise<void> gate;
        std::shared_future<void> let_answer = gate.get_future().share();
        ScriptedHost host([&](const Bytes& payload) {
            if (isCall(payload, SimCall::kRequestDataOnSimObjectType)) {
                let_answer.wait_for(test::kDeadline);
                return concat({MakeMessageFrame(data), okReply(payload)});
            }
            return okReply(payload);
        });
        LocalSimConnect sim(host.folder().toStdString(), test::kDeadline);
        ASSERT_EQ(sim.Open("MYAPP"), kSimOk);
        sim.set_reply_timeout(kShortTimeout);
        EXPECT_EQ(sim.RequestDataOnSimObjectType(0, 0, 0, 0), kSimFail);
        EXPECT_TRUE(sim.connected());

        sim.set_reply_timeout(test::kDeadline);
        gate.set_value();
        if (read_by_dispatch) {
            ASSERT_TRUE(test::WaitUntil([&] { return host.written() == 2; }));
            EXPECT_EQ(dispatch(sim), std::vector<Bytes>{data});
            EXPECT_EQ(sim.TransmitClientEvent(0, 4, 0, 1, 16), kSimOk);
        } else {
            EXPECT_EQ(sim.TransmitClientEvent(0, 4, 0, 1, 16), kSimOk);
            EXPECT_EQ(dispatch(sim), std::vector<Bytes>{data});
        }
        EXPECT_TRUE(sim.connected());
        EXPECT_EQ(sim.Close(), kSimOk);
        host.Join();
        EXPECT_EQ(host.calls().size(), 4u);
    }
}

// A late reply is passed over once: the same reply again is a breach, as a reply to a call
// never made is.
TEST(LocalSimConnect, ALateReplyComingTwiceClosesTheLibrary) {
    std::promise<void> gate;
    std::shared_future<void> let_answer = gate.get_future().share();
    ScriptedHost host([&](const Bytes& payload) {
        if (isCall(payload, SimCall::kRequestDataOnSimObjectType)) {
            let_answer.wait_for(test::kDeadline);
            return concat({okReply(payload), okReply(payload)});
        }
        return okReply(payload);
    });
    LocalSimConnect sim(host.folder().toStdString(), test::kDeadline);
    ASSERT_EQ(sim.Open("MYAPP"), kSimOk);
    sim.set_reply_timeout(kShortTimeout);
    EXPECT_EQ(sim.RequestDataOnSimObjectType(0, 0, 0, 0), kSimFail);
    sim.set_reply_timeout(test::kDeadline);
    gate.set_value();
    EXPECT_EQ(sim.TransmitClientEvent(0, 4, 0, 1, 16), kSimFail);
    expectLost(sim);
}

// A host that answers nothing at all costs each call its time-out until it has left as many
// calls unanswered as are remembered; the next one takes it for hung.
TEST(LocalSimConnect, AHostThatStopsAnsweringIsTakenForHung) {
    ScriptedHost host([](const Bytes& payload) {
        return isCall(payload, SimCall::kOpen) ? okReply(payload) : Bytes{};
    });
    LocalSimConnect sim(host.folder().toStdString(), test::kDeadline);
    ASSERT_EQ(sim.Open("MYAPP"), kSimOk);
    sim.set_reply_timeout(kShortTimeout);
    for (std::size_t i = 0; i < LocalSimConnect::kMaxAbandonedCalls; ++i) {
        EXPECT_EQ(sim.TransmitClientEvent(0, 4, 0, 1, 16), kSimFail);
        EXPECT_TRUE(sim.connected()) << i;
    }
    EXPECT_EQ(dispatch(sim), std::vector<Bytes>{});
    EXPECT_EQ(sim.TransmitClientEvent(0, 4, 0, 1, 16), kSimFail);
    expectLost(sim);
}

// A host that sends more than a call may read, or more than may be kept until the next
// dispatch, is taken for broken: the connection is lost instead of our memory growing.
TEST(LocalSimConnect, AFloodingHostIsTakenForBroken) {
    const Bytes big = MakeSimWeatherObservation(1, std::string(64 * 1024, 'x'));
    const Bytes small = MakeSimEvent(kSimUnused, 17, 0);
    const auto repeated = [](const Bytes& message, std::size_t count) {
        const Bytes frame = MakeMessageFrame(message);
        Bytes out;
        out.reserve(frame.size() * count);
        for (std::size_t i = 0; i < count; ++i) {
            out.insert(out.end(), frame.begin(), frame.end());
        }
        return out;
    };
    struct Case {
        const char* name;
        Bytes messages;          // sent before each reply
        int first_failing_call;  // counted from 1; the calls before it succeed
    };
    const std::size_t over_budget = LocalSimConnect::kCallReadBudget / big.size() + 1;
    const std::size_t small_per_call = LocalSimConnect::kMaxKeptMessages / 3 + 1;
    const std::size_t big_per_call = LocalSimConnect::kMaxKeptBytes / 3 / big.size() + 1;
    ASSERT_LE(big_per_call * (big.size() + 8), LocalSimConnect::kCallReadBudget);
    const Case cases[] = {
        {"one answer larger than a call may read", repeated(big, over_budget), 1},
        {"more messages than may be kept", repeated(small, small_per_call), 3},
        {"more bytes than may be kept", repeated(big, big_per_call), 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHost host([&](const Bytes& payload) {
            if (isCall(payload, SimCall::kOpen)) {
                return okReply(payload);
            }
            return concat({c.messages, okReply(payload)});
        });
        LocalSimConnect sim(host.folder().toStdString(), test::kDeadline);
        ASSERT_EQ(sim.Open("MYAPP"), kSimOk);
        for (int call = 1; call < c.first_failing_call; ++call) {
            ASSERT_EQ(sim.TransmitClientEvent(0, 4, 0, 1, 16), kSimOk) << call;
        }
        EXPECT_EQ(sim.TransmitClientEvent(0, 4, 0, 1, 16), kSimFail);
        expectLost(sim);
    }
}

TEST(LocalSimConnect, AHostThatHungUpIsAnErrorNotASignal) {
    ScriptedHost* host_pointer = nullptr;
    ScriptedHost host([&](const Bytes& payload) {
        host_pointer->HangUpAfterNextAnswer();
        return okReply(payload);
    });
    host_pointer = &host;
    LocalSimConnect sim(host.folder().toStdString(), kShortTimeout);
    ASSERT_EQ(sim.Open("MYAPP"), kSimOk);
    host.Join();
    // Far more than the socket buffer holds, so the writes meet the closed end; a SIGPIPE
    // would end this test program.
    const std::vector<AiWaypoint> route(20000);
    EXPECT_EQ(sim.SetDataOnSimObject(1, 1000, 0, static_cast<std::uint32_t>(route.size()),
                                     sizeof(AiWaypoint), route.data()),
              kSimFail);
    EXPECT_FALSE(sim.connected());
}

TEST(LocalSimConnect, ABlockTooLargeToSendFailsWithoutBeingSent) {
    ScriptedHost host(okReply);
    LocalSimConnect sim(host.folder().toStdString(), kShortTimeout * 10);
    ASSERT_EQ(sim.Open("MYAPP"), kSimOk);
    const std::vector<AiWaypoint> route(kSimWireMaxFrame / sizeof(AiWaypoint) + 1);
    EXPECT_EQ(sim.SetDataOnSimObject(1, 1000, 0, static_cast<std::uint32_t>(route.size()),
                                     sizeof(AiWaypoint), route.data()),
              kSimFail);
    // The count and unit size overflow 32 bits together.
    EXPECT_EQ(sim.SetDataOnSimObject(1, 1000, 0, 0x10000, 0x10000, route.data()), kSimFail);
    EXPECT_EQ(sim.SetDataOnSimObject(1, 1000, 0, 1, 44, nullptr), kSimFail);
    EXPECT_TRUE(sim.connected());
    sim.Close();
    host.Join();
    EXPECT_EQ(host.calls().size(), 2u);
}

}  // namespace
}  // namespace tavoro
