#pragma once

#include <chrono>
#include <string_view>

namespace ostrum::updater {

// How long a stop may take before the packages are unpacked regardless.
constexpr std::chrono::seconds kStopTimeLimit{30};

// Sends the service the stop control and waits until it has ended (at most
// the limit), so that no package overwrites a program or file in use.
void stopServiceByName(std::string_view name, std::chrono::milliseconds limit = kStopTimeLimit);

// Starts the service; failures are traced.
void startServiceByName(std::string_view name);

} // namespace ostrum::updater
