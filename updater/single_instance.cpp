#include "updater/single_instance.h"

#include "updater/update_trace.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace ostrum::updater {

SingleInstance::SingleInstance(const std::string& programPath)
    : m_fd(open(programPath.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (m_fd < 0) {
        UPD_TRACE("cannot open " + programPath + " to lock it");
        m_acquired = true; // no way to tell: run rather than never update
        return;
    }
    m_acquired = flock(m_fd, LOCK_EX | LOCK_NB) == 0;
}

SingleInstance::~SingleInstance() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

} // namespace ostrum::updater
