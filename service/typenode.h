#pragma once

#include "service/regex_pattern.h"

#include <cstdint>
#include <memory>
#include <string>

namespace ostrum {

// One value type: a named pattern that a parameter's value must match.
class typenode {
public:
    typenode();
    typenode(const typenode& other);
    typenode& operator=(const typenode& other);
    virtual ~typenode();

    // false for an empty name or pattern, or a pattern that does not compile.
    virtual bool set(std::string name, std::string pattern, int32_t index);
    // Matches the lower-cased value.
    virtual bool match(std::string value);
    virtual std::string getName() { return name; }
    virtual int32_t getIndex() { return index; }

    // match() without the copy, for the engine's own loops.
    bool matches(std::string_view value) const;

    int32_t index = 0;
    std::string name;
    std::string pat;
    std::shared_ptr<const RegexPattern> compiled;
};

} // namespace ostrum
