#pragma once

#include <string>
#include <string_view>

namespace platform::proc {

// The file name of one of the system's programs ("ostrum", "update"): the
// name as it stands, since programs here carry no extension.
std::string programFileName(std::string_view name);

// Full path of the running program; empty when it cannot be read.
std::string modulePath();

// The folder of the running program, without a trailing "/".
std::string programFolder();

} // namespace platform::proc
