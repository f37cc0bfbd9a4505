#pragma once

#include <fstream>
#include <string>

namespace ostrum {

// Reads a text file line by line the way a text-mode stream does: LF ends a
// line, one CR before it is dropped, a last line without a line end counts.
class LineReader {
public:
    explicit LineReader(const std::string& path) : m_in(path, std::ios::binary) {}

    bool isOpen() const { return m_in.is_open(); }

    bool next(std::string& line) {
        if (!std::getline(m_in, line)) {
            return false;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return true;
    }

private:
    std::ifstream m_in;
};

} // namespace ostrum
