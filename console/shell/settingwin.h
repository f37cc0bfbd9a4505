#pragma once

#include "console/shell/setting_values.h"

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

namespace console {

class PictureButton;
class SideTabs;

// The settings window: protection mode, filtered ports, log limits,
// automatic update and the console language.
class settingwin : public QWidget {
    Q_OBJECT
public:
    settingwin();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void createModeFrame();
    void createBasicFrame();
    void createLogFrame();
    void createOthers();
    void createButtons();
    void showValues(const SettingValues& values);
    void selectOption(int option);
    int selectedOption() const;
    void paintCaptions();

    void lansel_Click();
    void restorelabel_Click();
    void applyLabel_Click();
    struct KeysWritten {
        bool changed = false; // a key the service reads at its start
        bool failed = false;
    };
    KeysWritten writeChangedKeys(const QString& mode);
    void advsetlabel_Click();
    void offerRestart();
    // False when the answer was No: the saved option is selected again.
    bool confirmDisable(bool& failed);
    void restartService();

    SideTabs* m_tabs = nullptr;
    QButtonGroup* m_modes = nullptr;
    QLineEdit* m_httpPorts = nullptr;
    QLineEdit* m_httpsPorts = nullptr;
    QLineEdit* m_logSize = nullptr;
    QLineEdit* m_logStoreTime = nullptr;
    QCheckBox* m_autoUpdate = nullptr;
    QComboBox* m_lansel = nullptr;
    PictureButton* m_restore = nullptr;
    PictureButton* m_apply = nullptr;
    PictureButton* m_advset = nullptr;
    SettingValues m_saved;
};

} // namespace console
