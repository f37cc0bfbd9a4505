#pragma once

#include "platform/debug.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace ostrum::testing {

// Sends the trace to a private file for the object's lifetime.
class TraceCapture {
public:
    TraceCapture() {
        static int serial = 0;
        m_path = std::filesystem::temp_directory_path() /
                 ("ostrum-trace-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
        platform::setTraceTarget(m_path.string());
    }
    ~TraceCapture() {
        platform::setTraceTarget("");
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::string text() const {
        std::ifstream in(m_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path m_path;
};

} // namespace ostrum::testing
