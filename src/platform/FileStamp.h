#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tavoro {

// What tells one version of a file from another without reading it: the file's identity
// (a replacement is a new file) with its size and times. Times are in nanoseconds since
// the epoch, as fine as the file system keeps them (a second or two on some).
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t file_id = 0;
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;
    // Moves on any change of content or metadata, where the system keeps such a time.
    std::int64_t changed_ns = 0;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The stamp of the regular file at `path`; nothing when there is none (absent, a folder,
// not reachable).
std::optional<FileStamp> StampOfFile(const std::filesystem::path& path);

}  // namespace tavoro
