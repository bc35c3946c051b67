#include "simhost/FsuipcServer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QLocalServer>
#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "platform/linux/LocalSocket.h"

namespace tavoro::simhost {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The longest line taken; anything longer is no client of ours.
constexpr std::size_t kMaxNameLine = 256;
// A connection that hands no block over within this time is dropped, so that a stuck
// client cannot pile up sockets; a linked one stays however long it is quiet.
constexpr std::chrono::milliseconds kIdleLimit{10000};
// Far more than the one client a simulator serves, few enough for the descriptor limit.
constexpr std::size_t kMaxConnections = 128;
// Descriptors taken from one read: a client sends one, anything beyond is closed.
constexpr std::size_t kMaxDescriptors = 4;
constexpr int kFixedSize = F_SEAL_SHRINK | F_SEAL_GROW;

// True when a process accepts connections on the socket at `path`; a full backlog still
// means someone listens there.
bool socketAnswers(const std::string& path, std::string& error) {
    const int fd = ConnectLocalSocket(path, SteadyClock::now());
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

// Maps the block of a handed-over descriptor, or nullptr when it is none we can trust.
// Only a memory file sealed against shrinking and growing is taken: seals are never
// lifted, so its pages stay there for as long as they are mapped, whatever anyone does
// with its descriptors, and a walk of the block can never fault.
std::uint8_t* mapBlock(int fd) {
    const int seals = ::fcntl(fd, F_GET_SEALS);
    struct stat info {};
    if (seals < 0 || (seals & kFixedSize) != kFixedSize || ::fstat(fd, &info) != 0 ||
        !S_ISREG(info.st_mode) || info.st_size < static_cast<off_t>(FsuipcServer::kBlockSize)) {
        return nullptr;
    }
    void* view =
        ::mmap(nullptr, FsuipcServer::kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return view == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(view);
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

// Qt's listening socket, which removes its file when closed, handing each accepted
// descriptor over as it is: the block's descriptor travels beside the bytes, which a
// Qt socket would read without it.
class FsuipcServer::Listener : public QLocalServer {
public:
    explicit Listener(std::function<void(int)> adopt) : adopt_(std::move(adopt)) {}

protected:
    void incomingConnection(quintptr descriptor) override { adopt_(static_cast<int>(descriptor)); }

private:
    std::function<void(int)> adopt_;
};

struct FsuipcServer::Connection {
    ~Connection() {
        // The notifier may be the one signalling right now: it goes once that is over.
        notifier->setEnabled(false);
        notifier->deleteLater();
        if (block != nullptr) {
            ::munmap(block, kBlockSize);
        }
        if (handed >= 0) {
            ::close(handed);
        }
        ::close(fd);
    }

    int fd = -1;
    QSocketNotifier* notifier = nullptr;
    SteadyClock::time_point accepted;
    std::string pending;            // the start of a line not complete yet
    int handed = -1;                // a descriptor received before its line ended
    std::uint8_t* block = nullptr;  // mapped once, at the hand-over
    std::string name;               // the block's name, as the hand-over gave it
};

FsuipcServer::FsuipcServer(SimModel& model, std::string folder, FsuipcVersions versions,
                           QObject* parent)
    : QObject(parent),
      model_(model),
      folder_(std::move(folder)),
      space_(versions),
      listener_(std::make_unique<Listener>([this](int fd) { adopt(fd); })) {
    sweep_.setInterval(kIdleLimit / 2);
    connect(&sweep_, &QTimer::timeout, this, &FsuipcServer::sweep);
}

FsuipcServer::~FsuipcServer() {
    // Closing removes the socket file, so the next stand-in finds a clean folder.
    listener_->close();
    connections_.clear();
}

QString FsuipcServer::Listen(const QString& window) {
    const QString path = QString::fromStdString(folder_) + "/" + window;
    if (QString error = ClaimSocketPath(path); !error.isEmpty()) {
        return error;
    }
    if (!listener_->listen(path)) {
        return path + ": " + listener_->errorString();
    }
    return {};
}

std::size_t FsuipcServer::linked_clients() const {
    std::size_t linked = 0;
    for (const auto& [id, connection] : connections_) {
        linked += connection->block != nullptr ? 1 : 0;
    }
    return linked;
}

void FsuipcServer::adopt(int fd) {
    if (connections_.size() >= kMaxConnections) {
        ::close(fd);
        return;
    }
    const std::uint32_t id = next_connection_++;
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->accepted = SteadyClock::now();
    connection->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(connection->notifier, &QSocketNotifier::activated, this,
            [this, id] { onReadable(id); });
    connections_.emplace(id, std::move(connection));
    if (!sweep_.isActive()) {
        sweep_.start();
    }
}

void FsuipcServer::onReadable(std::uint32_t id) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) {
        return;
    }
    Connection& connection = *found->second;

    // One read per readiness: the notifier calls again while bytes are left.
    char bytes[kMaxNameLine + 1];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxDescriptors)];
    iovec io{bytes, sizeof bytes};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(connection.fd, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return;
    }
    // Gone, or more descriptors than fit: no client of ours.
    bool broken = n <= 0 || (message.msg_flags & MSG_CTRUNC) != 0;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); n > 0 && header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) {
            continue;
        }
        const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(header) + i * sizeof fd, sizeof fd);
            // One descriptor per connection, before its first line ends.
            if (connection.block != nullptr || connection.handed >= 0) {
                ::close(fd);
                broken = true;
            } else {
                connection.handed = fd;
            }
        }
    }
    if (broken) {
        drop(id);
        return;
    }

    connection.pending.append(bytes, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t end; (end = connection.pending.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const int answer =
            serve(connection, std::string_view(connection.pending).substr(start, end - start));
        // The client waits for each answer before it asks again, so a full socket is a
        // client that does not read them.
        const bool sent =
            ::send(connection.fd, answer == 1 ? "1\n" : "0\n", 2, MSG_NOSIGNAL | MSG_DONTWAIT) == 2;
        if (!sent || connection.block == nullptr) {
            drop(id);
            return;
        }
    }
    connection.pending.erase(0, start);
    if (connection.pending.size() > kMaxNameLine) {
        drop(id);
    }
}

int FsuipcServer::serve(Connection& connection, std::string_view line) {
    if (connection.block == nullptr) {
        // The hand-over: the first line must bring the block's descriptor with it.
        const int fd = std::exchange(connection.handed, -1);
        if (fd < 0) {
            return 0;
        }
        connection.block = mapBlock(fd);
        // The mapping keeps the block; the descriptor is of no further use.
        ::close(fd);
        if (connection.block == nullptr) {
            return 0;
        }
        connection.name = std::string(line);
        publish();
    } else if (line != connection.name) {
        return 0;  // names a block this connection did not hand over
    }
    model_.Update();
    space_.Refresh(model_.state());
    return ServeBlock(connection.block, kBlockSize, space_, model_.state()) ? 1 : 0;
}

void FsuipcServer::drop(std::uint32_t id) {
    const auto found = connections_.find(id);
    if (found == connections_.end()) {
        return;
    }
    const bool linked = found->second->block != nullptr;
    connections_.erase(found);
    if (linked) {
        publish();
    }
}

void FsuipcServer::sweep() {
    const auto now = SteadyClock::now();
    std::vector<std::uint32_t> expired;
    bool waiting = false;
    for (const auto& [id, connection] : connections_) {
        if (connection->block == nullptr) {
            if (now - connection->accepted >= kIdleLimit) {
                expired.push_back(id);
            } else {
                waiting = true;
            }
        }
    }
    for (const std::uint32_t id : expired) {
        drop(id);
    }
    if (!waiting) {
        sweep_.stop();
    }
}

void FsuipcServer::publish() {
    model_.state().fsuipc_clients = static_cast<int>(linked_clients());
}

}  // namespace tavoro::simhost
