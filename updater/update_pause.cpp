#include "updater/update_pause.h"

#include <charconv>
#include <cstdlib>
#include <string_view>
#include <thread>

namespace ostrum::updater {
namespace {

std::chrono::milliseconds pauseLength() {
    const char* text = std::getenv("OSTRUM_UPDATE_PAUSE_MS");
    if (text == nullptr) {
        return kApplyPause;
    }
    const std::string_view value(text);
    unsigned ms = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), ms);
    if (error != std::errc() || end != value.data() + value.size()) {
        return kApplyPause;
    }
    return std::chrono::milliseconds(ms);
}

} // namespace

void applyPause() {
    std::this_thread::sleep_for(pauseLength());
}

} // namespace ostrum::updater
