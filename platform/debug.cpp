#include "platform/debug.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace platform {
namespace {

std::atomic<bool> g_enabled{false};
std::mutex g_sinkLock;
FILE* g_sink = nullptr;

void openSink(std::string_view target) {
    std::lock_guard guard(g_sinkLock);
    if (g_sink != nullptr && g_sink != stderr) {
        std::fclose(g_sink);
    }
    g_sink = nullptr;
    if (target == "stderr") {
        g_sink = stderr;
    } else if (!target.empty()) {
        g_sink = std::fopen(std::string(target).c_str(), "abe");
    }
    g_enabled.store(g_sink != nullptr, std::memory_order_relaxed);
}

// Reads OSTRUM_TRACE once, before main.
const bool g_fromEnvironment = [] {
    const char* target = std::getenv("OSTRUM_TRACE");
    if (target != nullptr) {
        openSink(target);
    }
    return true;
}();

} // namespace

bool traceEnabled() { return g_enabled.load(std::memory_order_relaxed); }

void traceWrite(std::string_view text) {
    std::lock_guard guard(g_sinkLock);
    if (g_sink == nullptr) {
        return;
    }
    std::fwrite(text.data(), 1, text.size(), g_sink);
    if (text.empty() || text.back() != '\n') {
        std::fputc('\n', g_sink);
    }
    std::fflush(g_sink);
}

void setTraceTarget(std::string_view target) { openSink(target); }

} // namespace platform
