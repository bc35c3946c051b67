#include "simhost/FsuipcServer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QLocalSocket>
#include <QTimer>
#include <QVariant>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/linux/LocalSocket.h"

namespace tavoro::simhost {
namespace {

// The client's block; a mapping must be at least this big to be served.
constexpr std::size_t kBlockSize = 0x8000;
// The longest mapping name line taken; anything longer is no client of ours.
constexpr qsizetype kMaxNameLine = 256;
// A connection that sends no name within this time is dropped, so that a stuck client
// cannot pile up sockets.
constexpr int kIdleLimitMs = 10000;

// True when a process accepts connections on the socket at `path`; a full backlog still
// means someone listens there.
bool socketAnswers(const std::string& path, std::string& error) {
    const int fd = ConnectLocalSocket(path, std::chrono::steady_clock::now());
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno == ETIMEDOUT) {
        return true;
    }
    if (errno == ENAMETOOLONG) {
        error = "socket path too long";
    }
    return false;
}

}  // namespace

QString ClaimSocketPath(const QString& path) {
    const std::string native = QFile::encodeName(path).toStdString();
    struct stat info {};
    if (::lstat(native.c_str(), &info) != 0) {
        return errno == ENOENT ? QString() : path + ": " + std::strerror(errno);
    }
    if (!S_ISSOCK(info.st_mode)) {
        return path + ": exists and is not a socket";
    }
    std::string error;
    if (socketAnswers(native, error)) {
        return path + ": another simulator already serves there";
    }
    if (!error.empty()) {
        return path + ": " + QString::fromStdString(error);
    }
    if (::unlink(native.c_str()) != 0 && errno != ENOENT) {
        return path + ": " + std::strerror(errno);
    }
    return {};
}

FsuipcServer::FsuipcServer(SimModel& model, std::string folder, FsuipcVersions versions,
                           QObject* parent)
    : QObject(parent), model_(model), folder_(std::move(folder)), space_(versions) {
    connect(&server_, &QLocalServer::newConnection, this, &FsuipcServer::accept);
}

FsuipcServer::~FsuipcServer() {
    // Closing removes the socket file, so the next stand-in finds a clean folder.
    server_.close();
}

QString FsuipcServer::Listen(const QString& window) {
    const QString path = QString::fromStdString(folder_) + "/" + window;
    if (QString error = ClaimSocketPath(path); !error.isEmpty()) {
        return error;
    }
    if (!server_.listen(path)) {
        return path + ": " + server_.errorString();
    }
    return {};
}

void FsuipcServer::accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kIdleLimitMs, socket, [socket] { socket->abort(); });
        // One line per connection: the client opens a new one for each message.
        auto handle = [this, socket] {
            if (socket->property("answered").toBool()) {
                socket->readAll();
                return;
            }
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxNameLine) {
                    socket->abort();
                }
                return;
            }
            QByteArray line = socket->readLine(kMaxNameLine + 1);
            if (!line.endsWith('\n')) {
                socket->abort();
                return;
            }
            line.chop(1);
            const int answer = ServeMapping(line.toStdString());
            socket->setProperty("answered", true);
            socket->write(answer == 1 ? "1\n" : "0\n");
            socket->disconnectFromServer();
        };
        connect(socket, &QLocalSocket::readyRead, socket, handle);
        // Bytes may have come with the connection itself.
        if (socket->bytesAvailable() > 0) {
            handle();
        }
    }
}

int FsuipcServer::ServeMapping(const std::string& name) {
    // Only a plain name inside the rendezvous folder: no way out of it.
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string("/\0", 2)) != std::string::npos) {
        return 0;
    }
    const std::string path = folder_ + "/" + name;
    // No symbolic link is followed, and a FIFO planted under the name cannot block the
    // open.
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return 0;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid() ||
        info.st_size < static_cast<off_t>(kBlockSize)) {
        ::close(fd);
        return 0;
    }
    // Only the client's own block size is mapped, whatever the file's length. The
    // mapping is private to this user's folder, so only the user's own processes could
    // shrink it under us.
    void* view = ::mmap(nullptr, kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (view == MAP_FAILED) {
        return 0;
    }
    model_.Update();
    space_.Refresh(model_.state());
    const bool served =
        ServeBlock(static_cast<std::uint8_t*>(view), kBlockSize, space_, model_.state());
    ::munmap(view, kBlockSize);
    return served ? 1 : 0;
}

}  // namespace tavoro::simhost
