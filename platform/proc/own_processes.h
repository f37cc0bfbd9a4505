#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace platform::proc {

// The path of the program file a process runs; empty for kernel threads and
// processes the caller may not look into.
std::string executablePath(pid_t pid);

// The program file of one of the system's programs in folder ("/opt/ostrum"
// or "/opt/ostrum/"), with symbolic links of the folder resolved.
std::string programPathIn(const std::string& folder, std::string_view name);

// Processes whose executable is the program name of folder, in ascending id
// order. A process of the same name from another folder, or one whose
// executable cannot be read, is not among them.
std::vector<pid_t> ownProcesses(const std::string& folder, std::string_view name);

// The first of them; 0 when there is none.
pid_t ownProcessIdOf(const std::string& folder, std::string_view name);

// Ends each of them at once (the calling process excepted); returns how many
// were ended.
int terminateOwnProcesses(const std::string& folder, std::string_view name);

} // namespace platform::proc
