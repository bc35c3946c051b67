#include "platform/linux/SimRendezvous.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tavoro {

std::string SimRendezvousFolder() {
    if (const char* dir = std::getenv("TAVORO_SIM_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime != '\0') {
        return std::string(runtime) + "/tavoro-sim";
    }
    return "/tmp/tavoro-sim-" + std::to_string(::getuid());
}

std::string PreparePrivateFolder(const std::string& folder) {
    if (folder.empty()) {
        return "no folder given";
    }
    // Parents are made as ordinary folders; only the last one must be private.
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        const std::string parent = folder.substr(0, slash);
        if (::mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST) {
            return parent + ": " + std::strerror(errno);
        }
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return folder + ": " + std::strerror(errno);
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return folder + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return folder + ": not a folder";
    }
    if (info.st_uid != ::getuid()) {
        return folder + ": belongs to another user";
    }
    if ((info.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) {
        return folder + ": " + std::strerror(errno);
    }
    return {};
}

}  // namespace tavoro
