#include "service/pf_header.h"
#include "service/request_values.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The marks must agree with a look-up by name: the first line of a known
// field is the one findFirstField gives, and every line of it is visited.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ostrum::PFHeader header;
    header.parseHeaderText(reinterpret_cast<const char*>(data), size);
    std::vector<ostrum::KnownField> marks;
    const ostrum::MarkedFields fields(header, marks);
    using ostrum::KnownField;
    const std::pair<KnownField, const char*> names[] = {
        {KnownField::Host, "Host"},
        {KnownField::Cookie, "cookie"},
        {KnownField::ContentType, "CONTENT-TYPE"},
        {KnownField::XForwardedFor, "x-forwarded-for"},
        {KnownField::ForwardedFor, "http_x_forwarded_for"},
    };
    if (header.findFirstField("") != nullptr) {
        __builtin_trap(); // a field always has a name
    }
    for (const auto& [known, name] : names) {
        const ostrum::PFHeader::Field* field = header.findFirstField(name);
        if (field != fields.first(known)) {
            __builtin_trap();
        }
        if (field != nullptr && !ostrum::PFHeader::sameName(field->first, name)) {
            __builtin_trap();
        }
        size_t lines = 0;
        fields.forEachValue(known, [&](std::string_view value) {
            if (lines++ == 0 && (field == nullptr || value.data() != field->second.data())) {
                __builtin_trap();
            }
            ostrum::isMultipartFormData(value);
        });
        size_t named = 0;
        for (const ostrum::PFHeader::Field& each : header.fields()) {
            named += ostrum::PFHeader::sameName(each.first, name) ? 1 : 0;
        }
        if (lines != named) {
            __builtin_trap();
        }
    }
    return 0;
}
