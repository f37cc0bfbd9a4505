#include "updater/update_reply.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool hasOuterBlank(std::string_view field) {
    constexpr std::string_view kBlanks = " \t\r\n";
    return !field.empty() && (kBlanks.find(field.front()) != std::string_view::npos ||
                              kBlanks.find(field.back()) != std::string_view::npos);
}

// Nothing that could end or hide in a settings line.
bool isPlainText(std::string_view field) {
    for (const char c : field) {
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f) {
            return false;
        }
    }
    return true;
}

} // namespace

// Any server text: a parsed reply has trimmed fields of printable ASCII
// without commas, each of its own kind, and a package name taken as plain
// never leaves its folder; a refused reply names a field that exists.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ostrum::updater;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    UpdateReply reply;
    const ReplyCheck result = parseUpdateReply(text, reply);
    if (!result) {
        check(result.field < 9);
        return 0;
    }
    for (const PackageOffer& offer : reply.offers) {
        for (const std::string_view field :
             {std::string_view(offer.version), std::string_view(offer.url),
              std::string_view(offer.hash)}) {
            check(field.find(',') == std::string_view::npos && !hasOuterBlank(field));
            check(isPlainText(field));
        }
        check(offer.version.size() <= kMaxVersionSize);
        check(isAddressField(offer.url) && isDigestField(offer.hash));
        const std::string name = urlFileName(offer.url);
        if (isPlainFileName(name)) {
            check(name.find('/') == std::string::npos && name != ".." && name != ".");
        }
        (void)versionIsNewer(offer.version, "2.0");
    }
    return 0;
}
