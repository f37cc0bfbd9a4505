#pragma once

#include "platform/netfilter/fake/fake_netfilter.h"
#include "platform/testing/fake_clock.h"
#include "service/http_filter.h"
#include "service/tests/conn_info.h"
#include "service/tests/temp_folder.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrum::testing {

// The HTTP filter with its connection table in reach, and the records it
// handed to the attack and detail logs.
class TableFilter : public HttpFilter {
public:
    using HttpFilter::ip2map;

    void writeAttackLog(std::string record) override {
        attackRecords.push_back(record);
        HttpFilter::writeAttackLog(std::move(record));
    }
    void writeDetailLog(std::string_view record) override {
        detailRecords.emplace_back(record);
        HttpFilter::writeDetailLog(record);
    }

    std::optional<connrecord> connection(uint64_t id) const {
        const auto found = ip2map.find(id);
        return found == ip2map.end() ? std::nullopt : std::optional<connrecord>(found->second);
    }

    std::vector<std::string> attackRecords;
    std::vector<std::string> detailRecords;
};

// The lines of a log without its header lines, date and time.
inline std::vector<std::string> logTexts(const std::string& name) {
    const std::string text = readFile(name);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        end = end == std::string::npos ? text.size() : end;
        const std::string line = text.substr(start, end - start);
        if (!line.empty() && line[0] != '#' && line.size() > 20) {
            lines.push_back(line.substr(20));
        }
        start = end + 2;
    }
    return lines;
}

// A temporary program folder, a still clock, a clean fake layer and a filter.
class FilterTest : public ::testing::Test {
protected:
    void SetUp() override { fakenet::reset(); }

    void apply(std::initializer_list<const char*> lines) {
        for (const char* line : lines) {
            filter.settings().parseline(line);
        }
    }

    void writeLists(std::string_view text) {
        writeFile("wblist.dat", text);
        ASSERT_EQ(filter.loadWbList(), 0);
    }

    std::vector<std::string> runLog() { return logTexts("log/ostrum.log"); }

    TempFolder folder;
    platform::FakeClock clock;
    TableFilter filter;
};

} // namespace ostrum::testing
