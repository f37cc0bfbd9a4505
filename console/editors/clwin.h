#pragma once

#include "console/editors/advanced_frame.h"
#include "console/editors/conn_limit_file.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace console {

// The connection-limit window: one row per limit of iprange.dat; the dialog
// cl adds and edits a limit, every change rewrites the file.
class clwin : public AdvancedFrame {
    Q_OBJECT
public:
    clwin();

    // The row cl edits.
    QTreeWidgetItem* sitmX = nullptr;
    void addListItem(const QString& cm, const QString& ps, const QString& ips);
    // Rewrites iprange.dat from the list; false (after a message) when it
    // cannot be written.
    bool saveData();
    // Takes back the row an add appended when its save failed.
    void removeLastRow();

    static connlimit::ConnLimit limitOf(const QTreeWidgetItem* row);
    static void setLimit(QTreeWidgetItem* row, const connlimit::ConnLimit& limit);

protected:
    void paintCaptions() override;
    void refreshRecords() override;
    void editRecord() override;
    void addRecord() override;
    void deleteRecord() override;

private:
    void loadData();
    // Fills the list from the lines last read or written.
    void showLimits(bool events);

    QTreeWidget* ipList = nullptr;
    QByteArrayList m_lines; // the file as last read or written
};

} // namespace console
