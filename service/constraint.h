#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ostrum {

// One JIPRULE line's type demand on a parameter.
struct constraintitem {
    int32_t id = 0;
    std::string type; // a named type, or "any"
};

// Every demand on one parameter key; the lengths of the last line win.
struct constraint {
    uint32_t minlen = 0; // 0: no lower bound
    uint32_t maxlen = 0; // 0: no upper bound
    std::vector<constraintitem> items;
};

} // namespace ostrum
