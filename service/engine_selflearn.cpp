#include "service/decoders.h"
#include "service/engine.h"
#include "service/param_key.h"
#include "service/trace.h"

#include <algorithm>
#include <fstream>
#include <mutex>

namespace ostrum {
namespace {

// The last learncount that still takes a sample. maxcount x 10000 is taken
// in 64 bits (a 32-bit product wraps beyond maxcount 429496) and held below
// the top of learncount, so the count can never wrap.
uint32_t lastSampleCount(uint32_t maxcount) {
    const uint64_t limit = uint64_t(maxcount) * 10000;
    return uint32_t(std::min<uint64_t>(limit, UINT32_MAX - 1));
}

void addSample(learnstat& stat, int32_t type, uint32_t len) {
    if (type >= 0 && type < kBuiltinTypeCount) {
        ++stat.typecount[type];
    } else {
        ++stat.unknowncount;
    }
    if (len >= 1 && len <= 5 * kLengthBuckets) {
        ++stat.lenhist[(len - 1) / 5];
    } else {
        ++stat.overlen;
    }
    if (len > stat.maxlen) {
        stat.maxlen = len;
    } else if (len < stat.minlen) {
        stat.minlen = len;
    }
}

void appendCounts(std::string& line, const uint32_t* counts, size_t size, uint32_t last) {
    for (size_t i = 0; i < size; ++i) {
        line.append(std::to_string(counts[i])).push_back(',');
    }
    line.append(std::to_string(last));
}

std::string resultLine(const std::string& key, const learnstat& stat) {
    std::string line = key;
    line.append(" {");
    appendCounts(line, stat.typecount, kBuiltinTypeCount, stat.unknowncount);
    line.append("} {");
    appendCounts(line, stat.lenhist, kLengthBuckets, stat.overlen);
    line.append("} ").append(std::to_string(stat.maxlen));
    line.append(" ").append(std::to_string(stat.minlen)).append("\r\n");
    return line;
}

} // namespace

int32_t engine::selflearn(const std::string& host, const std::string& port, const std::string& url,
                          const std::string& param, char letter, std::string_view value,
                          uint32_t maxcount) {
    std::lock_guard<Mutex> guard(learnlock);
    if (learnover != 0) {
        return 0;
    }
    thread_local std::string key;
    buildParamKey(key, host, port, url, letter, param);
    OST_TRACE("selflearn key=%s", key.c_str());
    if (learncount > lastSampleCount(maxcount)) {
        OST_TRACE_TEXT("selflearn over,saving result...");
        learnover = 1;
        writeLearnResult();
        return 0;
    }
    std::string lowered(value);
    toLower(lowered);
    const std::string decoded = urlDecode(lowered);
    const uint32_t len = uint32_t(std::min<size_t>(decoded.size(), UINT32_MAX));
    const int32_t type = typeIndexOf(decoded);
    ++learncount;
    learnstat fresh;
    fresh.maxlen = len;
    fresh.minlen = len;
    addSample(learnmap.try_emplace(key, fresh).first->second, type, len);
    return 1;
}

std::string engine::selfLearnPath(const std::string& date) {
    return "log/self_learn" + date;
}

// Lines end in CR LF like the service's other logs. A file that cannot be
// made (no log folder) is passed over without a word.
void engine::writeLearnResult() {
    std::ofstream out(selfLearnPath(todayString()) + ".log", std::ios::binary | std::ios::trunc);
    for (const auto& [key, stat] : learnmap) {
        if (!out) {
            return;
        }
        const std::string line = resultLine(key, stat);
        out.write(line.data(), std::streamsize(line.size()));
    }
}

std::map<std::string, learnstat> engine::learnSnapshot() {
    std::lock_guard<Mutex> guard(learnlock);
    return learnmap;
}

uint32_t engine::learnCount() {
    std::lock_guard<Mutex> guard(learnlock);
    return learncount;
}

} // namespace ostrum
