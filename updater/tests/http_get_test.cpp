#include "updater/http_get.h"

#include <arpa/inet.h>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace ostrum::updater {
namespace {

// A loopback server answering each request by its path from a fixed table.
class CannedServer {
public:
    explicit CannedServer(std::map<std::string, std::string> answers)
        : m_answers(std::move(answers)), m_listener(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), length);
        listen(m_listener, 8);
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~CannedServer() {
        shutdown(m_listener, SHUT_RDWR);
        close(m_listener);
        m_thread.join();
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

private:
    void serve() {
        int client = -1;
        while ((client = accept(m_listener, nullptr, nullptr)) >= 0) {
            std::string request;
            char buffer[4096];
            ssize_t got = 0;
            while (request.find("\r\n\r\n") == std::string::npos &&
                   (got = read(client, buffer, sizeof buffer)) > 0) {
                request.append(buffer, size_t(got));
            }
            const size_t start = request.find(' ') + 1;
            const std::string path = request.substr(start, request.find(' ', start) - start);
            const auto found = m_answers.find(path);
            const std::string answer = found != m_answers.end()
                                           ? found->second
                                           : "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n"
                                             "Connection: close\r\n\r\nnot found";
            (void)!write(client, answer.data(), answer.size());
            close(client);
        }
    }

    std::map<std::string, std::string> m_answers;
    int m_listener;
    int m_port = 0;
    std::thread m_thread;
};

std::string ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

TEST(HttpGet, BodiesStatusesAndRedirects) {
    const HttpLibrary library;
    CannedServer server({
        {"/reply?a=b%20c", ok("1.0,x,y")},
        {"/binary", ok(std::string("\0\x01\xff\r\n", 5))},
        {"/moved", "HTTP/1.1 302 Found\r\nLocation: /binary\r\nContent-Length: 0\r\n\r\n"},
        {"/to-file", "HTTP/1.1 302 Found\r\nLocation: file:///etc/passwd\r\n"
                     "Content-Length: 0\r\n\r\n"},
        {"/error", "HTTP/1.1 500 Oops\r\nContent-Length: 20\r\n\r\nan error page, long."},
    });
    std::string body;
    ASSERT_TRUE(httpGet(server.url("/reply?a=b c"), body, 100)) << "the blank is encoded";
    EXPECT_EQ(body, "1.0,x,y");
    ASSERT_TRUE(httpGet(server.url("/moved"), body, 100));
    EXPECT_EQ(body, std::string("\0\x01\xff\r\n", 5));

    body = "kept";
    EXPECT_FALSE(httpGet(server.url("/error"), body, 100));
    EXPECT_FALSE(httpGet(server.url("/missing"), body, 100));
    EXPECT_FALSE(httpGet(server.url("/to-file"), body, 100));
    EXPECT_FALSE(httpGet(server.url("/reply?a=b c"), body, 6)) << "longer than allowed";
    EXPECT_EQ(body, "kept");
}

TEST(HttpGet, AddressesThatReachNobody) {
    const HttpLibrary library;
    std::string body;
    for (const char* url : {"http://update.ostrum.invalid/update/", "http://INVALID./x",
                            "file:///etc/hostname", "ftp://127.0.0.1/", "not a url", ""}) {
        EXPECT_FALSE(httpGet(url, body, 100)) << url;
    }
}

TEST(HttpDownload, SavesAsReceivedAndLeavesNothingOnFailure) {
    const HttpLibrary library;
    const std::string payload(100000, '\x7f');
    CannedServer server({{"/pkg.7z", ok(payload)}});
    const auto path = std::filesystem::temp_directory_path() /
                      ("http_get_test_" + std::to_string(getpid()) + ".7z");
    ASSERT_TRUE(httpDownload(server.url("/pkg.7z"), path.string()));
    std::ifstream saved(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), payload);

    EXPECT_FALSE(httpDownload(server.url("/other.7z"), path.string()));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(EscapeUrl, OnlyWhatAnAddressCannotCarry) {
    EXPECT_EQ(escapeUrl("http://h/u/?os=Debian GNU/Linux 12 (bookworm) 6.1.0&rand=0.5"),
              "http://h/u/?os=Debian%20GNU/Linux%2012%20(bookworm)%206.1.0&rand=0.5");
    EXPECT_EQ(escapeUrl("a\"<>\\^`{|}\x01\x7f\xc3\xa9%&=#"),
              "a%22%3C%3E%5C%5E%60%7B%7C%7D%01%7F%C3%A9%&=#");
}

} // namespace
} // namespace ostrum::updater
