#include "platform/filter_report.h"

#include <atomic>
#include <mutex>

namespace platform {
namespace {

std::mutex g_lock;
std::string g_ruleFailure;
std::atomic<uint64_t> g_shortages{0};

} // namespace

void setRuleFailure(std::string reason) {
    const std::lock_guard guard(g_lock);
    g_ruleFailure = std::move(reason);
}

std::string ruleFailure() {
    const std::lock_guard guard(g_lock);
    return g_ruleFailure;
}

void countDescriptorShortage() {
    g_shortages.fetch_add(1, std::memory_order_relaxed);
}

uint64_t descriptorShortages() {
    return g_shortages.load(std::memory_order_relaxed);
}

} // namespace platform
