#include "platform/linux/LocalFsuipcTransport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "platform/linux/LocalSocket.h"

namespace tavoro {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The answer is one short decimal number; a longer line is no answer of the server's.
constexpr std::size_t kMaxAnswer = 32;

// The names of the mappings this process holds. A Windows mapping name is unique while
// the mapping lives; an anonymous memory file has no such rule, so it is kept here.
class MappingNames {
public:
    bool Claim(const std::string& name) {
        const std::lock_guard<std::mutex> hold(lock_);
        return names_.insert(name).second;
    }
    void Release(const std::string& name) {
        const std::lock_guard<std::mutex> hold(lock_);
        names_.erase(name);
    }

private:
    std::mutex lock_;
    std::set<std::string> names_;
};

MappingNames& mappingNames() {
    // Never destroyed: a transport may close its mapping during the program's own end.
    static auto* names = new MappingNames;
    return *names;
}

}  // namespace

LocalFsuipcTransport::LocalFsuipcTransport(std::string folder) : folder_(std::move(folder)) {}

LocalFsuipcTransport::~LocalFsuipcTransport() {
    UnmapView();
    CloseMapping();
    disconnect();
}

FsuipcTransport::ServerWindow LocalFsuipcTransport::FindServerWindow() {
    // A new search starts a new link: the block goes over again to whoever is found.
    disconnect();
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
    // The name travels as one line.
    if (name.empty() || name.find_first_of(std::string_view("/\n\0", 3)) != name.npos) {
        return false;
    }
    disconnect();
    line_ = std::string(name) + "\n";
    return true;
}

void LocalFsuipcTransport::DeleteBlockAtom() {
    disconnect();
    line_.clear();
}

bool LocalFsuipcTransport::CreateMapping(std::string_view name, std::size_t size) {
    if (mapping_fd_ >= 0 || size == 0 || name.empty() ||
        name.find_first_of(std::string_view("/\0", 2)) != name.npos) {
        return false;
    }
    std::string claimed(name);
    // A mapping of that name already there is a failure, as on Windows.
    if (!mappingNames().Claim(claimed)) {
        return false;
    }
    // An anonymous memory file, which ends with its last user: nothing in the folder for
    // anyone to open or leave behind. It is sealed at its size, so that whoever reaches it
    // anyway (through /proc) can never shrink it under a reader, which would turn the
    // next copy out of it into SIGBUS.
    const int fd = ::memfd_create(claimed.c_str(), MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        mappingNames().Release(claimed);
        return false;
    }
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0 ||
        ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
        ::close(fd);
        mappingNames().Release(claimed);
        return false;
    }
    mapping_fd_ = fd;
    mapping_size_ = size;
    mapping_name_ = std::move(claimed);
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
    // The stand-in lets its copy of the block go when the connection ends.
    disconnect();
    if (mapping_fd_ >= 0) {
        ::close(mapping_fd_);
        mappingNames().Release(mapping_name_);
        mapping_fd_ = -1;
        mapping_size_ = 0;
        mapping_name_.clear();
    }
}

void LocalFsuipcTransport::ForgetWindow() {
    disconnect();
    window_.clear();
}

void LocalFsuipcTransport::disconnect() {
    if (connection_ >= 0) {
        ::close(connection_);
        connection_ = -1;
    }
}

LocalFsuipcTransport::Outcome LocalFsuipcTransport::sendLine(SteadyClock::time_point deadline,
                                                             bool with_block) {
    std::size_t sent = 0;
    while (sent < line_.size()) {
        ssize_t n;
        if (with_block && sent == 0) {
            // The block's descriptor rides on the first bytes of the connection.
            iovec io{line_.data(), line_.size()};
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
            msghdr message{};
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            cmsghdr* header = CMSG_FIRSTHDR(&message);
            header->cmsg_level = SOL_SOCKET;
            header->cmsg_type = SCM_RIGHTS;
            header->cmsg_len = CMSG_LEN(sizeof(int));
            std::memcpy(CMSG_DATA(header), &mapping_fd_, sizeof(int));
            // MSG_NOSIGNAL: a server that went away gives EPIPE here, never SIGPIPE.
            n = ::sendmsg(connection_, &message, MSG_NOSIGNAL);
        } else {
            n = ::send(connection_, line_.data() + sent, line_.size() - sent, MSG_NOSIGNAL);
        }
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            pollfd writable{connection_, POLLOUT, 0};
            if (::poll(&writable, 1, MillisecondsUntil(deadline)) == 0) {
                return Outcome::kTimedOut;
            }
            continue;
        }
        return Outcome::kFailed;
    }
    return Outcome::kDone;
}

LocalFsuipcTransport::Outcome LocalFsuipcTransport::handOver(SteadyClock::time_point deadline) {
    connection_ = ConnectLocalSocket(folder_ + "/" + window_, deadline);
    if (connection_ < 0) {
        return errno == ETIMEDOUT ? Outcome::kTimedOut : Outcome::kFailed;
    }
    return sendLine(deadline, true);
}

FsuipcTransport::SendResult LocalFsuipcTransport::SendRequest(int timeout_ms) {
    // Without a window, an atom or a block there is nobody to send to: as a failed
    // system call.
    if (window_.empty() || line_.empty() || message_.empty() || mapping_fd_ < 0) {
        return {false, true, 0};
    }
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));

    Outcome sent;
    if (connection_ >= 0) {
        sent = sendLine(deadline, false);
        // A connection the server ended since the last answer (a stand-in started
        // again) is no fault of this message: it goes on a new one.
        if (sent == Outcome::kFailed) {
            disconnect();
            sent = handOver(deadline);
        }
    } else {
        sent = handOver(deadline);
    }
    if (sent != Outcome::kDone) {
        disconnect();
        return {false, sent == Outcome::kFailed, 0};
    }

    // One connection carries every message of the link, so an answer that comes late
    // would be read as the answer to the next one. Whatever is not a plain answer in time
    // therefore ends the connection: the next message goes on a new one (handing the
    // block over again), and nothing sent on this one can ever be taken for its answer.
    char answer[kMaxAnswer + 1];
    std::size_t received = 0;
    const char* end = nullptr;
    while (end == nullptr && received < sizeof answer) {
        pollfd readable{connection_, POLLIN, 0};
        const int ready = ::poll(&readable, 1, MillisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            disconnect();
            return {false, ready < 0, 0};  // no answer in time, unless poll itself failed
        }
        const ssize_t n = ::recv(connection_, answer + received, sizeof answer - received, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n <= 0) {
            // Reset, or closed before answering: the server is gone or refused us.
            disconnect();
            return {false, true, 0};
        }
        received += static_cast<std::size_t>(n);
        end = static_cast<const char*>(std::memchr(answer, '\n', received));
    }

    // The message was answered; an answer that is not a number is no "handled", so the
    // client reports bad data rather than a lost link.
    std::uintptr_t result = 0;
    if (end != nullptr) {
        auto [stop, error] = std::from_chars(answer, end, result);
        if (error != std::errc() || stop != end) {
            result = 0;
        }
    }
    if (result != 1 || end == nullptr || end + 1 != answer + received) {
        disconnect();
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
