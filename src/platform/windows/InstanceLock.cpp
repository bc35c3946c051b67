#include "platform/InstanceLock.h"

#include <windows.h>

#include <QStandardPaths>

namespace tavoro {

// A named mutex in the user's session: the system closes it with the process, however
// the process ends. The folder has no meaning here.
InstanceLock::InstanceLock(const QString&, const QString& name) {
    ::SetLastError(ERROR_SUCCESS);
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name.toLocal8Bit().constData());
    if (!mutex) {
        return;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        first_ = false;
        ::CloseHandle(mutex);
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(mutex);
}

InstanceLock::~InstanceLock() {
    if (handle_ != -1) {
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
}

QString InstanceLock::RuntimeFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::TempLocation);
}

}  // namespace tavoro
