#include "updater/update_reply.h"

#include <algorithm>

namespace ostrum::updater {
namespace {

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

} // namespace

bool parseUpdateReply(std::string_view reply, UpdateReply& out) {
    if (reply.size() > kMaxReplySize || std::count(reply.begin(), reply.end(), ',') != 8) {
        return false;
    }
    std::array<std::string, 9> fields;
    for (std::string& field : fields) {
        const size_t comma = reply.find(',');
        field = std::string(trimmed(reply.substr(0, comma)));
        reply = comma == std::string_view::npos ? std::string_view() : reply.substr(comma + 1);
    }
    for (size_t i = 0; i < out.offers.size(); ++i) {
        out.offers[i] = PackageOffer{fields[i * 3], fields[i * 3 + 1], fields[i * 3 + 2]};
    }
    return true;
}

const std::array<std::string_view, 9>& replyFieldNames() {
    static constexpr std::array<std::string_view, 9> kNames = {
        "new_ostrum_ver", "new_ostrum_down_url", "new_ostrum_hash",
        "new_rule_ver",   "new_rule_down_url",   "new_rule_hash",
        "new_driver_ver", "new_dirver_down_url", "new_driver_hash",
    };
    return kNames;
}

bool versionIsNewer(std::string_view offered, std::string_view installed) {
    // char_traits<char> orders by unsigned character code.
    return offered.compare(installed) > 0;
}

bool offerIsUpdate(const PackageOffer& offer, std::string_view installed) {
    return versionIsNewer(offer.version, installed) && offer.url.size() >= 8;
}

std::string urlFileName(std::string_view url) {
    const size_t slash = url.rfind('/');
    return std::string(slash == std::string_view::npos ? url : url.substr(slash + 1));
}

bool isPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
}

} // namespace ostrum::updater
