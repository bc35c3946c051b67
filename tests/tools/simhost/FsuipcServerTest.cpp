#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <cstring>
#include <functional>
#include <string>

#include "platform/linux/SimRendezvous.h"
#include "simhost/FsuipcServer.h"
#include "support/EventLoop.h"

namespace tavoro::simhost {
namespace {

constexpr std::size_t kBlockSize = 0x8000;

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

    // A mapping file as the client makes it, holding one read of the FSUIPC version.
    void makeMapping(const std::string& name, std::size_t size = kBlockSize) {
        const int fd = ::open(path(name).c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        const std::uint32_t request[] = {1, 0x3304, 4, 0};
        ASSERT_EQ(::pwrite(fd, request, sizeof request, 0), static_cast<ssize_t>(sizeof request));
        ::close(fd);
    }

    std::uint32_t servedVersion(const std::string& name) const {
        std::uint32_t value = 0;
        const int fd = ::open(path(name).c_str(), O_RDONLY);
        EXPECT_EQ(::pread(fd, &value, 4, 16), 4);
        ::close(fd);
        return value;
    }

    QTemporaryDir temp;
    std::string folder;
    SimState state;
    SimModel model;
    FsuipcServer server;
};

TEST_F(FsuipcServerTest, ServesAMappingInTheFolder) {
    makeMapping("FsasmLib:IPC:1A2B:1");
    EXPECT_EQ(server.ServeMapping("FsasmLib:IPC:1A2B:1"), 1);
    EXPECT_EQ(servedVersion("FsasmLib:IPC:1A2B:1"), 0x40000000u);
}

TEST_F(FsuipcServerTest, RefusesWhatIsNotAPlainMappingOfTheUser) {
    makeMapping("good");
    makeMapping("small", kBlockSize - 1);
    ASSERT_EQ(::symlink(path("good").c_str(), path("link").c_str()), 0);
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(path("folder").c_str(), 0700), 0);
    // A file outside the folder that a name with a way out would reach.
    const std::string outside = temp.filePath("outside").toStdString();
    ASSERT_EQ(::rename(path("good").c_str(), outside.c_str()), 0);
    makeMapping("good");

    const std::string names[] = {"",
                                 ".",
                                 "..",
                                 "../outside",
                                 "sub/good",
                                 "missing",
                                 "small",
                                 "link",
                                 "fifo",
                                 "folder",
                                 std::string("good\0x", 6)};
    for (const std::string& name : names) {
        EXPECT_EQ(server.ServeMapping(name), 0) << "name " << name;
    }
    EXPECT_EQ(server.ServeMapping("good"), 1);
}

// Sends one line on the window's socket, in the pieces given (each written on its own),
// and returns what comes back before the server closes the connection.
QByteArray exchange(const std::string& socket_path, const QList<QByteArray>& pieces) {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(socket_path));
    QByteArray answer;
    if (!test::WaitUntil([&] { return socket.state() == QLocalSocket::ConnectedState; })) {
        return "not connected";
    }
    for (const QByteArray& piece : pieces) {
        socket.write(piece);
        socket.flush();
        test::RunEventsFor(std::chrono::milliseconds(20));
    }
    test::WaitUntil([&] {
        answer += socket.readAll();
        return socket.state() == QLocalSocket::UnconnectedState;
    });
    return answer + socket.readAll();
}

TEST_F(FsuipcServerTest, AnswersEachConnectionOnTheWindowSocket) {
    ASSERT_EQ(server.Listen("UIPCMAIN"), "");
    makeMapping("FsasmLib:IPC:77:1");
    EXPECT_EQ(exchange(path("UIPCMAIN"), {"FsasmLib:IPC:77:1\n"}), "1\n");
    EXPECT_EQ(servedVersion("FsasmLib:IPC:77:1"), 0x40000000u);
    // A name cut across two reads is still one line.
    makeMapping("FsasmLib:IPC:78:1");
    EXPECT_EQ(exchange(path("UIPCMAIN"), {"FsasmLib:I", "PC:78:1\n"}), "1\n");
    EXPECT_EQ(exchange(path("UIPCMAIN"), {"missing\n"}), "0\n");
    // A line far too long for a name gets no answer at all.
    EXPECT_EQ(exchange(path("UIPCMAIN"), {QByteArray(4000, 'x') + "\n"}), "");
}

TEST_F(FsuipcServerTest, ABlockItCannotWalkIsAnsweredZero) {
    makeMapping("bad");
    const int fd = ::open(path("bad").c_str(), O_RDWR);
    const std::uint32_t request[] = {1, 0x3304, 0x10000, 0};  // runs past the block
    ASSERT_EQ(::pwrite(fd, request, sizeof request, 0), static_cast<ssize_t>(sizeof request));
    ::close(fd);
    EXPECT_EQ(server.ServeMapping("bad"), 0);
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
    makeMapping("m");
    EXPECT_EQ(exchange(path("UIPCMAIN"), {"m\n"}), "1\n");

    SimState other_state;
    SimModel other_model(other_state);
    FsuipcServer other(other_model, folder, {});
    EXPECT_NE(other.Listen("UIPCMAIN"), "");
    // The refused one must not have taken the live socket away.
    EXPECT_EQ(exchange(path("UIPCMAIN"), {"m\n"}), "1\n");
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
