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

// What runHiddenAndWait gives when the program did not run to its own end:
// it could not be started, a signal ended it, or the time limit passed.
constexpr int kProgramFailed = -1;

// Starts program (found through the program folder and the search path) with
// args, hidden, in folder, and waits until it has ended. Returns its exit
// code, or kProgramFailed. When it cannot be started the wait is one second
// instead.
int runHiddenAndWait(const std::string& program, const std::vector<std::string>& args,
                     const std::string& folder, const EventPump& pump = {},
                     std::chrono::milliseconds limit = kProgramTimeLimit);

// The command as one line, for the trace.
std::string commandText(const std::string& program, const std::vector<std::string>& args);

} // namespace ostrum::updater
