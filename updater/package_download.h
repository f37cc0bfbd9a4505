#pragma once

#include "updater/http_get.h"

#include <string>

namespace ostrum::updater {

// Fetches url into path (any file there is deleted first) and checks it:
// true when its digest equals hash exactly, upper case and all.
[[nodiscard]] bool downloadPackage(const std::string& url, const std::string& path,
                                   const std::string& hash, const EventPump& pump = {});

} // namespace ostrum::updater
