#pragma once

#include <string>

namespace ostrum::updater {

// Held by one running updater of a program file at a time: a lock on the
// program file itself, released when the process ends, never inherited by
// the programs it starts.
class SingleInstance {
public:
    explicit SingleInstance(const std::string& programPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another process holds it.
    bool acquired() const { return m_acquired; }

private:
    int m_fd = -1;
    bool m_acquired = false;
};

} // namespace ostrum::updater
