#pragma once

#include <chrono>

namespace ostrum::updater {

// The pauses of the apply step (the service's restart, the console's start)
// last this long; OSTRUM_UPDATE_PAUSE_MS, when set to a number, replaces it.
constexpr std::chrono::milliseconds kApplyPause{5000};

void applyPause();

} // namespace ostrum::updater
