#include "platform/netfilter/fake/fake_netfilter.h"
#include "service/http_filter.h"
#include "service/request_values.h"
#include "service/tests/conn_info.h"
#include "service/tests/memory_object.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

using namespace ostrum;

namespace {

// Every attack record stays one line of its nine fields, each after one
// blank, whatever the request held.
class RecordCheckingFilter : public HttpFilter {
public:
    void writeAttackLog(std::string record) override {
        const bool oneLine = std::none_of(record.begin(), record.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte < 0x20 || byte == 0x7F;
        });
        const bool nineFields = std::count(record.begin(), record.end(), ' ') == 9 &&
                                record.front() == ' ' && record.back() != ' ' &&
                                record.find("  ") == std::string::npos;
        if (!oneLine || !nineFields) {
            __builtin_trap();
        }
        HttpFilter::writeAttackLog(std::move(record));
    }
};

} // namespace

// One request of any bytes: request line, header block and body separated
// by \x01, through both request events of a filter with a few rules.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static HttpFilter* filter = [] {
        std::filesystem::create_directories("/tmp/ostrum-request-fuzz/log");
        std::filesystem::current_path("/tmp/ostrum-request-fuzz");
        auto* f = new RecordCheckingFilter();
        f->settings().parseline("run_mod=0");
        f->settings().parseline("self_learn=1");
        f->settings().parseline("write_detaillog=0");
        f->rules().addrulestr(R"(RAWRULE "1,any,normal,regex,block" "union|<script")");
        f->rules().addSafestrTypeRule("num", "^[0-9]+$");
        f->rules().addjiprulestr("JIPRULE  5  h::80::/a.asp::g::id  num::1-5");
        nfapi::TcpConnInfo info = ostrum::testing::inboundInfo("10.0.0.1");
        f->tcpConnected(1, &info);
        return f;
    }();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t a = input.find('\x01');
    const size_t b = a == std::string::npos ? std::string::npos : input.find('\x01', a + 1);
    const std::string line = input.substr(0, a);
    const std::string header = a == std::string::npos ? "" : input.substr(a + 1, b - a - 1);
    const std::string body = b == std::string::npos ? "" : input.substr(b + 1);
    filter->settings().parseline(size % 2 == 0 ? "use_utf8=0" : "use_utf8=1");
    RequestLine parts;
    splitRequestLine(input, parts);
    ostrum::testing::MemoryObject object = ostrum::testing::MemoryObject::request(line, header, body);
    filter->dataPartAvailable(1, &object);
    filter->dataAvailable(1, &object);
    fakenet::reset();
    return 0;
}
