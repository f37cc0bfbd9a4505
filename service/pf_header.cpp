// STUB: to be replaced
#include "service/pf_header.h"

namespace ostrum {
std::string PFHeader::lowerName(std::string_view n) { return std::string(n); }
bool PFHeader::parseHeaderText(const char*, size_t) { return true; }
bool PFHeader::parseHeaderLine(std::string_view) { return false; }
void PFHeader::addField(std::string, std::string) {}
const PFHeader::Field* PFHeader::findFirstField(std::string_view) const { return nullptr; }
void PFHeader::clear() {}
bool readHeader(ProtocolFilters::ObjectStream*, PFHeader*) { return false; }
} // namespace ostrum
