#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace platform::proc {

// The file name of the program a process runs ("ostrum"), empty when unknown.
std::string processFileName(pid_t pid);

// Processes whose program file name equals name without regard to case, in
// ascending id order.
std::vector<pid_t> processesByName(std::string_view name);

// The first process of that name; 0 when there is none.
pid_t processIdOf(std::string_view name);

// Ends every process of that name at once (the calling process excepted);
// returns how many were ended.
int terminateProcesses(std::string_view name);

} // namespace platform::proc
