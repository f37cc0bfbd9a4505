#include "updater/http_get.h"

#include "updater/update_trace.h"

#include <cstdio>
#include <curl/curl.h>
#include <memory>

namespace ostrum::updater {
namespace {

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
    void operator()(char* text) const { curl_free(text); }
};

// Where a transfer puts its body, and how much it may take.
struct Sink {
    std::string* text = nullptr;
    FILE* file = nullptr;
    size_t limit = 0;
    size_t received = 0;
    const EventPump* pump = nullptr;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto& sink = *static_cast<Sink*>(user);
    const size_t bytes = size * count;
    if (bytes > sink.limit - sink.received) {
        return 0; // refused: the transfer ends with a write error
    }
    sink.received += bytes;
    if (sink.text != nullptr) {
        sink.text->append(data, bytes);
        return bytes;
    }
    return std::fwrite(data, 1, bytes, sink.file);
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto& sink = *static_cast<Sink*>(user);
    if (sink.pump != nullptr && *sink.pump) {
        (*sink.pump)();
    }
    return 0;
}

// Names under the reserved top-level domain never resolve, so the built-in
// addresses fail at once instead of waiting for the resolver.
bool namesReservedInvalidHost(const std::string& url) {
    const std::unique_ptr<CURLU, CurlDeleter> parsed(curl_url());
    char* host = nullptr;
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
        curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
        return false;
    }
    const std::unique_ptr<char, CurlDeleter> owned(host);
    std::string name(host);
    if (name.ends_with('.')) {
        name.pop_back();
    }
    for (char& c : name) {
        c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return name == "invalid" || name.ends_with(".invalid");
}

void traceFailure(const std::string& url, const std::string& why) {
    UPD_TRACE("http get failed: " + url + " " + why);
}

bool transfer(const std::string& rawUrl, Sink& sink) {
    const std::string url = escapeUrl(rawUrl);
    if (namesReservedInvalidHost(url)) {
        traceFailure(url, "reserved host name");
        return false;
    }
    const std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        traceFailure(url, "no handle");
        return false;
    }
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, kRequestTimeoutMs);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(sink.limit));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &sink);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    const CURLcode result = curl_easy_perform(h);
    if (result != CURLE_OK) {
        traceFailure(url, curl_easy_strerror(result));
        return false;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        traceFailure(url, "status " + std::to_string(status));
        return false;
    }
    return true;
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

} // namespace

HttpLibrary::HttpLibrary() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

HttpLibrary::~HttpLibrary() {
    curl_global_cleanup();
}

bool httpGet(const std::string& url, std::string& body, size_t maxSize, const EventPump& pump) {
    std::string received;
    Sink sink{&received, nullptr, maxSize, 0, &pump};
    if (!transfer(url, sink)) {
        return false;
    }
    body = std::move(received);
    return true;
}

void httpNotify(const std::string& url, const EventPump& pump) {
    constexpr size_t kMaxIgnoredReply = 1024 * 1024;
    std::string ignored;
    (void)httpGet(url, ignored, kMaxIgnoredReply, pump);
}

bool httpDownload(const std::string& url, const std::string& path, const EventPump& pump) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        UPD_TRACE("cannot write " + path);
        return false;
    }
    Sink sink{nullptr, file.get(), kMaxPackageSize, 0, &pump};
    const bool received = transfer(url, sink);
    const bool written = std::fclose(file.release()) == 0;
    if (!received || !written) {
        std::remove(path.c_str());
        return false;
    }
    return true;
}

std::string escapeUrl(std::string_view url) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    constexpr std::string_view kUnsafe = "\"<>\\^`{|}";
    std::string escaped;
    escaped.reserve(url.size());
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f || kUnsafe.find(c) != std::string_view::npos) {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0xf];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

} // namespace ostrum::updater
