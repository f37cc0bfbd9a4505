#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ostrum::updater {

// Runs pending window events while a request waits.
using EventPump = std::function<void()>;

// Every request ends after this long, answered or not.
constexpr long kRequestTimeoutMs = 10000;
// Longest package taken.
constexpr size_t kMaxPackageSize = size_t(512) * 1024 * 1024;

// Sets up the HTTP library for the life of the program.
class HttpLibrary {
public:
    HttpLibrary();
    ~HttpLibrary();
    HttpLibrary(const HttpLibrary&) = delete;
    HttpLibrary& operator=(const HttpLibrary&) = delete;
};

// GET of an http or https address. True, with the body, when a reply of
// status 2xx and at most maxSize bytes arrived in time; redirects are followed.
[[nodiscard]] bool httpGet(const std::string& url, std::string& body, size_t maxSize,
                           const EventPump& pump = {});

// Sends the request and ignores the reply.
void httpNotify(const std::string& url, const EventPump& pump = {});

// GET saved as received into path (replaced); a failed or oversized download
// leaves no file.
[[nodiscard]] bool httpDownload(const std::string& url, const std::string& path,
                                const EventPump& pump = {});

// The address with the bytes a URL cannot carry (controls, blanks, non-ASCII,
// "<>\^`{|} and the double quote) percent-encoded; everything else as it stands.
std::string escapeUrl(std::string_view url);

} // namespace ostrum::updater
