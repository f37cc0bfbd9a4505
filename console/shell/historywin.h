#pragma once

#include "console/shell/log_lines.h"

#include <QStringList>
#include <QWidget>
#include <map>

class QComboBox;
class QLabel;
class QTreeWidget;

namespace console {

class PictureButton;
class SideTabs;

// The attack-log history viewer: one log at a time, 200 records a page.
class historywin : public QWidget {
    Q_OBJECT
public:
    historywin();

    // The chosen log's file name without folder; empty until one is chosen.
    QString logfilename_now;
    // Rebuilds the page list for logfilename_now and shows page 1.
    void showlogs();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createLogList();
    void paintCaptions();
    void sellogLabel_Click();
    void pageList_Click();
    void pageListActivated();
    void showLogPage(const QString& fileName, qint32 page);
    LogPageIndex& indexOf(const QString& path);

    SideTabs* m_tabs = nullptr;
    PictureButton* m_sellog = nullptr;
    QLabel* m_nowlogfTip = nullptr;
    QComboBox* m_pageList = nullptr;
    QTreeWidget* m_loglist = nullptr;
    qint32 recordCount = 0;
    // The page offsets of the files chosen lately, each brought up to date
    // when it is read again.
    std::map<QString, LogPageIndex> m_indexes;
    QStringList m_indexOrder; // the least lately used first
    // Set while a choice that changed the page has already read it.
    bool m_pageReadForChoice = false;
};

} // namespace console
