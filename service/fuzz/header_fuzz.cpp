#include "service/pf_header.h"
#include "service/request_values.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ostrum::PFHeader header;
    header.parseHeaderText(reinterpret_cast<const char*>(data), size);
    for (const char* name : {"Host", "cookie", "CONTENT-TYPE", "", "x-forwarded-for"}) {
        const ostrum::PFHeader::Field* field = header.findFirstField(name);
        if (field != nullptr && !ostrum::PFHeader::sameName(field->first, name)) {
            __builtin_trap();
        }
        size_t lines = 0;
        header.forEachValue(name, [&](std::string_view value) {
            if (lines++ == 0 && (field == nullptr || value.data() != field->second.data())) {
                __builtin_trap();
            }
            ostrum::isMultipartFormData(value);
        });
        if ((lines == 0) != (field == nullptr)) {
            __builtin_trap();
        }
    }
    return 0;
}
