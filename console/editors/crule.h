#pragma once

#include "console/editors/attack_rule_file.h"
#include "console/editors/record_dialog.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace console {

class DropDownList;

// The attack-rule dialog: adds a rule to crulewin's list or edits its sitmX.
class crule : public RecordDialog {
    Q_OBJECT
public:
    crule();

    // True: OK adds a row; false: OK writes into crulewin's sitmX.
    bool baddnew = false;
    // Fills the fields as crulewin's Add and Edit do; a coded field that
    // stands for none of its list's entries leaves the list at its default.
    void setFields(const attackrule::AttackRule& rule);

protected:
    void paintCaptions() override;
    void confirm() override;
    void unloadSelf() override;

private:
    QLabel* addLabel(const char* name, int top);
    DropDownList* addList(const char* name, int top, const QStringList& entries,
                          const QString& defaultEntry);
    void setText(QPlainTextEdit* field, const QString& text);
    // False, after its message, when the service would not load the rule
    // as the dialog shows it.
    bool acceptable(const attackrule::AttackRule& rule);

    // Set by the fields' changes, cleared by OK in edit mode; it outlives
    // the dialog, from one use to the next.
    static bool changed;

    QLabel* idLabel;
    QLabel* tarLabel;
    QLabel* tranLabel;
    QLabel* cmLabel;
    QLabel* hdLabel;
    QLabel* regexLabel;
    QLabel* descLabel;
    QLineEdit* idText;
    DropDownList* tarCombo;
    DropDownList* tranCombo;
    DropDownList* cmCombo;
    DropDownList* hdCombo;
    QPlainTextEdit* regexText;
    QPlainTextEdit* descText;
};

} // namespace console
