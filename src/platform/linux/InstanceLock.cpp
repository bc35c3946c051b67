#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QStandardPaths>
#include <cerrno>
#include <string>

namespace tavoro {

InstanceLock::InstanceLock(const QString& folder, const QString& name) {
    QDir().mkpath(folder);
    QByteArray path = QDir(folder).filePath(name + ".lock").toLocal8Bit();
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    // flock belongs to the open file: the kernel releases it when the process dies.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        first_ = errno != EWOULDBLOCK;
        ::close(fd);
        return;
    }
    // The holder's process id, for whoever looks at the lock.
    std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] auto written = ::write(fd, pid.data(), pid.size());
    }
    handle_ = fd;
}

InstanceLock::~InstanceLock() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
    }
}

QString InstanceLock::RuntimeFolder() {
    // XDG_RUNTIME_DIR, or a private folder Qt creates under /tmp when it is not set.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

}  // namespace tavoro
