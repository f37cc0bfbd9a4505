#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace ostrum {

// The keys of patch rules and self-learning for one request:
// lower(host) "::" port "::" lower(url) "::" letter "::" lower(param).
// The part up to the letter is built once, so each parameter costs only its
// own name, however long the URL.
class ParamKeyBuilder {
public:
    ParamKeyBuilder(std::string_view host, std::string_view port, std::string_view url) {
        m_key.reserve(host.size() + port.size() + url.size() + 64);
        appendLower(host);
        m_key.append("::").append(port).append("::");
        appendLower(url);
        m_key.append("::");
        m_prefix = m_key.size();
    }

    // The key of one parameter; valid until the next call.
    const std::string& key(char letter, std::string_view param) {
        m_key.resize(m_prefix);
        m_key.push_back(letter);
        m_key.append("::");
        appendLower(param);
        return m_key;
    }

private:
    void appendLower(std::string_view part) {
        for (const char c : part) {
            m_key.push_back(char(std::tolower(static_cast<unsigned char>(c))));
        }
    }

    std::string m_key;
    size_t m_prefix = 0;
};

} // namespace ostrum
