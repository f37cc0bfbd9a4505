#include "updater/package_download.h"

#include "updater/md5.h"
#include "updater/update_trace.h"

#include <cstdio>

namespace ostrum::updater {

bool packageMatches(const std::string& path, const std::string& hash) {
    std::string digest;
    if (!md5File(path, digest)) {
        UPD_TRACE(path + " cannot be read");
        return false;
    }
    if (digest != hash) {
        UPD_TRACE(path + " Hash 不匹配! new_hash=" + digest);
        return false;
    }
    return true;
}

bool downloadPackage(const std::string& url, const std::string& path, const std::string& hash,
                     const EventPump& pump) {
    std::remove(path.c_str());
    if (!httpDownload(url, path, pump)) {
        return false;
    }
    if (!packageMatches(path, hash)) {
        std::remove(path.c_str());
        return false;
    }
    UPD_TRACE(path + " Hash 匹配!");
    return true;
}

} // namespace ostrum::updater
