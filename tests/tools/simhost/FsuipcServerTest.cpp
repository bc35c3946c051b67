#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/SimRendezvous.h"
#include "simhost/FsuipcServer.h"
#include "support/EventLoop.h"

namespace tavoro::simhost {
namespace {

constexpr std::size_t kBlockSize = FsuipcServer::kBlockSize;
constexpr int kSealed = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL;
constexpr char kName[] = "FsasmLib:IPC:77:1";

// Writes one read request of 4 bytes at `offset` at the block's start.
void askFor(int block, std::uint32_t offset) {
    const std::uint32_t request[] = {1, offset, 4, 0, 0};
    ASSERT_EQ(::pwrite(block, request, sizeof request, 0), static_cast<ssize_t>(sizeof request));
}

// The answer the server left in the block for the request askFor wrote.
std::uint32_t answered(int block) {
    std::uint32_t value = 0;
    EXPECT_EQ(::pread(block, &value, 4, 16), 4);
    return value;
}

// A block as the client makes it, a memory file of `size` bytes sealed with `seals`,
// holding one read of the FSUIPC version.
int makeBlock(std::size_t size = kBlockSize, int seals = kSealed) {
    const int fd = ::memfd_create("block", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    askFor(fd, 0x3304);
    EXPECT_EQ(::fcntl(fd, F_ADD_SEALS, seals), 0);
    return fd;
}

// A client's end of the window's socket, driven by hand; the server runs in the test's
// event loop, which turns while the client waits for an answer.
class RawClient {
public:
    explicit RawClient(const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { ::close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return connected_; }

    // Sends `bytes` with `descriptors` riding on them.
    bool Send(const QByteArray& bytes, const std::vector<int>& descriptors = {}) {
        iovec io{const_cast<char*>(bytes.data()), static_cast<std::size_t>(bytes.size())};
        std::vector<char> control(CMSG_SPACE(sizeof(int) * descriptors.size()));
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        if (!descriptors.empty()) {
            message.msg_control = control.data();
            message.msg_controllen = control.size();
            cmsghdr* header = CMSG_FIRSTHDR(&message);
            header->cmsg_level = SOL_SOCKET;
            header->cmsg_type = SCM_RIGHTS;
            header->cmsg_len = CMSG_LEN(sizeof(int) * descriptors.size());
            std::memcpy(CMSG_DATA(header), descriptors.data(), sizeof(int) * descriptors.size());
        }
        return ::sendmsg(fd_, &message, MSG_NOSIGNAL) == bytes.size();
    }

    // The server's next answer line with its newline; "closed" when the server ended the
    // connection first, "none" when nothing came before the deadline.
    std::string Answer() {
        std::string answer = "none";
        test::WaitUntil([&] {
            const std::size_t end = buffered_.find('\n');
            if (end != std::string::npos) {
                answer = buffered_.substr(0, end + 1);
                buffered_.erase(0, end + 1);
                return true;
            }
            char bytes[64];
            const ssize_t n = ::recv(fd_, bytes, sizeof bytes, MSG_DONTWAIT);
            if (n > 0) {
                buffered_.append(bytes, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EAGAIN) {
                answer = "closed";
                return true;
            }
            return false;
        });
        return answer;
    }

    // Sends one message and waits for its answer.
    std::string Ask(const QByteArray& bytes, const std::vector<int>& descriptors = {}) {
        return Send(bytes, descriptors) ? Answer() : "not sent";
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string buffered_;
};

// A stand-in's FSUIPC side in a private folder of its own, without a process.
class FsuipcServerTest : public testing::Test {
protected:
    FsuipcServerTest()
        : folder(temp.filePath("sim").toStdString()),
          model(state),
          server(model, folder, FsuipcVersions{0x40000000u, 0xFADE0008u}) {
        EXPECT_EQ(PreparePrivateFolder(folder), "");
    }

    std::string path(const std::string& name) const { return folder + "/" + name; }

    // A client that links with a block of its own and checks one exchange on it.
    void expectServed(int block) {
        RawClient client(path("UIPCMAIN"));
        ASSERT_TRUE(client.connected());
        askFor(block, 0x3304);
        EXPECT_EQ(client.Ask(QByteArray(kName) + "\n", {block}), "1\n");
        EXPECT_EQ(answered(block), 0x40000000u);
    }

    QTemporaryDir temp;
    std::string folder;
    SimState state;
    SimModel model;
    FsuipcServer server;
};

TEST_F(FsuipcServerTest, ServesTheBlockHandedOverForTheLifeOfTheConnection) {
    ASSERT_EQ(server.Listen("UIPCMAIN"), "");
    const int block = makeBlock();
    {
        RawClient client(path("UIPCMAIN"));
        ASSERT_TRUE(client.connected());
        EXPECT_EQ(client.Ask(QByteArray(kName) + "\n", {block}), "1\n");
        EXPECT_EQ(answered(block), 0x40000000u);
        EXPECT_EQ(server.linked_clients(), 1u);
        EXPECT_EQ(state.fsuipc_clients, 1);

        // Each further line serves the same block again, as it is now.
        askFor(block, 0x3308);
        EXPECT_EQ(client.Ask(QByteArray(kName) + "\n"), "1\n");
        EXPECT_EQ(answered(block), 0xFADE0008u);
        // A name cut across two reads is still one line.
        askFor(block, 0x3304);
        ASSERT_TRUE(client.Send("FsasmLib:I"));
        test::RunEventsFor(std::chrono::milliseconds(20));
        EXPECT_EQ(client.Ask("PC:77:1\n"), "1\n");
        EXPECT_EQ(answered(block), 0x40000000u);
        // A line naming some other block does not reach this one.
        askFor(block, 0x3308);
        EXPECT_EQ(client.Ask("FsasmLib:IPC:78:1\n"), "0\n");
        EXPECT_EQ(answered(block), 0u);
    }
    // The client is gone: its block with it.
    EXPECT_TRUE(test::WaitUntil([&] { return server.linked_clients() == 0; }));
    EXPECT_EQ(state.fsuipc_clients, 0);
    ::close(block);
}

// A descriptor reopened read-only through /proc: the server cannot write the answers.
int readOnly(int fd) {
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    const int reopened = ::open(proc.c_str(), O_RDONLY | O_CLOEXEC);
    ::close(fd);
    return reopened;
}

// A regular file, of the right size but free to change it.
int plainFile(const QTemporaryDir& temp) {
    const std::string name = temp.filePath("plain").toStdString();
    const int fd = ::open(name.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    EXPECT_EQ(::ftruncate(fd, kBlockSize), 0);
    return fd;
}

int pipeEnd() {
    int ends[2];
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]);
    return ends[1];
}

struct HandOverCase {
    const char* name;
    std::function<int(const QTemporaryDir&)> descriptor;  // -1: none sent
    bool taken;
};

class HandOverTest : public FsuipcServerTest, public testing::WithParamInterface<HandOverCase> {};

// Only a block that can never change size is mapped: anything else could be cut short
// under the walk. A refused hand-over is answered "0" and the connection ends.
TEST_P(HandOverTest, TakesOnlyABlockOfFixedSize) {
    ASSERT_EQ(server.Listen("UIPCMAIN"), "");
    // A file planted in the folder under the block's name is never what gets served.
    const int planted = ::open(path(kName).c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    ASSERT_GE(planted, 0);
    ASSERT_EQ(::ftruncate(planted, kBlockSize), 0);
    askFor(planted, 0x3304);
    {
        RawClient client(path("UIPCMAIN"));
        ASSERT_TRUE(client.connected());
        const int descriptor = GetParam().descriptor(temp);
        std::vector<int> sent;
        if (descriptor >= 0) {
            sent.push_back(descriptor);
        }
        const std::string answer = client.Ask(QByteArray(kName) + "\n", sent);
        if (descriptor >= 0) {
            ::close(descriptor);
        }
        if (GetParam().taken) {
            EXPECT_EQ(answer, "1\n");
            EXPECT_EQ(server.linked_clients(), 1u);
        } else {
            EXPECT_EQ(answer, "0\n");
            EXPECT_EQ(client.Answer(), "closed");
            EXPECT_EQ(server.linked_clients(), 0u);
        }
    }
    EXPECT_EQ(answered(planted), 0u);
    ::close(planted);
    // The server goes on serving.
    const int block = makeBlock();
    expectServed(block);
    ::close(block);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandOverTest,
    testing::Values(
        HandOverCase{"Sealed", [](const QTemporaryDir&) { return makeBlock(); }, true},
        HandOverCase{"SealedAndLarger",
                     [](const QTemporaryDir&) { return makeBlock(4 * kBlockSize); }, true},
        HandOverCase{"None", [](const QTemporaryDir&) { return -1; }, false},
        HandOverCase{"NotSealed", [](const QTemporaryDir&) { return makeBlock(kBlockSize, 0); },
                     false},
        HandOverCase{"FreeToShrink",
                     [](const QTemporaryDir&) { return makeBlock(kBlockSize, F_SEAL_GROW); },
                     false},
        HandOverCase{"FreeToGrow",
                     [](const QTemporaryDir&) { return makeBlock(kBlockSize, F_SEAL_SHRINK); },
                     false},
        HandOverCase{"TooSmall", [](const QTemporaryDir&) { return makeBlock(kBlockSize - 1); },
                     false},
        HandOverCase{"ReadOnly", [](const QTemporaryDir&) { return readOnly(makeBlock()); }, false},
        HandOverCase{
            "WriteSealed",
            [](const QTemporaryDir&) { return makeBlock(kBlockSize, kSealed | F_SEAL_WRITE); },
            false},
        HandOverCase{"PlainFile", plainFile, false},
        HandOverCase{"Pipe", [](const QTemporaryDir&) { return pipeEnd(); }, false}),
    [](const testing::TestParamInfo<HandOverCase>& info) { return info.param.name; });

struct GarbageCase {
    const char* name;
    // What is sent, one message a step, each with that many fresh blocks riding on it,
    // and what comes back after each; a step that sends nothing reads what comes next.
    struct Step {
        QByteArray bytes;
        int blocks;
        std::string answer;
    };
    std::vector<Step> steps;
};

class GarbageTest : public FsuipcServerTest, public testing::WithParamInterface<GarbageCase> {};

TEST_P(GarbageTest, EndsTheConnectionAndServesTheNextClient) {
    ASSERT_EQ(server.Listen("UIPCMAIN"), "");
    {
        RawClient client(path("UIPCMAIN"));
        ASSERT_TRUE(client.connected());
        for (const GarbageCase::Step& step : GetParam().steps) {
            std::vector<int> blocks;
            for (int i = 0; i < step.blocks; ++i) {
                blocks.push_back(makeBlock());
            }
            const std::string answer =
                step.bytes.isEmpty() ? client.Answer() : client.Ask(step.bytes, blocks);
            EXPECT_EQ(answer, step.answer) << step.bytes.left(40).toHex().data();
            for (int block : blocks) {
                ::close(block);
            }
        }
        EXPECT_TRUE(test::WaitUntil([&] { return server.linked_clients() == 0; }));
    }
    const int block = makeBlock();
    expectServed(block);
    ::close(block);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GarbageTest,
    testing::Values(GarbageCase{"LineTooLong", {{QByteArray(4000, 'x') + "\n", 1, "closed"}}},
                    GarbageCase{"LineTooLongAfterTheHandOver",
                                {{"b\n", 1, "1\n"}, {QByteArray(4000, 'x') + "\n", 0, "closed"}}},
                    GarbageCase{"TwoBlocksAtOnce", {{"b\n", 2, "closed"}}},
                    GarbageCase{"ASecondBlockLater", {{"b\n", 1, "1\n"}, {"b\n", 1, "closed"}}},
                    GarbageCase{
                        "BinaryNoise",
                        {{QByteArray("\x00\xff\x01\n\n", 5), 0, "0\n"}, {"", 0, "closed"}}}),
    [](const testing::TestParamInfo<GarbageCase>& info) { return info.param.name; });

TEST_F(FsuipcServerTest, ABlockItCannotWalkIsAnsweredZero) {
    ASSERT_EQ(server.Listen("UIPCMAIN"), "");
    const int block = makeBlock();
    RawClient client(path("UIPCMAIN"));
    ASSERT_TRUE(client.connected());
    EXPECT_EQ(client.Ask(QByteArray(kName) + "\n", {block}), "1\n");
    const std::uint32_t request[] = {1, 0x3304, 0x10000, 0};  // runs past the block
    ASSERT_EQ(::pwrite(block, request, sizeof request, 0), static_cast<ssize_t>(sizeof request));
    EXPECT_EQ(client.Ask(QByteArray(kName) + "\n"), "0\n");
    // The block itself is still good: mended, it is served again.
    askFor(block, 0x3304);
    EXPECT_EQ(client.Ask(QByteArray(kName) + "\n"), "1\n");
    ::close(block);
}

TEST_F(FsuipcServerTest, ServesManyClientsAndOutlivesThoseThatVanish) {
    ASSERT_EQ(server.Listen("UIPCMAIN"), "");
    constexpr int kClients = 40;
    std::vector<std::unique_ptr<RawClient>> clients;
    std::vector<int> blocks;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<RawClient>(path("UIPCMAIN")));
        blocks.push_back(makeBlock());
        ASSERT_TRUE(clients.back()->connected());
        EXPECT_EQ(clients.back()->Ask(QByteArray(kName) + "\n", {blocks.back()}), "1\n") << i;
    }
    EXPECT_EQ(server.linked_clients(), static_cast<std::size_t>(kClients));
    // Every other client asks and goes without waiting for the answer; the rest ask again.
    for (int i = 0; i < kClients; ++i) {
        askFor(blocks[i], 0x3308);
        ASSERT_TRUE(clients[i]->Send(QByteArray(kName) + "\n"));
        if (i % 2 == 0) {
            clients[i].reset();
        }
    }
    for (int i = 1; i < kClients; i += 2) {
        EXPECT_EQ(clients[i]->Answer(), "1\n") << i;
        EXPECT_EQ(answered(blocks[i]), 0xFADE0008u) << i;
    }
    EXPECT_TRUE(test::WaitUntil([&] { return server.linked_clients() == kClients / 2; }));
    clients.clear();
    EXPECT_TRUE(test::WaitUntil([&] { return server.linked_clients() == 0; }));
    for (int block : blocks) {
        ::close(block);
    }
}

// A socket file whose listener is gone, as a killed stand-in leaves it.
void leaveDeadSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 1), 0);
    ::close(fd);
}

TEST_F(FsuipcServerTest, ReplacesADeadSocketButNotALiveOne) {
    leaveDeadSocket(path("UIPCMAIN"));
    ASSERT_EQ(server.Listen("UIPCMAIN"), "");
    const int block = makeBlock();
    expectServed(block);

    SimState other_state;
    SimModel other_model(other_state);
    FsuipcServer other(other_model, folder, {});
    EXPECT_NE(other.Listen("UIPCMAIN"), "");
    // The refused one must not have taken the live socket away.
    expectServed(block);
    ::close(block);
}

TEST_F(FsuipcServerTest, RefusesAFileThatIsNoSocket) {
    QFile file(QString::fromStdString(path("FS98MAIN")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_NE(server.Listen("FS98MAIN"), "");
    EXPECT_TRUE(file.exists());
}

TEST(FsuipcServerLifetimeTest, RemovesItsSocketWhenItEnds) {
    QTemporaryDir temp;
    const std::string folder = temp.filePath("sim").toStdString();
    ASSERT_EQ(PreparePrivateFolder(folder), "");
    struct stat info {};
    {
        SimState state;
        SimModel model(state);
        FsuipcServer server(model, folder, {});
        ASSERT_EQ(server.Listen("FS98MAIN"), "");
        ASSERT_EQ(::lstat((folder + "/FS98MAIN").c_str(), &info), 0);
    }
    EXPECT_NE(::lstat((folder + "/FS98MAIN").c_str(), &info), 0);
}

}  // namespace
}  // namespace tavoro::simhost
