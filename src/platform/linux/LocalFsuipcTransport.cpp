#include "platform/linux/LocalFsuipcTransport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/linux/LocalSocket.h"

namespace tavoro {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The answer is one short decimal number; a longer line is no answer of the server's.
constexpr std::size_t kMaxAnswer = 32;

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

int createExclusive(const std::string& path) {
    return ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
}

// Removes the block file at `path` when it is ours and nobody holds its lock: its client
// is gone. False when it is in use, or not a file of ours.
bool removeAbandoned(const std::string& path) {
    const Descriptor file(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::getuid() || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    return ::unlink(path.c_str()) == 0;
}

}  // namespace

LocalFsuipcTransport::LocalFsuipcTransport(std::string folder) : folder_(std::move(folder)) {}

LocalFsuipcTransport::~LocalFsuipcTransport() {
    // A client that did not close leaves no mapping file behind.
    UnmapView();
    CloseMapping();
}

FsuipcTransport::ServerWindow LocalFsuipcTransport::FindServerWindow() {
    // A window exists when its socket accepts a connection: a socket file left by a
    // stand-in that died does not count.
    const std::pair<const char*, ServerWindow> windows[] = {
        {kUipcmainSocket, ServerWindow::Uipcmain},
        {kFs98mainSocket, ServerWindow::Fs98main},
    };
    for (const auto& [name, window] : windows) {
        const int fd = ConnectLocalSocket(folder_ + "/" + name,
                                          SteadyClock::now() + std::chrono::milliseconds(1000));
        if (fd >= 0) {
            ::close(fd);
            window_ = name;
            return window;
        }
    }
    window_.clear();
    return ServerWindow::None;
}

bool LocalFsuipcTransport::RegisterMessage(std::string_view name) {
    message_ = std::string(name);
    return !message_.empty();
}

bool LocalFsuipcTransport::AddBlockAtom(std::string_view name) {
    // The name travels as one line and names a file in the folder.
    if (name.empty() || name.find_first_of(std::string_view("/\n\0", 3)) != name.npos) {
        return false;
    }
    atom_ = std::string(name);
    return true;
}

void LocalFsuipcTransport::DeleteBlockAtom() {
    atom_.clear();
}

bool LocalFsuipcTransport::CreateMapping(std::string_view name, std::size_t size) {
    if (mapping_fd_ >= 0 || name.empty() ||
        name.find_first_of(std::string_view("/\0", 2)) != name.npos) {
        return false;
    }
    if (!PreparePrivateFolder(folder_).empty()) {
        return false;
    }
    std::string path = folder_ + "/" + std::string(name);
    // O_EXCL: a mapping of that name already there is a failure, as on Windows, and
    // never a file someone else prepared for us. A Windows mapping ends with its owner,
    // though, and a file does not: one whose owner died (nobody holds its lock) is taken
    // away first, or a client that crashed would block every later one with its id.
    int fd = createExclusive(path);
    if (fd < 0 && errno == EEXIST && removeAbandoned(path)) {
        fd = createExclusive(path);
    }
    if (fd < 0) {
        return false;
    }
    // Held while the mapping lives; the system drops it when the process ends.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        ::unlink(path.c_str());
        return false;
    }
    // The umask may only have narrowed the mode; make it exactly owner read-write.
    if (::fchmod(fd, 0600) != 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        ::unlink(path.c_str());
        return false;
    }
    mapping_fd_ = fd;
    mapping_size_ = size;
    mapping_path_ = std::move(path);
    return true;
}

std::uint8_t* LocalFsuipcTransport::MapView() {
    if (view_ != nullptr) {
        return view_;
    }
    if (mapping_fd_ < 0 || mapping_size_ == 0) {
        return nullptr;
    }
    void* view = ::mmap(nullptr, mapping_size_, PROT_READ | PROT_WRITE, MAP_SHARED, mapping_fd_, 0);
    if (view == MAP_FAILED) {
        return nullptr;
    }
    view_ = static_cast<std::uint8_t*>(view);
    return view_;
}

void LocalFsuipcTransport::UnmapView() {
    if (view_ != nullptr) {
        ::munmap(view_, mapping_size_);
        view_ = nullptr;
    }
}

void LocalFsuipcTransport::CloseMapping() {
    UnmapView();
    if (mapping_fd_ >= 0) {
        ::close(mapping_fd_);
        ::unlink(mapping_path_.c_str());
        mapping_fd_ = -1;
        mapping_size_ = 0;
        mapping_path_.clear();
    }
}

void LocalFsuipcTransport::ForgetWindow() {
    window_.clear();
}

FsuipcTransport::SendResult LocalFsuipcTransport::SendRequest(int timeout_ms) {
    // Without a window or an atom there is nobody to send to: as a failed system call.
    if (window_.empty() || atom_.empty() || message_.empty()) {
        return {false, true, 0};
    }
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));

    // A new connection per message: the late answer of an attempt that timed out goes
    // to its own closed socket and can never be taken for the next attempt's.
    const Descriptor socket(ConnectLocalSocket(folder_ + "/" + window_, deadline));
    if (socket.get() < 0) {
        return {false, errno != ETIMEDOUT, 0};
    }

    const std::string line = atom_ + "\n";
    std::size_t sent = 0;
    while (sent < line.size()) {
        // MSG_NOSIGNAL: a server that went away gives EPIPE here, never SIGPIPE.
        const ssize_t n =
            ::send(socket.get(), line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            pollfd writable{socket.get(), POLLOUT, 0};
            if (::poll(&writable, 1, MillisecondsUntil(deadline)) == 0) {
                return {false, false, 0};
            }
            continue;
        }
        return {false, true, 0};
    }

    std::string answer;
    while (answer.find('\n') == std::string::npos) {
        pollfd readable{socket.get(), POLLIN, 0};
        const int ready = ::poll(&readable, 1, MillisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            return {false, false, 0};  // no answer in time
        }
        if (ready < 0) {
            return {false, true, 0};
        }
        char buffer[kMaxAnswer];
        const ssize_t n = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n <= 0) {
            // Reset, or closed before answering: the server is gone or refused us.
            return {false, true, 0};
        }
        answer.append(buffer, static_cast<std::size_t>(n));
        if (answer.size() > kMaxAnswer) {
            break;
        }
    }

    // The message was answered; an answer that is not a number is no "handled", so the
    // client reports bad data rather than a lost link.
    const std::size_t end = answer.find('\n');
    std::uintptr_t result = 0;
    if (end != std::string::npos) {
        auto [stop, error] = std::from_chars(answer.data(), answer.data() + end, result);
        if (error != std::errc() || stop != answer.data() + end) {
            result = 0;
        }
    }
    return {true, false, result};
}

std::uint32_t LocalFsuipcTransport::CurrentProcessId() {
    return static_cast<std::uint32_t>(::getpid());
}

void LocalFsuipcTransport::Sleep(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace tavoro
