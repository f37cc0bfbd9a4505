#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace ostrum {
// The log writers' wait, where the test links them (weak: tests without logs
// need not link the service).
void flushAllLogsForTest() __attribute__((weak));
} // namespace ostrum

namespace ostrum::testing {

// A fresh folder that is the current folder for the object's lifetime, the
// way the service runs in its program folder. Made with a log/ folder unless
// told otherwise.
class TempFolder {
public:
    explicit TempFolder(bool withLogFolder = true) {
        std::string pattern = (std::filesystem::temp_directory_path() / "ostrum-test-XXXXXX");
        m_path = mkdtemp(pattern.data());
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_path);
        if (withLogFolder) {
            std::filesystem::create_directory("log");
        }
    }
    ~TempFolder() {
        std::filesystem::current_path(m_previous);
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::filesystem::path m_previous;
};

inline void writeFile(const std::string& name, std::string_view content) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(content.data(), std::streamsize(content.size()));
}

// Waits for the log writers first, so that a test reads what was logged.
inline std::string readFile(const std::string& name) {
    if (flushAllLogsForTest != nullptr) {
        flushAllLogsForTest();
    }
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace ostrum::testing
