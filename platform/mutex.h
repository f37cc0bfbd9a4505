#pragma once

#include <mutex>

// The service's one lock type: a plain, non-recursive critical section.
// BasicLockable, so std::lock_guard<Mutex> works on every path.
class Mutex {
public:
    Mutex() = default;
    virtual ~Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    virtual void lock() { m_section.lock(); }
    virtual void unlock() { m_section.unlock(); }

private:
    std::mutex m_section;
};
