#pragma once

#include "console/editors/advanced_frame.h"
#include "console/editors/attack_rule_file.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace console {

// The attack-rule window: one row per rule of RAWRULE.dat with its remark;
// the dialog crule adds and edits a rule, every change rewrites the file.
class crulewin : public AdvancedFrame {
    Q_OBJECT
public:
    crulewin();

    // The row crule edits.
    QTreeWidgetItem* sitmX = nullptr;
    // The largest id of the list as text ("0" for none).
    QString getmaxId() const;
    void addListItem(const QString& id, const QString& tar, const QString& tran, const QString& cm,
                     const QString& hd, const QString& regex, const QString& desc);
    // Rewrites RAWRULE.dat from the list; false (after a message) when it
    // cannot be written.
    bool saveData();
    // Takes back the row an add appended when its save failed.
    void removeLastRow();

    // The rule of a row, and a row's texts set from a rule.
    static attackrule::AttackRule ruleOf(const QTreeWidgetItem* row);
    static void setRule(QTreeWidgetItem* row, const attackrule::AttackRule& rule);

protected:
    void paintCaptions() override;
    void refreshRecords() override;
    void editRecord() override;
    void addRecord() override;
    void deleteRecord() override;

private:
    void loadData();
    // Fills the list from the lines last read or written.
    void showRules(bool events);
    QStringList ids() const;

    QTreeWidget* crList = nullptr;
    QByteArrayList m_lines; // the file as last read or written
};

} // namespace console
