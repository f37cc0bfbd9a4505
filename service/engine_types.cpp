#include "service/engine.h"
#include "service/param_key.h"
#include "service/trace.h"

namespace ostrum {
namespace {

struct BuiltinType {
    const char* name;
    const char* pattern;
};

// Index order. Several names do not describe their patterns, and 7 and 10
// repeat 6 and 9 (so typeIndexOf never answers them); learned statistics are
// read against this table as it stands.
constexpr BuiltinType kBuiltinTypes[kBuiltinTypeCount] = {
    {"digitsHex", R"(^[0-9]+$)"},
    {"integer", R"(^[0-9a-fA-F]+$)"},
    {"decimal", R"(^[-+]*[0-9]+$)"},
    {"checkbox", R"(^on$)"},
    {"path", R"(^[-a-zA-Z0-9/._]*/[-a-zA-Z0-9/._]*$)"},
    {"url", R"(^[A-Za-z]+://[A-Za-z0-9-_]+\.[A-Za-z0-9-_.]+/?$)"},
    {"urlPath", R"(^[A-Za-z]+://[A-Za-z0-9-_]+\.[A-Za-z0-9-_./]+\?[A-Za-z0-9-_%&/.=]*$)"},
    {"urlPathQuery", R"(^[A-Za-z]+://[A-Za-z0-9-_]+\.[A-Za-z0-9-_./]+\?[A-Za-z0-9-_%&/.=]*$)"},
    {"phone", R"(^[-0-9. ()]+$)"},
    {"phoneInt", R"(^\+?[-0-9. ]+$)"},
    {"zip", R"(^\+?[-0-9. ]+$)"},
    {"email", R"(^\s*[-a-zA-Z0-9_.@]+\s*$)"},
    {"password", R"(^s*[\x09\x20-\xff]+\s*$)"},
    {"textOneLine", R"(^\s*[\x09\x20-\xff]+\s*$)"},
    {"textMultiLine", R"(^\s*[\x09\x0a\x0d\x20-\xff]+\s*$)"},
};

const typenode* firstAccepting(const std::vector<typenode>& types, std::string_view value) {
    for (const typenode& type : types) {
        if (type.matches(value)) {
            return &type;
        }
    }
    return nullptr;
}

} // namespace

void engine::registerBuiltinTypes() {
    for (int32_t index = 0; index < kBuiltinTypeCount; ++index) {
        const BuiltinType& type = kBuiltinTypes[index];
        addCommonTypeRule(type.name, type.pattern, index);
    }
}

bool engine::addCommonTypeRule(const std::string& name, const std::string& pattern, int32_t index) {
    OST_TRACE("addCommonTypeRule tname=%s pat=%s index=%d", name.c_str(), pattern.c_str(), index);
    typenode type;
    if (!type.set(name, pattern, index)) {
        return false;
    }
    commontypes.push_back(type);
    return true;
}

bool engine::addSafestrTypeRule(const char* name, const char* pattern) {
    return addSafestrTypeRule(std::string(name != nullptr ? name : ""),
                              std::string(pattern != nullptr ? pattern : ""));
}

bool engine::addSafestrTypeRule(const std::string& name, const std::string& pattern) {
    OST_TRACE("addSafestrTypeRule tname=%s pat=%s", name.c_str(), pattern.c_str());
    typenode type;
    if (!type.set(name, pattern, 0)) {
        return false;
    }
    safestrtypes.push_back(type);
    return true;
}

std::string engine::typeNameOf(std::string_view value) {
    const typenode* type = firstAccepting(commontypes, value);
    return type != nullptr ? type->name : "?";
}

int32_t engine::typeIndexOf(std::string_view value) {
    const typenode* type = firstAccepting(commontypes, value);
    return type != nullptr ? type->index : -1;
}

bool engine::matchSafestrType(const std::string& typeName, std::string_view value) {
    for (const typenode& type : safestrtypes) {
        if (type.name == typeName) {
            return type.matches(value);
        }
    }
    return false;
}

int32_t engine::checkParamConstraint(const std::string& host, const std::string& port,
                                     const std::string& url, const std::string& param, char letter,
                                     std::string_view value) {
    if (constraintmap.empty()) {
        return 0;
    }
    ParamKeyBuilder keys(host, port, url);
    return checkParamKey(keys.key(letter, param), value);
}

int32_t engine::checkParamKey(const std::string& key, std::string_view value) {
    OST_TRACE("checkParamConstraint key=%s", key.c_str());
    const auto found = constraintmap.find(key);
    if (found == constraintmap.end()) {
        OST_TRACE_TEXT("have no constraints!");
        return 0;
    }
    const constraint& rule = found->second;
    for (const constraintitem& item : rule.items) {
        if (item.type != "any" && !matchSafestrType(item.type, value)) {
            OST_TRACE("param'type dosen't meet constraints! key=%s", key.c_str());
            return item.id;
        }
    }
    const bool tooLong = rule.maxlen != 0 && value.size() > rule.maxlen;
    const bool tooShort = rule.minlen != 0 && value.size() < rule.minlen;
    if ((tooLong || tooShort) && !rule.items.empty()) {
        OST_TRACE("param'len dosen't meet constraints!  len=%zu", value.size());
        return rule.items.front().id;
    }
    return 0;
}

} // namespace ostrum
