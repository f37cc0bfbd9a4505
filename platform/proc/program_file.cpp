#include "platform/proc/program_file.h"

#include <filesystem>

namespace platform::proc {

std::string programFileName(std::string_view name) {
    return std::string(name);
}

std::string modulePath() {
    std::error_code error;
    std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
    // After an update replaced the file, the kernel marks the old one.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted)) {
        path.resize(path.size() - kDeleted.size());
    }
    return error ? std::string() : path;
}

std::string programFolder() {
    const std::string path = modulePath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace platform::proc
