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

// Printable ASCII other than the blank: nothing that could end a settings
// line, hide in a file, or change meaning in another code page.
bool isGraphicAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return a == (b >= 'A' && b <= 'Z' ? char(b - 'A' + 'a') : b);
           });
}

bool isFieldFor(size_t index, std::string_view field) {
    switch (index % 3) {
    case 0:
        return isVersionField(field);
    case 1:
        return isAddressField(field);
    default:
        return isDigestField(field);
    }
}

} // namespace

ReplyCheck parseUpdateReply(std::string_view reply, UpdateReply& out) {
    if (reply.size() > kMaxReplySize || std::count(reply.begin(), reply.end(), ',') != 8) {
        return ReplyCheck{ReplyFault::FieldCount, 0};
    }
    std::array<std::string_view, 9> fields;
    for (size_t i = 0; i < fields.size(); ++i) {
        const size_t comma = reply.find(',');
        fields[i] = trimmed(reply.substr(0, comma));
        reply = comma == std::string_view::npos ? std::string_view() : reply.substr(comma + 1);
        if (!isFieldFor(i, fields[i])) {
            return ReplyCheck{ReplyFault::Field, i};
        }
    }
    for (size_t i = 0; i < out.offers.size(); ++i) {
        out.offers[i] = PackageOffer{std::string(fields[i * 3]), std::string(fields[i * 3 + 1]),
                                     std::string(fields[i * 3 + 2])};
    }
    return {};
}

bool isVersionField(std::string_view field) {
    return field.size() <= kMaxVersionSize && isGraphicAscii(field);
}

bool isAddressField(std::string_view field) {
    if (field.empty()) {
        return true;
    }
    std::string_view rest = field;
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (startsWithNoCase(field, scheme)) {
            rest = field.substr(scheme.size());
        }
    }
    return rest.size() < field.size() && !rest.empty() && rest.front() != '/' &&
           field.size() <= kMaxAddressSize && isGraphicAscii(field);
}

bool isDigestField(std::string_view field) {
    constexpr size_t kDigestSize = 32;
    return field.empty() ||
           (field.size() == kDigestSize && std::all_of(field.begin(), field.end(), [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
            }));
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
