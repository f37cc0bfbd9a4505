#pragma once

#include <filesystem>
#include <string>
#include <unistd.h>

namespace platform::svc::testing {

// A fresh registry folder, removed with everything in it when the object goes.
class ScratchRegistry {
public:
    ScratchRegistry() {
        std::string pattern = std::filesystem::temp_directory_path() / "ostrum-svc-XXXXXX";
        m_path = mkdtemp(pattern.data());
    }
    ~ScratchRegistry() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    std::string path() const { return m_path.string(); }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

} // namespace platform::svc::testing
