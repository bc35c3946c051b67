#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstring>
#include <string>
#include <thread>

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

// Reads one line from an accepted connection, the way the server does.
std::string readLine(int fd) {
    std::string line;
    char c;
    while (::recv(fd, &c, 1, 0) == 1 && c != '\n') {
        line += c;
    }
    return line;
}

class LocalTransportTest : public testing::Test {
protected:
    LocalTransportTest() : folder(temp.filePath("run/sim").toStdString()), transport(folder) {}

    // The steps the client takes before its first message.
    void link(const char* atom = "FsasmLib:IPC:1F:1") {
        ASSERT_EQ(transport.FindServerWindow(), Window::Uipcmain);
        ASSERT_TRUE(transport.RegisterMessage("FsasmLib:IPC"));
        ASSERT_TRUE(transport.AddBlockAtom(atom));
    }

    QTemporaryDir temp;
    std::string folder;
    LocalFsuipcTransport transport;
};

TEST_F(LocalTransportTest, MappingIsAPrivateFileInAPrivateFolder) {
    ASSERT_TRUE(transport.CreateMapping("FsasmLib:IPC:1F:1", 0x8000));
    const std::string path = folder + "/FsasmLib:IPC:1F:1";
    EXPECT_EQ(fileMode(folder), "700");
    EXPECT_EQ(fileMode(path), "600");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 0x8000);

    // What the view holds is what the file holds: the server sees the client's block.
    std::uint8_t* view = transport.MapView();
    ASSERT_NE(view, nullptr);
    std::memcpy(view + 0x7FFC, "abcd", 4);
    char bytes[4] = {};
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, 0x7FFC, SEEK_SET);
    EXPECT_EQ(std::fread(bytes, 1, 4, file), 4u);
    std::fclose(file);
    EXPECT_EQ(std::string(bytes, 4), "abcd");

    // A second mapping of the same name fails while the first exists.
    LocalFsuipcTransport other(folder);
    EXPECT_FALSE(other.CreateMapping("FsasmLib:IPC:1F:1", 0x8000));

    transport.UnmapView();
    transport.CloseMapping();
    EXPECT_EQ(fileMode(path), "missing");
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

    // The message itself did go out: the atom's name on a line of its own. The probe
    // connection of FindServerWindow comes first and carries nothing.
    const int probe = ::accept(silent.fd(), nullptr, nullptr);
    ASSERT_GE(probe, 0);
    EXPECT_EQ(readLine(probe), "");
    ::close(probe);
    const int message = ::accept(silent.fd(), nullptr, nullptr);
    ASSERT_GE(message, 0);
    EXPECT_EQ(readLine(message), "FsasmLib:IPC:1F:1");
    ::close(message);
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

struct AnswerCase {
    const char* name;
    std::string answer;  // what the server writes before closing
    bool sent;
    bool system_error;
    std::uintptr_t result;
};

class AnswerTest : public LocalTransportTest, public testing::WithParamInterface<AnswerCase> {};

TEST_P(AnswerTest, IsReadAsOneNumberedLine) {
    ASSERT_EQ(PreparePrivateFolder(folder), "");
    Listener server(folder + "/UIPCMAIN");
    ASSERT_TRUE(server.bound());
    link();
    // Serves the probe, then the message, from a thread: the transport blocks.
    std::thread serve([&] {
        ::close(::accept(server.fd(), nullptr, nullptr));
        const int fd = ::accept(server.fd(), nullptr, nullptr);
        readLine(fd);
        const std::string& answer = GetParam().answer;
        ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        ::close(fd);
    });
    const FsuipcTransport::SendResult result = transport.SendRequest(30000);
    serve.join();
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
    const std::string path = sim.folder().toStdString() + "/" + name;
    const int holder = ::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);  // as a live client holds its block
    EXPECT_FALSE(client.Open(0));
    EXPECT_EQ(client.error(), kFsuipcMappingFailed);

    // Once its holder is gone the file is a leftover: it is replaced and the link opens.
    ::close(holder);
    EXPECT_TRUE(client.Open(0)) << FsuipcErrorText(client.error());
    client.Close();
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path)));
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
