#pragma once

#include "console/shell/switching.h"

#include <QObject>

class QLabel;
class QWidget;

namespace console {

// The side bar of a main window: the tab labels `statelabel`,
// `historylabel`, `settinglabel`, `advlabel`, `proinfolabel` with their
// images `menuStatu`, `menuHistory`, `menuSetting`, `menuAdvanced`,
// `menuProinfo`. A click on another window's tab switches to it; the
// window's own tab does nothing (mainwin has no `menuStatu`).
class SideTabs : public QObject {
    Q_OBJECT
public:
    SideTabs(QWidget* window, MainWindow own);
    // The captions of the current language; windows call it on every paint.
    void setCaptions();
    static constexpr int kWidth = 110; // pixels taken at the window's left

private:
    QLabel* addImage(int index, const char* labelName, const char* imageName, bool own);
    void addTab(int index, const char* labelName, const char* imageName, MainWindow target);
    void addAdvancedTab(int index);

    QWidget* m_window;
    MainWindow m_own;
    QLabel* m_labels[5] = {};
};

} // namespace console
