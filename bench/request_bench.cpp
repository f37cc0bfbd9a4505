#include "platform/netfilter/fake/fake_netfilter.h"
#include "service/http_filter.h"
#include "service/tests/conn_info.h"
#include "service/tests/memory_object.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>

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

BENCHMARK(BM_PostLongUrlManyParameters)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetLongUrlManyParameters)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PostEveryParameterHits)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetNestedCookie)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
