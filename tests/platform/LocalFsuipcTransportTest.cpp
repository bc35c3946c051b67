#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/LocalFsuipcTransport.h"
#include "sim/FsuipcClient.h"
#include "support/EventLoop.h"
#include "support/SimHostProcess.h"

namespace tavoro {
namespace {

using Window = FsuipcTransport::ServerWindow;

std::string fileMode(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return "missing";
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%03o", info.st_mode & 0777);
    return mode;
}

// The descriptor through which this process holds the block named `name`, or -1.
int heldDescriptor(const std::string& name) {
    for (const QString& entry :
         QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::System | QDir::AllEntries)) {
        char target[512];
        const std::string link = "/proc/self/fd/" + entry.toStdString();
        const ssize_t size = ::readlink(link.c_str(), target, sizeof target - 1);
        if (size > 0 &&
            std::string(target, static_cast<std::size_t>(size)).find(name) != std::string::npos) {
            return entry.toInt();
        }
    }
    return -1;
}

// What the rendezvous folder holds that is not a socket.
QStringList nonSockets(const QString& folder) {
    QStringList found;
    for (const QFileInfo& entry :
         QDir(folder).entryInfoList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        struct stat info {};
        if (::lstat(QFile::encodeName(entry.filePath()).constData(), &info) != 0 ||
            !S_ISSOCK(info.st_mode)) {
            found << entry.fileName();
        }
    }
    return found;
}

// A listening socket of the test's own, standing for the server window.
class Listener {
public:
    explicit Listener(const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 ::listen(fd_, 16) == 0;
    }
    ~Listener() { Close(); }
    bool bound() const { return bound_; }
    int fd() const { return fd_; }
    // The next connection, waiting at most `limit`; -1 when none came.
    int Accept(std::chrono::milliseconds limit = test::kDeadline) const {
        pollfd readable{fd_, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(limit.count())) != 1) {
            return -1;
        }
        return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    }
    // Stops listening but leaves the socket file, as a crashed server does.
    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
    bool bound_ = false;
};

// One message as the server receives it: the line, and the descriptors that came with it
// (each describing the file it points to; the descriptors themselves are closed).
struct Message {
    std::string line;
    bool complete = false;  // the line ended before the connection or the wait did
    std::vector<struct stat> descriptors;
    std::vector<int> seals;
};

Message readMessage(int fd) {
    Message message;
    for (;;) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(test::kDeadline.count())) != 1) {
            return message;
        }
        char c;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
        iovec io{&c, 1};
        msghdr header{};
        header.msg_iov = &io;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        if (::recvmsg(fd, &header, MSG_CMSG_CLOEXEC) != 1) {
            return message;
        }
        for (cmsghdr* part = CMSG_FIRSTHDR(&header); part; part = CMSG_NXTHDR(&header, part)) {
            for (std::size_t i = 0; i < (part->cmsg_len - CMSG_LEN(0)) / sizeof(int); ++i) {
                int received;
                std::memcpy(&received, CMSG_DATA(part) + i * sizeof(int), sizeof received);
                struct stat info {};
                ::fstat(received, &info);
                message.descriptors.push_back(info);
                message.seals.push_back(::fcntl(received, F_GET_SEALS));
                ::close(received);
            }
        }
        if (c == '\n') {
            message.complete = true;
            return message;
        }
        message.line += c;
    }
}

void answer(int fd, std::string_view text) {
    ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}

class LocalTransportTest : public testing::Test {
protected:
    LocalTransportTest() : folder(temp.filePath("run/sim").toStdString()), transport(folder) {}

    // The steps the client takes before its first message.
    void link(const char* atom = "FsasmLib:IPC:1F:1") {
        ASSERT_EQ(transport.FindServerWindow(), Window::Uipcmain);
        ASSERT_TRUE(transport.RegisterMessage("FsasmLib:IPC"));
        ASSERT_TRUE(transport.AddBlockAtom(atom));
        ASSERT_TRUE(transport.CreateMapping(atom, 0x8000));
        ASSERT_NE(transport.MapView(), nullptr);
    }

    QTemporaryDir temp;
    std::string folder;
    LocalFsuipcTransport transport;
};

TEST_F(LocalTransportTest, TheMappingIsASealedMemoryFileThatNobodyFindsInTheFolder) {
    ASSERT_TRUE(transport.CreateMapping("FsasmLib:IPC:1F:1", 0x8000));
    const int held = heldDescriptor("FsasmLib:IPC:1F:1");
    ASSERT_GE(held, 0);
    const int seals = ::fcntl(held, F_GET_SEALS);
    EXPECT_EQ(seals & (F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL),
              F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL);
    struct stat info {};
    ASSERT_EQ(::fstat(held, &info), 0);
    EXPECT_EQ(info.st_size, 0x8000);
    EXPECT_EQ(nonSockets(QString::fromStdString(folder)), QStringList());

    // What the view holds is what the block holds: the server sees the client's bytes.
    std::uint8_t* view = transport.MapView();
    ASSERT_NE(view, nullptr);
    std::memcpy(view + 0x7FFC, "abcd", 4);
    char bytes[4] = {};
    EXPECT_EQ(::pread(held, bytes, 4, 0x7FFC), 4);
    EXPECT_EQ(std::string(bytes, 4), "abcd");

    // A second mapping of the same name fails while the first exists, as on Windows.
    LocalFsuipcTransport other(folder);
    EXPECT_FALSE(other.CreateMapping("FsasmLib:IPC:1F:1", 0x8000));
    LocalFsuipcTransport third(folder);
    EXPECT_TRUE(third.CreateMapping("FsasmLib:IPC:20:1", 0x8000)) << "another name";

    transport.UnmapView();
    transport.CloseMapping();
    EXPECT_EQ(heldDescriptor("FsasmLib:IPC:1F:1"), -1);
    EXPECT_TRUE(other.CreateMapping("FsasmLib:IPC:1F:1", 0x8000));
}

TEST_F(LocalTransportTest, MappingRefusesNamesThatLeaveTheFolder) {
    EXPECT_FALSE(transport.CreateMapping("../escape", 0x8000));
    EXPECT_FALSE(transport.CreateMapping("", 0x8000));
    EXPECT_EQ(fileMode(temp.filePath("run/escape").toStdString()), "missing");
}

TEST_F(LocalTransportTest, FindsTheWindowThatAnswers) {
    ASSERT_EQ(transport.FindServerWindow(), Window::None) << "no folder yet";
    ASSERT_EQ(PreparePrivateFolder(folder), "");
    {
        // A socket file with nobody behind it is no window.
        Listener dead(folder + "/UIPCMAIN");
        ASSERT_TRUE(dead.bound());
        dead.Close();
        EXPECT_EQ(transport.FindServerWindow(), Window::None);
    }
    Listener fallback(folder + "/FS98MAIN");
    ASSERT_TRUE(fallback.bound());
    EXPECT_EQ(transport.FindServerWindow(), Window::Fs98main);
    ::unlink((folder + "/UIPCMAIN").c_str());
    Listener main(folder + "/UIPCMAIN");
    ASSERT_TRUE(main.bound());
    EXPECT_EQ(transport.FindServerWindow(), Window::Uipcmain);
}

TEST_F(LocalTransportTest, NoAnswerInTimeIsATimeOut) {
    ASSERT_EQ(PreparePrivateFolder(folder), "");
    // A server that takes the connection into its queue but never answers.
    Listener silent(folder + "/UIPCMAIN");
    ASSERT_TRUE(silent.bound());
    link();
    const FsuipcTransport::SendResult result = transport.SendRequest(300);
    EXPECT_FALSE(result.sent);
    EXPECT_FALSE(result.system_error);

    // The message itself did go out: the atom's name on a line of its own, with the
    // block's descriptor. The probe connection of FindServerWindow comes first and
    // carries nothing.
    const int probe = silent.Accept();
    ASSERT_GE(probe, 0);
    EXPECT_EQ(readMessage(probe).line, "");
    ::close(probe);
    const int connection = silent.Accept();
    ASSERT_GE(connection, 0);
    const Message message = readMessage(connection);
    ::close(connection);
    EXPECT_TRUE(message.complete);
    EXPECT_EQ(message.line, "FsasmLib:IPC:1F:1");
    ASSERT_EQ(message.descriptors.size(), 1u);
    EXPECT_EQ(message.descriptors[0].st_size, 0x8000);
    EXPECT_EQ(message.seals[0] & (F_SEAL_SHRINK | F_SEAL_GROW), F_SEAL_SHRINK | F_SEAL_GROW);
}

TEST_F(LocalTransportTest, NoListenerIsASystemError) {
    ASSERT_EQ(PreparePrivateFolder(folder), "");
    Listener server(folder + "/UIPCMAIN");
    ASSERT_TRUE(server.bound());
    link();
    server.Close();
    FsuipcTransport::SendResult result = transport.SendRequest(300);
    EXPECT_FALSE(result.sent);
    EXPECT_TRUE(result.system_error) << "refused";
    ::unlink((folder + "/UIPCMAIN").c_str());
    result = transport.SendRequest(300);
    EXPECT_FALSE(result.sent);
    EXPECT_TRUE(result.system_error) << "socket missing";
}

// A server window played by a thread of the test, which runs `script` on the listener
// while the test drives the transport. Each step of the script waits at most the
// generous test deadline, so a transport that does not do what the script expects fails
// the test rather than hanging it.
class ScriptedServerTest : public LocalTransportTest {
protected:
    void SetUp() override {
        ASSERT_EQ(PreparePrivateFolder(folder), "");
        server.emplace(folder + "/UIPCMAIN");
        ASSERT_TRUE(server->bound());
    }
    void TearDown() override {
        if (script.joinable()) {
            script.join();
        }
    }
    // Runs `steps` on the server's thread, after the probe of FindServerWindow.
    void Serve(std::function<void()> steps) {
        script = std::thread([this, steps = std::move(steps)] {
            ::close(server->Accept());
            steps();
        });
    }

    std::optional<Listener> server;
    std::thread script;
};

TEST_F(ScriptedServerTest, OneConnectionCarriesEveryMessageOfTheLink) {
    std::vector<Message> messages;
    bool only_one_connection = false;
    Serve([&] {
        const int connection = server->Accept();
        for (int i = 0; i < 3; ++i) {
            messages.push_back(readMessage(connection));
            answer(connection, "1\n");
        }
        // The link ends with its mapping: the server sees the end of the connection.
        messages.push_back(readMessage(connection));
        ::close(connection);
        only_one_connection = server->Accept(std::chrono::milliseconds(0)) < 0;
    });
    link();
    for (int i = 0; i < 3; ++i) {
        const FsuipcTransport::SendResult result = transport.SendRequest(30000);
        EXPECT_TRUE(result.sent) << i;
        EXPECT_EQ(result.result, 1u) << i;
    }
    transport.CloseMapping();
    script.join();

    ASSERT_EQ(messages.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(messages[i].line, "FsasmLib:IPC:1F:1") << i;
        // The block is handed over once, with the first message.
        EXPECT_EQ(messages[i].descriptors.size(), i == 0 ? 1u : 0u) << i;
    }
    EXPECT_FALSE(messages[3].complete);
    EXPECT_TRUE(only_one_connection);
}

TEST_F(ScriptedServerTest, ALateAnswerIsNeverTakenForTheNextMessagesAnswer) {
    std::promise<void> timed_out;
    std::promise<void> answered_late;
    Message again;
    Serve([&] {
        const int first = server->Accept();
        readMessage(first);
        timed_out.get_future().wait();
        answer(first, "1\n");  // too late: the client has given up on it
        answered_late.set_value();
        // The next message comes on a new connection, handing the block over again.
        const int second = server->Accept();
        again = readMessage(second);
        answer(second, "0\n");
        ::close(second);
        ::close(first);
    });
    link();
    FsuipcTransport::SendResult result = transport.SendRequest(300);
    EXPECT_FALSE(result.sent);
    EXPECT_FALSE(result.system_error);
    timed_out.set_value();
    answered_late.get_future().wait();
    result = transport.SendRequest(30000);
    script.join();
    EXPECT_TRUE(result.sent);
    EXPECT_EQ(result.result, 0u) << "the late \"1\" was taken for this message's answer";
    EXPECT_EQ(again.line, "FsasmLib:IPC:1F:1");
    EXPECT_EQ(again.descriptors.size(), 1u);
}

TEST_F(ScriptedServerTest, AConnectionTheServerEndedIsReplacedWithoutFailingTheMessage) {
    std::promise<void> ended;
    Message again;
    Serve([&] {
        const int first = server->Accept();
        readMessage(first);
        answer(first, "1\n");
        ::close(first);  // a stand-in that went away between two exchanges
        ended.set_value();
        const int second = server->Accept();
        again = readMessage(second);
        answer(second, "1\n");
        readMessage(second);
        ::close(second);
    });
    link();
    EXPECT_EQ(transport.SendRequest(30000).result, 1u);
    ended.get_future().wait();
    const FsuipcTransport::SendResult result = transport.SendRequest(30000);
    transport.CloseMapping();
    script.join();
    EXPECT_TRUE(result.sent);
    EXPECT_EQ(result.result, 1u);
    EXPECT_EQ(again.descriptors.size(), 1u) << "the block is handed over again";
}

struct AnswerCase {
    const char* name;
    std::string answer;  // what the server writes before closing
    bool sent;
    bool system_error;
    std::uintptr_t result;
};

class AnswerTest : public ScriptedServerTest, public testing::WithParamInterface<AnswerCase> {};

TEST_P(AnswerTest, IsReadAsOneNumberedLine) {
    Serve([&] {
        const int fd = server->Accept();
        readMessage(fd);
        answer(fd, GetParam().answer);
        ::close(fd);
    });
    link();
    const FsuipcTransport::SendResult result = transport.SendRequest(30000);
    script.join();
    EXPECT_EQ(result.sent, GetParam().sent);
    EXPECT_EQ(result.system_error, GetParam().system_error);
    EXPECT_EQ(result.result, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AnswerTest,
    testing::Values(AnswerCase{"Handled", "1\n", true, false, 1},
                    AnswerCase{"Refused", "0\n", true, false, 0},
                    AnswerCase{"OtherNumber", "42\nignored", true, false, 42},
                    AnswerCase{"NotANumber", "ok\n", true, false, 0},
                    AnswerCase{"NumberWithJunk", "1x\n", true, false, 0},
                    AnswerCase{"TooLong", std::string(100, '1') + "\n", true, false, 0},
                    AnswerCase{"ClosedWithoutAnswer", "", false, true, 0},
                    AnswerCase{"ClosedMidLine", "1", false, true, 0}),
    [](const testing::TestParamInfo<AnswerCase>& info) { return info.param.name; });

// The whole client over this transport against a running stand-in.
class StandInTest : public testing::Test {
protected:
    explicit StandInTest(const QStringList& arguments = {})
        : sim(arguments), transport(sim.folder().toStdString()), client(transport) {}

    void SetUp() override { ASSERT_TRUE(sim.started()); }

    void set(const QString& line) { ASSERT_EQ(sim.Command(line), "ok") << line.toStdString(); }

    template <typename T>
    T read(std::uint32_t offset) {
        T value{};
        EXPECT_TRUE(client.Read(offset, sizeof value, &value));
        EXPECT_TRUE(client.Process()) << FsuipcErrorText(client.error());
        return value;
    }

    test::SimHostProcess sim;
    LocalFsuipcTransport transport;
    FsuipcClient client;
};

TEST_F(StandInTest, OpensAndReadsTheAircraft) {
    ASSERT_TRUE(client.Open(0)) << FsuipcErrorText(client.error());
    EXPECT_EQ(client.sim_version(), 8u);
    EXPECT_EQ(client.fsuipc_version(), 0x40000000u);
    EXPECT_EQ(sim.Dump()["library_version"], FsuipcClient::kLibraryVersion);
    // The library version written at 0x330A leaves the simulator version readable, also
    // when the write comes first in the same block.
    const std::uint16_t library_version = 2006;
    std::uint32_t sim_version = 0;
    ASSERT_TRUE(client.Write(0x330A, 2, &library_version));
    ASSERT_TRUE(client.Read(0x3308, 4, &sim_version));
    ASSERT_TRUE(client.Process());
    EXPECT_EQ(sim_version, 0xFADE0008u);
    EXPECT_EQ(sim.Dump()["library_version"], 2006);

    set("set lat -33.9461");
    set("set lon 151.1772");
    set("set alt_ft 1000");
    set("set heading 90");
    set("set pitch -1");
    set("set xpd 7700");
    set("set engines 4");
    set("set zulu 23:59:30");
    set("set local 09:59");
    set("set id QFA1");
    set("set ready 0");
    EXPECT_NEAR(static_cast<double>(read<std::int64_t>(0x0560)) * 90 / 42957189152768000.0,
                -33.9461, 1e-7);
    EXPECT_NEAR(static_cast<double>(read<std::int64_t>(0x0568)) * 360 / 18446744073709551616.0,
                151.1772, 1e-7);
    EXPECT_EQ(read<std::uint32_t>(0x0574), 304u);
    EXPECT_EQ(read<std::uint32_t>(0x0580), 1u << 30);
    EXPECT_EQ(read<std::uint32_t>(0x0578), 4283036831u) << "pitch -1 reads as 359";
    EXPECT_EQ(read<std::uint16_t>(0x0354), 0x7700);
    EXPECT_EQ(read<std::uint16_t>(0x0AEC), 4);
    EXPECT_EQ(read<std::uint8_t>(0x023B), 23);
    EXPECT_EQ(read<std::uint8_t>(0x0238), 9);
    EXPECT_NE(read<std::uint8_t>(0x3364), 0);
    char id[12];
    ASSERT_TRUE(client.Read(0x313C, sizeof id, id));
    ASSERT_TRUE(client.Process());
    EXPECT_STREQ(id, "QFA1");
}

TEST_F(StandInTest, TheAircraftMovesBetweenExchanges) {
    ASSERT_TRUE(client.Open(0));
    set("set lat 10");
    set("set heading 0");
    set("set gs_kt 5000");
    const std::int64_t first = read<std::int64_t>(0x0560);
    EXPECT_TRUE(test::WaitUntil([&] { return read<std::int64_t>(0x0560) > first; }));
}

TEST_F(StandInTest, WritesReachTheSimulator) {
    ASSERT_TRUE(client.Open(0));
    EXPECT_EQ(ShowTextInSimulator(client, "Contact Paris 127.0"), std::nullopt);
    // The display control travels with the next exchange.
    char path[256] = "C:\\plans\\LFPO.PLN";
    ASSERT_TRUE(client.Write(0x0130, sizeof path, path));
    ASSERT_TRUE(client.Process());
    const QJsonObject dump = sim.Dump();
    EXPECT_EQ(dump["texts_shown"][0], "Contact Paris 127.0");
    EXPECT_EQ(dump["display_control"], -1);
    EXPECT_EQ(dump["plan_path"], "C:\\plans\\LFPO.PLN");

    set("set plan_path D:\\other.pln");
    ASSERT_TRUE(client.Read(0x0130, sizeof path, path));
    ASSERT_TRUE(client.Process());
    EXPECT_STREQ(path, "D:\\other.pln");
}

TEST_F(StandInTest, AMappingInUseUnderTheClientsNameFailsTheOpen) {
    char name[64];
    std::snprintf(name, sizeof name, "FsasmLib:IPC:%X:1", transport.CurrentProcessId());
    // Another transport of this process holds a block of that name, as a live client would.
    auto holder = std::make_unique<LocalFsuipcTransport>(sim.folder().toStdString());
    ASSERT_TRUE(holder->CreateMapping(name, FsuipcClient::kBlockSize));
    EXPECT_FALSE(client.Open(0));
    EXPECT_EQ(client.error(), kFsuipcMappingFailed);

    // Once its holder has let it go, the name is free and the link opens.
    holder.reset();
    EXPECT_TRUE(client.Open(0)) << FsuipcErrorText(client.error());
    EXPECT_EQ(nonSockets(sim.folder()), QStringList());
}

TEST_F(StandInTest, TheStandInHoldsTheBlockForTheLifeOfTheLink) {
    ASSERT_TRUE(client.Open(0));
    EXPECT_EQ(sim.Dump()["fsuipc_clients"], 1);
    read<std::uint32_t>(0x02B4);
    read<std::uint32_t>(0x02B4);
    EXPECT_EQ(sim.Dump()["fsuipc_clients"], 1) << "one link, one connection";
    client.Close();
    EXPECT_TRUE(test::WaitUntil([&] { return sim.Dump()["fsuipc_clients"] == 0; }));
}

// Any process of the user can reach the client's block through /proc/<pid>/fd. Were it
// able to cut the block short, the client's next copy out of it would die of SIGBUS; so
// no resize may take, from the client's own descriptor or from a new one opened there.
TEST_F(StandInTest, NobodyCanResizeTheBlockUnderTheClient) {
    ASSERT_TRUE(client.Open(0)) << FsuipcErrorText(client.error());
    char name[64];
    std::snprintf(name, sizeof name, "FsasmLib:IPC:%X:1", transport.CurrentProcessId());
    const int held = heldDescriptor(name);
    ASSERT_GE(held, 0) << "the block is held through a descriptor";
    const std::string through_proc = "/proc/self/fd/" + std::to_string(held);
    const int other = ::open(through_proc.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(other, 0);
    for (const off_t size : {off_t{0}, off_t{0x4000}, off_t{0x10000}}) {
        EXPECT_NE(::ftruncate(other, size), 0) << "resized to " << size << " through /proc";
        EXPECT_NE(::ftruncate(held, size), 0) << "resized to " << size;
    }
    ::close(other);
    struct stat info {};
    ASSERT_EQ(::fstat(held, &info), 0);
    // Checked before the client touches the block again: a shorter one would kill the test.
    ASSERT_EQ(info.st_size, off_t{0x8000});

    set("set xpd 4321");
    EXPECT_EQ(read<std::uint16_t>(0x0354), 0x4321);
    EXPECT_EQ(nonSockets(sim.folder()), QStringList()) << "no block files in the folder";
    client.Close();
    EXPECT_EQ(heldDescriptor(name), -1) << "closing lets the block go";
}

// The stand-in's resident memory in kB, from /proc; 0 when it cannot be read.
long residentKb(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string word;
    while (status >> word) {
        if (word == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
    }
    return 0;
}

// Polling as fast as the client can: the stand-in keeps up, and whatever it spends on an
// exchange is given back, so its memory stays flat however many there are.
TEST_F(StandInTest, KeepsUpWithExchangesAsFastAsTheClientSendsThem) {
    ASSERT_TRUE(client.Open(0));
    std::uint32_t values[16];
    auto exchanges = [&](int count, std::chrono::steady_clock::time_point deadline) {
        for (int i = 0; i < count; ++i) {
            for (std::uint32_t& value : values) {
                if (!client.Read(0x02B4, 4, &value)) {
                    return false;
                }
            }
            if (!client.Process() || std::chrono::steady_clock::now() > deadline) {
                return false;
            }
        }
        return true;
    };
    // Far more than the few milliseconds these take: only a stand-in that falls behind,
    // each exchange slower than the last, runs out of it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    ASSERT_TRUE(exchanges(2000, deadline)) << FsuipcErrorText(client.error());
    const long before = residentKb(sim.processId());
    ASSERT_GT(before, 0);
    ASSERT_TRUE(exchanges(20000, deadline)) << FsuipcErrorText(client.error());
    EXPECT_LT(residentKb(sim.processId()) - before, 4096) << "kB more after 20,000 exchanges";
}

TEST_F(StandInTest, AStandInThatDiedFailsTheExchangeWithASendError) {
    ASSERT_TRUE(client.Open(0));
    sim.Kill();
    std::uint8_t flag = 0;
    ASSERT_TRUE(client.Read(0x3364, 1, &flag));
    EXPECT_FALSE(client.Process());
    EXPECT_EQ(client.error(), kFsuipcSendFailed);
}

TEST_F(StandInTest, ARequestedSimulatorThatDiffersFailsTheOpen) {
    EXPECT_FALSE(client.Open(7));
    EXPECT_EQ(client.error(), kFsuipcSimVersionMismatch);
}

struct VersionCase {
    const char* name;
    QStringList arguments;
    int error;
};

class WrongVersionTest : public StandInTest, public testing::WithParamInterface<VersionCase> {
protected:
    WrongVersionTest() : StandInTest(GetParam().arguments) {}
};

TEST_P(WrongVersionTest, FailsTheOpenByWindow) {
    EXPECT_FALSE(client.Open(0));
    EXPECT_EQ(client.error(), GetParam().error) << FsuipcErrorText(client.error());
    EXPECT_FALSE(client.is_open());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WrongVersionTest,
    testing::Values(
        VersionCase{"OldModule", {"--fsuipc-version", "0x19980004"}, kFsuipcWrongVersion},
        VersionCase{"NotASimulator", {"--sim-version", "0x12340008"}, kFsuipcWrongVersion},
        VersionCase{"OldModuleOnTheFallbackWindow",
                    {"--fallback-window", "--fsuipc-version", "0x19980004"},
                    kFsuipcWideClientNoServer},
        VersionCase{"NotASimulatorOnTheFallbackWindow",
                    {"--fallback-window", "--sim-version", "0x00000008"},
                    kFsuipcWideClientNoServer}),
    [](const testing::TestParamInfo<VersionCase>& info) { return info.param.name; });

TEST(FallbackWindowTest, ServesTheExchangeOnFs98main) {
    test::SimHostProcess sim({"--fallback-window"});
    ASSERT_TRUE(sim.started());
    LocalFsuipcTransport transport(sim.folder().toStdString());
    EXPECT_EQ(transport.FindServerWindow(), Window::Fs98main);
    FsuipcClient client(transport);
    EXPECT_TRUE(client.Open(0)) << FsuipcErrorText(client.error());
}

}  // namespace
}  // namespace tavoro
