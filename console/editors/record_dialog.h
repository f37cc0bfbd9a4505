#pragma once

#include "console/editors/advanced_frame.h"

#include <QDialog>

class QPushButton;

namespace console {

// The frame of a record dialog (crule, cl, jrule...): background
// RGB(238, 249, 253), `okBtn` and `cancelBtn`, captions of the current
// language on every paint, OK-only messages titled with the dialog's caption.
// The dialog is shown modally over its list window with showOver.
class RecordDialog : public QDialog {
    Q_OBJECT
public:
    explicit RecordDialog(const LanguageText& title);

    // Sets every caption of the current language (a language outside 0 to 2
    // keeps them as they stand): the title, OK, Cancel, then paintCaptions.
    void updateCaptions();
    // Shows the dialog modally over owner; returns when it has closed.
    void showOver(QWidget* owner);

protected:
    virtual void paintCaptions() {}
    // OK pressed: check the fields, store them, unloadSelf.
    virtual void confirm() = 0;
    // Cancel, Escape and the close box: unload without a change.
    virtual void unloadSelf() = 0;

    // An OK box titled with the dialog's current caption; then the focus goes to field.
    void refuse(const QString& text, QWidget* field);
    // False, after refusing with the message, when text holds a character
    // the system's code page lacks.
    bool fitsCodePage(const QString& text, QWidget* field);

    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

    void paintEvent(QPaintEvent* event) override;
    void reject() override;

private:
    LanguageText m_title;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

} // namespace console
