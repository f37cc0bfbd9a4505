#pragma once

#include "console/editors/advanced_frame.h"
#include "console/editors/jtype_dic.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace console {

struct PatchRule;

// The patch-rule window: the constraints (`jrList`) and the parameter
// types (`jtypeDic`) of JIPRULE.dat. Every confirmed change rewrites the file.
class jrulewin : public AdvancedFrame {
    Q_OBJECT
public:
    jrulewin();

    // The file's types in file order; mantype rebuilds it before saving.
    JTypeDic jtypeDic;
    // The row the dialog edits.
    QTreeWidgetItem* sitmX = nullptr;

    // The largest id of the list, "0" for an empty list.
    QString getmaxId() const;
    // Appends a row; pos is a position display text.
    void addListItem(const QString& id, const QString& host, const QString& port,
                     const QString& url, const QString& pos, const QString& param,
                     const QString& jtype, const QString& minlen, const QString& maxlen);
    // Rewrites JIPRULE.dat: the types, then the rows. False (after telling
    // the user) when the file cannot be written.
    bool saveData();
    // Takes back the row an add appended when its save failed.
    void removeLastRow();

    // The rule of a row, and a row's texts set from a rule.
    static PatchRule ruleOf(const QTreeWidgetItem* row);
    static void setRule(QTreeWidgetItem* row, const PatchRule& rule);

protected:
    void paintCaptions() override;
    void refreshRecords() override;
    void editRecord() override;
    void addRecord() override;
    void deleteRecord() override;

private:
    void loadData();
    // Fills the list and the types from the lines last read or written.
    void showRules(bool events);
    bool hasParamType(const QString& name) const;
    QStringList ids() const;
    void manageTypes();

    QTreeWidget* m_list = nullptr;
    QByteArrayList m_lines; // the file as last read or written
};

} // namespace console
