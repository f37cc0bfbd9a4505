#include "service/decoders.h"
#include "service/engine.h"
#include "service/log_field.h"
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

LearnResult refuseKey(bool& noted, LearnResult result, const char* why) {
    OST_TRACE("selflearn key not learned: %s", why);
    const bool first = !noted;
    noted = true;
    return first ? result : LearnResult::NotCounted;
}

// Points stat at the key's statistics, made from fresh when the key is new;
// a new key past the key cap is left out (stat stays null) with a trace.
LearnResult admitKey(std::map<std::string, learnstat>& learnmap, const std::string& key,
                     const learnstat& fresh, LearnCapsNoted& noted, learnstat*& stat) {
    auto place = learnmap.find(key);
    if (place == learnmap.end()) {
        if (learnmap.size() >= kLearnKeysMax) {
            return refuseKey(noted.tooManyKeys, LearnResult::TooManyKeys, "too many keys");
        }
        place = learnmap.emplace(key, fresh).first;
    }
    stat = &place->second;
    return LearnResult::Counted;
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
    ParamKeyBuilder keys(host, port, url);
    return selflearnKey(keys.key(letter, param), value, maxcount) == LearnResult::Counted ? 1 : 0;
}

LearnResult engine::selflearnKey(const std::string& key, std::string_view value,
                                 uint32_t maxcount) {
    std::lock_guard<Mutex> guard(learnlock);
    if (learnover != 0) {
        return LearnResult::NotCounted;
    }
    OST_TRACE("selflearn key=%s", key.c_str());
    if (learncount > lastSampleCount(maxcount)) {
        OST_TRACE_TEXT("selflearn over,saving result...");
        learnover = 1;
        writeLearnResult();
        return LearnResult::NotCounted;
    }
    if (key.size() > kLearnKeyLengthMax) {
        return refuseKey(m_learnCaps.keyTooLong, LearnResult::KeyTooLong, "key too long");
    }
    std::string lowered(value);
    toLower(lowered);
    const std::string decoded = urlDecode(lowered);
    const uint32_t len = uint32_t(std::min<size_t>(decoded.size(), UINT32_MAX));
    learnstat fresh;
    fresh.maxlen = len;
    fresh.minlen = len;
    learnstat* stat = nullptr;
    const LearnResult admitted = admitKey(learnmap, key, fresh, m_learnCaps, stat);
    if (stat == nullptr) {
        return admitted;
    }
    ++learncount;
    addSample(*stat, typeIndexOf(decoded), len);
    return LearnResult::Counted;
}

std::string engine::selfLearnPath(const std::string& date) {
    return "log/self_learn" + date;
}

// Lines end in CR LF like the service's other logs. A key keeps its blanks,
// which a patch rule copied from it needs; its control bytes are encoded so
// that it stays on its line. A file that cannot be made (no log folder) is
// passed over without a word.
void engine::writeLearnResult() {
    std::ofstream out(selfLearnPath(todayString()) + ".log", std::ios::binary | std::ios::trunc);
    for (const auto& [key, stat] : learnmap) {
        if (!out) {
            return;
        }
        const std::string line = resultLine(logLineText(key), stat);
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
