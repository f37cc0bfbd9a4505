#include "service/pf_header.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ostrum::PFHeader header;
    header.parseHeaderText(reinterpret_cast<const char*>(data), size);
    for (const char* name : {"Host", "cookie", "CONTENT-TYPE", "", "x-forwarded-for"}) {
        const ostrum::PFHeader::Field* field = header.findFirstField(name);
        if (field != nullptr &&
            ostrum::PFHeader::lowerName(field->first) != ostrum::PFHeader::lowerName(name)) {
            __builtin_trap();
        }
    }
    return 0;
}
