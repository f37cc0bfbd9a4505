#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace platform::proc {

enum class Window {
    Hidden, // no terminal: standard input and output go to /dev/null
    Shown,  // the caller's standard streams
};

enum class Wait {
    No,       // a reaper thread collects the child when it ends
    UntilEnd, // return after the child has ended
    Caller,   // the caller collects the child, to learn its exit code
};

struct StartOptions {
    Window window = Window::Shown;
    Wait wait = Wait::No;
    // Searched before PATH; empty means the running program's folder.
    std::string firstFolder;
    // The child's current folder; empty means the caller's.
    std::string workingFolder;
};

// Where program would be started from: itself when it holds a "/", else the
// first executable file of that name in firstFolder or on PATH; empty when
// there is none.
std::string findProgram(std::string_view program, const std::string& firstFolder);

// Starts program with args in options.workingFolder (the current folder when empty), with the
// caller's environment, default signal handling and no descriptor but 0, 1 and 2. Returns the
// child's id, or 0 when it could not be started (a missing program fails silently).
pid_t startProgram(std::string_view program, const std::vector<std::string>& args,
                   const StartOptions& options = {});

} // namespace platform::proc
