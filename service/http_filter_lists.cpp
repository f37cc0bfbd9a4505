#include "service/http_filter.h"
#include "service/line_reader.h"
#include "service/trace.h"

#include <algorithm>

namespace ostrum {

int HttpFilter::loadWbList() {
    wblist.clear();
    for (std::vector<size_t>& places : m_wblistIndex) {
        places.clear();
    }
    if (!m_config.getActiveWblist()) {
        return 0;
    }
    LineReader reader("wblist.dat");
    if (!reader.isOpen()) {
        OST_TRACE_TEXT("Failed to open wblist.dat !\n");
        return -1;
    }
    std::string line;
    wblistitem item;
    while (reader.next(line)) {
        if (line.size() < 3 || line[0] == '#') {
            continue;
        }
        if (!parseListLine(line, item)) {
            OST_TRACE("wblist comment line: %s\n", line.c_str());
            continue;
        }
        OST_TRACE_TEXT("parseline wlist " + std::string(listKeyword(item.listcode)) + " " +
                       item.value);
        m_wblistIndex[size_t(item.listcode)].push_back(wblist.size());
        wblist.push_back(std::move(item));
    }
    return 0;
}

bool HttpFilter::anyListInUse(std::initializer_list<int> listcodes) {
    if (!m_config.getActiveWblist()) {
        return false;
    }
    return std::any_of(listcodes.begin(), listcodes.end(), [this](int listcode) {
        return listcode >= 0 && size_t(listcode) < m_wblistIndex.size() &&
               !m_wblistIndex[size_t(listcode)].empty();
    });
}

bool HttpFilter::matchList(std::string_view wanted, int listcode) {
    if (wanted.empty() || !anyListInUse({listcode})) {
        return false;
    }
    const std::vector<size_t>& places = m_wblistIndex[size_t(listcode)];
    std::string value(wanted);
    lowerListValue(value);
    const bool contains = listcode == WL_URL || listcode == BL_URL;
    for (const size_t place : places) {
        const std::string& entry = wblist[place].value;
        if (contains ? value.find(entry) != std::string::npos : value == entry) {
            OST_TRACE("matched_value=%s\n", contains ? entry.c_str() : value.c_str());
            return true;
        }
    }
    return false;
}

} // namespace ostrum
