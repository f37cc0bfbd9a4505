#include "service/file_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrum {

bool fileExists(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool isFile = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    ::close(fd);
    return isFile;
}

// A stat() instead of an open: the log writers ask once per line.
uint64_t fileSizeMB(const std::string& name) {
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        return 0;
    }
    return uint64_t(info.st_size) >> 20;
}

} // namespace ostrum
