#pragma once

#include "updater/http_get.h"

#include <string>

namespace ostrum::updater {

// Fetches url into path (any file there is deleted first) and checks it:
// true when its digest equals hash exactly, upper case and all. A package
// that fails the check is deleted at once, so nothing can unpack it.
[[nodiscard]] bool downloadPackage(const std::string& url, const std::string& path,
                                   const std::string& hash, const EventPump& pump = {});

// Whether the file at path still has the digest hash.
[[nodiscard]] bool packageMatches(const std::string& path, const std::string& hash);

} // namespace ostrum::updater
