#include "service/engine.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// One input is one line for all four grammars of a fresh engine; whatever
// loads is then matched against the same bytes at every position.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    ostrum::engine rules;
    rules.addrulestr(line);
    rules.addjiprulestr(line);
    rules.addjiptypestr(line);
    rules.addiprangestr(line);
    for (int32_t position = -1; position <= ostrum::kPositionCount; ++position) {
        (void)rules.matchRules(position, line, position % 2 == 0);
    }
    return 0;
}
