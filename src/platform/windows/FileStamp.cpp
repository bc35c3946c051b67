#include "platform/FileStamp.h"

#include <windows.h>

namespace tavoro {
namespace {

// FILETIME counts 100 ns from 1601; the stamp counts nanoseconds from 1970.
std::int64_t nanoseconds(const FILETIME& time) {
    constexpr std::int64_t kEpochOffset = 116444736000000000LL;
    const std::int64_t ticks =
        (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return (ticks - kEpochOffset) * 100;
}

}  // namespace

std::optional<FileStamp> StampOfFile(const std::filesystem::path& path) {
    // Opened for no access at all, shared every way: a writer holding the file open is
    // neither disturbed nor refused.
    HANDLE file =
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (!known || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    // The system keeps no separate change time here: the last write stands for both.
    const std::int64_t written = nanoseconds(info.ftLastWriteTime);
    return FileStamp{info.dwVolumeSerialNumber,
                     (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                     (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
                     written, written};
}

}  // namespace tavoro
