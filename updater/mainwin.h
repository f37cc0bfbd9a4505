#pragma once

#include "updater/progress.h"

#include <QWidget>

class QPlainTextEdit;

namespace ostrum::updater {

// The window of interactive mode: the run's progress, one line at a time.
class MainWin final : public QWidget, public Progress {
    Q_OBJECT

public:
    MainWin();

    // Shows the window on top of the others without taking the focus.
    void showOnTop();

    void addLog(std::string_view text) override;
    void pumpEvents() override;

private:
    QPlainTextEdit* m_updateLog;
};

} // namespace ostrum::updater
