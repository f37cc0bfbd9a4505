#pragma once

#include "console/editors/conn_limit_file.h"
#include "console/editors/record_dialog.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace console {

// The connection-limit dialog: adds a limit to clwin's list or edits its sitmX.
class cl : public RecordDialog {
    Q_OBJECT
public:
    cl();

    // True: OK adds a row; false: OK writes into clwin's sitmX.
    bool baddnew = false;
    // Fills the fields as clwin's Add and Edit do (the ranges one a line).
    void setFields(const connlimit::ConnLimit& limit);

protected:
    void paintCaptions() override;
    void confirm() override;
    void unloadSelf() override;

private:
    QLabel* addLabel(const char* name, int top);

    // Set by the fields' changes, cleared by OK in edit mode; it outlives
    // the dialog, from one use to the next.
    static bool changed;

    QLabel* cmLabel;
    QLabel* psLabel;
    QLabel* ipsLabel;
    QLineEdit* cmText;
    QLineEdit* psText;
    QPlainTextEdit* ipsText;
};

} // namespace console
