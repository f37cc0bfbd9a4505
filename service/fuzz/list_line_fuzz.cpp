#include "service/wblist.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ostrum::wblistitem item;
    if (ostrum::parseListLine(std::string(reinterpret_cast<const char*>(data), size), item) &&
        (item.value.empty() || ostrum::listKeyword(item.listcode).empty())) {
        __builtin_trap();
    }
    return 0;
}
