#include "platform/netfilter/fake/fake_netfilter.h"
#include "service/http_filter.h"
#include "service/tests/conn_info.h"
#include "service/tests/memory_object.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every plain operator new of the program, which strings and containers
// use (the array and nothrow forms call it), so that the shapes can tell
// how many allocations a request makes.
std::atomic<uint64_t> g_allocations{0};

} // namespace

[[gnu::noinline]] void* operator new(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

[[gnu::noinline]] void operator delete(void* block) noexcept {
    std::free(block);
}

[[gnu::noinline]] void operator delete(void* block, size_t) noexcept {
    std::free(block);
}

namespace {

using ostrum::testing::MemoryObject;

constexpr uint64_t kId = 1;
constexpr size_t kUrlLength = 60 * 1024;
constexpr int kParameters = 100000;

std::string longUrl() {
    return "/" + std::string(kUrlLength - 1, 'u');
}

// "p00000=1&p00001=1&..." : nine bytes a parameter.
std::string parameters(int count, const char* value = "1") {
    std::string text;
    char pair[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "p%05d=%s&", i % 100000, value);
        text += pair;
    }
    return text;
}

void loadRules(ostrum::HttpFilter& filter, const char* name) {
    if (filter.loadRuleFile(std::string(OSTRUM_DIST_DIR) + "/" + name) != 0) {
        std::abort();
    }
}

// The shipped rules, settings as the mode asks: 0 neither patch rules nor
// learning, 1 both. Run where there is no log folder, nothing is written.
ostrum::HttpFilter& filterFor(int mode) {
    static ostrum::HttpFilter* filters[2] = {};
    if (filters[mode] == nullptr) {
        auto* filter = new ostrum::HttpFilter();
        filter->settings().parseline("write_detaillog=0");
        loadRules(*filter, "RAWRULE.dat");
        if (mode == 1) {
            filter->settings().parseline("run_mod=0");
            filter->settings().parseline("self_learn=1");
            loadRules(*filter, "JIPRULE.dat");
            if (!filter->rules().addjiprulestr(
                    "JIPRULE  5  www.site.com::80::/x::p::id  num::1-5")) {
                std::abort();
            }
        }
        nfapi::TcpConnInfo info = ostrum::testing::inboundInfo("10.0.0.1");
        filter->tcpConnected(kId, &info);
        filters[mode] = filter;
    }
    return *filters[mode];
}

const std::string kHeader = "Host: www.site.com\r\nUser-Agent: bench\r\nContent-Type: "
                            "application/x-www-form-urlencoded\r\n\r\n";

void inspect(benchmark::State& state, const std::string& line, const std::string& body,
             const std::string& header = kHeader) {
    ostrum::HttpFilter& filter = filterFor(int(state.range(0)));
    for (auto _ : state) {
        MemoryObject object = MemoryObject::request(line, header, body);
        filter.dataAvailable(kId, &object);
        fakenet::reset();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(line.size() + header.size() + body.size()));
}

// 949 KB in all: a 60 KB URL and 100,000 parameters in the body.
void BM_PostLongUrlManyParameters(benchmark::State& state) {
    const std::string body = parameters(kParameters);
    inspect(state, "POST " + longUrl() + " HTTP/1.1\r\n", body);
}

// A 60 KB path and as many parameters as fit in the query under 1 MiB.
void BM_GetLongUrlManyParameters(benchmark::State& state) {
    const std::string line = "GET " + longUrl() + "?" + parameters(kParameters) + " HTTP/1.1\r\n";
    inspect(state, line, "");
}

// A 60 KB URL and 55,000 parameters in the body, each caught by a rule.
void BM_PostEveryParameterHits(benchmark::State& state) {
    const std::string body = parameters(55000, "<script>");
    inspect(state, "POST " + longUrl() + " HTTP/1.1\r\n", body);
}

// A 64 KB nested cookie: a 32 KB outer name and 8,000 pairs.
void BM_GetNestedCookie(benchmark::State& state) {
    std::string cookie = "Cookie: " + std::string(32000, 'o') + "=k=v";
    while (cookie.size() < 64000) {
        cookie += "&k=v";
    }
    inspect(state, "GET /c HTTP/1.1\r\n", "", "Host: www.site.com\r\n" + cookie + "\r\n\r\n");
}

// The three shapes of the load benchmark, as a browser sends them, with the
// detail log on: both events of one request, object made once.
const std::string kBrowserHeaders =
    "Host: localhost\r\n"
    "User-Agent: Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/124.0.0.0 Safari/537.36\r\n"
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
    "Accept-Language: en-US,en;q=0.9\r\n"
    "Accept-Encoding: gzip, deflate\r\n"
    "Cookie: sessionid=3f9a1c0e7b2d4a6f8e1c5b7d9a0f2e4c; theme=dark; "
    "csrftoken=Zx8kQ2mN7pL4vR9tY1wE6uI3oA5sD0fG\r\n";

std::string loginForm() {
    std::string body = "username=alice.smith%40example.com&password=CorrectHorseBatteryStaple42&"
                       "remember_me=1&csrf_token=9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd"
                       "15d6c15b0f00a08&redirect_to=%2Faccount%2Fdashboard&client_tz=Europe%2FBerl"
                       "in&screen=1920x1080&lang=en-US&device_id=6f1c2a9e-4b7d-4e3a-9c5f-1d2e3f4a5"
                       "b6c&notes=";
    while (body.size() < 1024) {
        body += "the+quick+brown+fox+jumps+over+the+lazy+dog+";
    }
    body.resize(1023);
    return body + "x";
}

char g_folder[] = "/tmp/ostrum-request-bench-XXXXXX";

// Run in a folder of its own with a log folder, so the detail log is
// written as in service; the size limit keeps the file small.
ostrum::HttpFilter& shapeFilter() {
    static ostrum::HttpFilter* filter = [] {
        if (mkdtemp(g_folder) == nullptr || chdir(g_folder) != 0 || mkdir("log", 0755) != 0) {
            std::abort();
        }
        std::atexit([] { std::filesystem::remove_all(g_folder); });
        auto* made = new ostrum::HttpFilter();
        made->settings().parseline("max_logfile_size=1");
        made->settings().parseline("write_detaillog=1");
        loadRules(*made, "RAWRULE.dat");
        nfapi::TcpConnInfo info = ostrum::testing::inboundInfo("10.0.0.1");
        made->tcpConnected(kId, &info);
        return made;
    }();
    return *filter;
}

// Both events of one request: a function of its own, so that a profiler
// can count the requests alone (callgrind --toggle-collect=*shapeRequest*).
[[gnu::noinline]] void shapeRequest(ostrum::HttpFilter& filter, MemoryObject& object) {
    filter.dataPartAvailable(kId, &object);
    filter.dataAvailable(kId, &object);
    fakenet::reset();
}

void shape(benchmark::State& state, const std::string& line, const std::string& header,
           const std::string& body) {
    ostrum::HttpFilter& filter = shapeFilter();
    MemoryObject object = MemoryObject::request(line, header, body);
    // The rule databases of a position are made at its first scan: not in the timing.
    filter.dataAvailable(kId, &object);
    const uint64_t before = g_allocations.load(std::memory_order_relaxed);
    for (auto _ : state) {
        shapeRequest(filter, object);
    }
    state.counters["allocs"] =
        benchmark::Counter(double(g_allocations.load(std::memory_order_relaxed) - before),
                           benchmark::Counter::kAvgIterations);
}

void BM_ShapePlain(benchmark::State& state) {
    shape(state, "GET /index.html HTTP/1.1\r\n", "Host: localhost\r\n\r\n", "");
}

void BM_ShapeQuery(benchmark::State& state) {
    shape(state, "GET /search.php?q=hello+world&page=2&sort=asc&lang=en&id=12345 HTTP/1.1\r\n",
          kBrowserHeaders + "\r\n", "");
}

void BM_ShapeForm(benchmark::State& state) {
    const std::string body = loginForm();
    shape(state, "POST /login.php HTTP/1.1\r\n",
          kBrowserHeaders + "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
              std::to_string(body.size()) + "\r\n\r\n",
          body);
}

BENCHMARK(BM_ShapePlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShapeQuery)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShapeForm)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PostLongUrlManyParameters)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetLongUrlManyParameters)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PostEveryParameterHits)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetNestedCookie)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
