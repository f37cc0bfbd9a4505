#include "updater/file_ops.h"

#include "platform/clock.h"
#include "updater/update_trace.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>

namespace ostrum::updater {
namespace fs = std::filesystem;

namespace {

std::string dateText(int year, unsigned month, unsigned day) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", year, month, day);
    return text;
}

void traceError(const char* what, const std::string& path, const std::error_code& error) {
    UPD_TRACE(std::string(what) + " " + path + ": " + error.message());
}

} // namespace

std::string todayString() {
    const platform::LocalTime now = platform::localTime();
    return dateText(now.year, unsigned(now.month), unsigned(now.day));
}

std::string yesterdayString() {
    using namespace std::chrono;
    const platform::LocalTime now = platform::localTime();
    const year_month_day today{year(now.year), month(unsigned(now.month)), day(unsigned(now.day))};
    const year_month_day yesterday{sys_days(today) - days(1)};
    return dateText(int(yesterday.year()), unsigned(yesterday.month()), unsigned(yesterday.day()));
}

std::string fileDateString(const std::string& path) {
    struct stat info {};
    std::tm local{};
    if (stat(path.c_str(), &info) != 0 || localtime_r(&info.st_mtime, &local) == nullptr) {
        return {};
    }
    return dateText(local.tm_year + 1900, unsigned(local.tm_mon + 1), unsigned(local.tm_mday));
}

bool fileExists(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

bool folderExists(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

void createFolder(const std::string& path) {
    std::error_code error;
    if (!fs::create_directory(path, error) && error) {
        traceError("cannot create", path, error);
    }
}

void copyFileOver(const std::string& from, const std::string& to) {
    std::error_code error;
    if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, error)) {
        traceError("cannot copy", from, error);
    }
}

bool hasFiles(const std::string& folder) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_directory(error)) {
            return true;
        }
    }
    return false;
}

void deleteFiles(const std::string& folder) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code each;
        if (!it->is_directory(each) && !fs::remove(it->path(), each)) {
            traceError("cannot delete", it->path().string(), each);
        }
    }
}

} // namespace ostrum::updater
