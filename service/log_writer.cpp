// STUB: to be replaced
#include "service/log_writer.h"

namespace ostrum {
LogWriter::LogWriter(Kind kind) : m_kind(kind) {}
void LogWriter::write(std::string_view, uint32_t) {}
void LogWriter::close() {}
std::string LogWriter::currentFileName() const { return {}; }
std::string LogWriter::openDate() { return {}; }
} // namespace ostrum
