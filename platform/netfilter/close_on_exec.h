#pragma once

#include <boost/system/error_code.hpp>
#include <cerrno>
#include <fcntl.h>

namespace platform::netfilter {

// Asio opens and accepts sockets without close-on-exec; a started program
// must not keep a client's or the web server's connection open.
inline void keepFromChildren(int fd, boost::system::error_code& error) {
    if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
        error.assign(errno, boost::system::system_category());
    }
}

} // namespace platform::netfilter
