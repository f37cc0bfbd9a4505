#pragma once

#include <string_view>

namespace ostrum::updater {

// Where the run shows its progress: the window in interactive mode, nowhere
// in silent mode.
class Progress {
public:
    virtual ~Progress() = default;
    // Runs pending window events, then shows one line.
    virtual void addLog(std::string_view text) = 0;
    // Runs pending window events.
    virtual void pumpEvents() = 0;
};

// Silent mode: nothing is shown and there are no events.
class SilentProgress final : public Progress {
public:
    void addLog(std::string_view) override {}
    void pumpEvents() override {}
};

} // namespace ostrum::updater
