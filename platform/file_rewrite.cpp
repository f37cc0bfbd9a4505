#include "platform/file_rewrite.h"

#include "platform/descriptor.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kMaxLinks = 40;

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAllAt(int fd, std::string_view content, off_t offset) {
    while (!content.empty()) {
        const ssize_t written = pwrite(fd, content.data(), content.size(), offset);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        content.remove_prefix(size_t(written));
        offset += written;
    }
    return true;
}

bool readAll(int fd, std::string& out, size_t maxBytes = SIZE_MAX) {
    char buffer[4096];
    for (off_t offset = 0; out.size() <= maxBytes;) {
        const ssize_t got = pread(fd, buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        out.append(buffer, size_t(got));
        offset += got;
    }
    return false;
}

void syncFolder(const std::string& folder) {
    const Descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) {
        (void)fsync(fd.get());
    }
}

bool replaceContent(int fd, std::string_view content) {
    return writeAllAt(fd, content, 0) && ftruncate(fd, off_t(content.size())) == 0;
}

// For a file whose folder takes no new file, or whose owner only it keeps.
bool rewriteInPlace(const std::string& target, std::string_view content) {
    const Descriptor fd(open(target.c_str(), O_RDWR | O_CLOEXEC));
    std::string old;
    if (fd.get() < 0 || !readAll(fd.get(), old)) {
        return false;
    }
    // Running out of space shows here, before a byte has changed.
    if (content.size() > old.size()) {
        const int error = posix_fallocate(fd.get(), 0, off_t(content.size()));
        if (error != 0 && error != EOPNOTSUPP && error != EINVAL) {
            return false;
        }
    }
    if (!replaceContent(fd.get(), content) || fsync(fd.get()) != 0) {
        (void)replaceContent(fd.get(), old);
        (void)fsync(fd.get());
        return false;
    }
    return true;
}

std::string temporaryName(const std::string& target) {
    static std::atomic<unsigned> s_count{0};
    return target + "." + std::to_string(getpid()) + "." + std::to_string(++s_count) + ".tmp";
}

// The new copy gets the old file's owner, group and mode; false when the
// caller may not give it that owner.
bool takeOwnerAndMode(int fd, const struct stat& old) {
    struct stat made {};
    if (fstat(fd, &made) != 0) {
        return false;
    }
    const bool sameOwner = made.st_uid == old.st_uid && made.st_gid == old.st_gid;
    return (sameOwner || fchown(fd, old.st_uid, old.st_gid) == 0) &&
           fchmod(fd, old.st_mode & 07777) == 0;
}

enum class Outcome { Done, Failed, InPlace };

Outcome replaceByRename(const std::string& target, std::string_view content) {
    struct stat old {};
    const bool existed = stat(target.c_str(), &old) == 0;
    const std::string temporary = temporaryName(target);
    // Nobody else reads the copy of an existing file before it has that file's mode.
    const mode_t mode = existed ? 0600 : 0666;
    const Descriptor fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (fd.get() < 0) {
        return existed && (errno == EACCES || errno == EPERM) ? Outcome::InPlace : Outcome::Failed;
    }
    if (existed && !takeOwnerAndMode(fd.get(), old)) {
        unlink(temporary.c_str());
        return Outcome::InPlace;
    }
    if (!writeAllAt(fd.get(), content, 0) || fsync(fd.get()) != 0 ||
        rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return Outcome::Failed;
    }
    syncFolder(folderOf(target));
    return Outcome::Done;
}

} // namespace

bool readWholeFile(const std::string& path, std::string& out, size_t maxBytes) {
    const Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string content;
    if (fd.get() < 0 || !readAll(fd.get(), content, maxBytes)) {
        return false;
    }
    out = std::move(content);
    return true;
}

std::string linkTarget(const std::string& path) {
    std::string current = path;
    for (int i = 0; i < kMaxLinks; ++i) {
        char buffer[PATH_MAX];
        const ssize_t length = readlink(current.c_str(), buffer, sizeof buffer);
        if (length < 0 || size_t(length) >= sizeof buffer) {
            return current;
        }
        const std::string link(buffer, size_t(length));
        current = link.starts_with('/') ? link : folderOf(current) + "/" + link;
    }
    return current;
}

bool rewriteFile(const std::string& path, std::string_view content) {
    const std::string target = linkTarget(path);
    switch (replaceByRename(target, content)) {
    case Outcome::Done:
        return true;
    case Outcome::InPlace:
        return rewriteInPlace(target, content);
    case Outcome::Failed:
        break;
    }
    return false;
}

} // namespace platform
