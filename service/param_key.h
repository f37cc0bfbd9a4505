#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace ostrum {

// The key of patch rules and self-learning, written into key:
// lower(host) "::" port "::" lower(url) "::" letter "::" lower(param).
inline void buildParamKey(std::string& key, std::string_view host, std::string_view port,
                          std::string_view url, char letter, std::string_view param) {
    const auto appendLower = [&key](std::string_view part) {
        for (const char c : part) {
            key.push_back(char(std::tolower(static_cast<unsigned char>(c))));
        }
    };
    key.clear();
    key.reserve(host.size() + port.size() + url.size() + param.size() + 9);
    appendLower(host);
    key.append("::").append(port).append("::");
    appendLower(url);
    key.append("::").push_back(letter);
    key.append("::");
    appendLower(param);
}

} // namespace ostrum
