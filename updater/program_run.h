#pragma once

#include "updater/http_get.h"

#include <chrono>
#include <string>
#include <vector>

namespace ostrum::updater {

// The longest wait for the archiver or the upload; a program still running
// then is ended, so that a hung transfer cannot hold the updater (and with
// it every later run) for good.
constexpr std::chrono::minutes kProgramTimeLimit{10};

// Starts program (found through the program folder and the search path) with
// args, hidden, in the current folder, and waits until it has ended. When it
// cannot be started the wait is one second instead.
void runHiddenAndWait(const std::string& program, const std::vector<std::string>& args,
                      const EventPump& pump = {},
                      std::chrono::milliseconds limit = kProgramTimeLimit);

// The command as one line, for the trace.
std::string commandText(const std::string& program, const std::vector<std::string>& args);

} // namespace ostrum::updater
