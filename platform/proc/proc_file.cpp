#include "platform/proc/proc_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform::proc {

bool readProcFile(const std::string& path, std::string& out) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) {
            text.append(buffer, size_t(got));
        }
    }
    close(fd);
    if (got < 0) {
        return false;
    }
    out = std::move(text);
    return true;
}

} // namespace platform::proc
