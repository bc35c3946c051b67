#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace tavoro::fuzz {

// A file of this process's own, named `stem`-PID`extension`, for targets whose code under
// test reads files: in memory where the system offers it, since every run rewrites it.
inline std::filesystem::path ScratchFilePath(const std::string& stem,
                                             const std::string& extension) {
    const std::filesystem::path folder = std::filesystem::is_directory("/dev/shm")
                                             ? std::filesystem::path("/dev/shm")
                                             : std::filesystem::temp_directory_path();
    return folder / (stem + "-" + std::to_string(::getpid()) + extension);
}

// Replaces the file's content with the fuzzer's bytes.
inline void WriteScratchFile(const std::filesystem::path& path, const std::uint8_t* data,
                             std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace tavoro::fuzz
