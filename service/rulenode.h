#pragma once

#include "service/regex_pattern.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ostrum {

// Position codes of request values.
enum Position : int32_t {
    POS_ANY = 0,
    POS_METHOD = 1,
    POS_URL = 2,
    POS_ARGGET = 3,
    POS_VER = 4,
    POS_HOST = 5,
    POS_AGENT = 6,
    POS_REFERER = 7,
    POS_PROXY = 8,
    POS_CIP = 9,
    POS_ALAN = 10,
    POS_COOKIE = 11,
    POS_ARGPOST = 12,
    POS_ARG = 13,
};
constexpr int32_t kPositionCount = 14;

enum Transform : int32_t { TRA_RAW = 0, TRA_NORMAL = 1 };
enum Compare : int32_t { CM_FIND = 0, CM_REGEX = 1, CM_NOT_REGEX = 2 };
enum Handle : int32_t { HD_BLOCK = 0, HD_LOG = 1 };

// Result of matching one value against the attack rules.
struct rulematch {
    int32_t hit = 0;
    int32_t id = 0;
    int32_t hd = 0;
};

// One attack rule.
class rulenode {
public:
    rulenode();
    rulenode(const rulenode& other);
    rulenode& operator=(const rulenode& other);
    virtual ~rulenode();

    virtual int32_t getId() { return id; }
    virtual int32_t getHd() { return hd; }
    // false for an empty pattern or one that does not compile.
    virtual bool set(int32_t id, int32_t tar, int32_t tra, int32_t cm, int32_t hd,
                     std::string pat);
    virtual bool match(int32_t position, std::string_view value, bool useUtf8);
    virtual int32_t parseTar(std::string token);
    virtual int32_t parseTra(std::string token);
    virtual int32_t parseCm(std::string token);
    virtual int32_t parseHd(std::string token);
    virtual std::string decodeLower(std::string value);

    // Whether the rule looks at values of this position.
    bool appliesTo(int32_t position) const;
    // The compare step alone, on a value already in the rule's transform.
    bool compare(std::string_view value) const;

    int32_t id = 0;
    int32_t tar = 0;
    int32_t tra = 0;
    int32_t cm = 0;
    int32_t hd = 0;
    std::string pat;
    std::shared_ptr<const RegexPattern> compiled;
};

} // namespace ostrum
