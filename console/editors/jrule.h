#pragma once

#include "console/editors/patch_rule_file.h"
#include "console/editors/record_dialog.h"

class QLineEdit;

namespace console {

class DropDownList;

// The patch-rule dialog: adds one rule to the patch-rule window's list or
// edits its `sitmX`, then has the window save the file.
class jrule : public RecordDialog {
    Q_OBJECT
public:
    jrule();

    // True: OK appends a row; false: OK rewrites `sitmX`.
    bool baddnew = true;

    // Fills the fields from rule as the list window does before showing the
    // dialog. The position list keeps its choice when rule.pos is none of
    // its entries; the type list is set only when chooseType holds.
    void fill(const PatchRule& rule, bool chooseType);

protected:
    void paintCaptions() override;
    void confirm() override;
    void unloadSelf() override;

private:
    QLineEdit* addField(const char* labelName, const char* fieldName, int row);
    DropDownList* addList(const char* labelName, const char* listName, int row);
    void buildLengthRow(int row);
    // The fields as they are to be stored; false (after the message) when a check fails.
    bool checkedRule(PatchRule& rule);
    // Adds or writes the rule and saves; false, with the list put back, when
    // the file cannot be written.
    bool store(const PatchRule& rule);

    QLineEdit* m_id = nullptr;
    QLineEdit* m_host = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_url = nullptr;
    DropDownList* m_pos = nullptr;
    QLineEdit* m_param = nullptr;
    DropDownList* m_jtype = nullptr;
    QLineEdit* m_minLen = nullptr;
    QLineEdit* m_maxLen = nullptr;
};

} // namespace console
