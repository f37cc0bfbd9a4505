#include "console/editors/record_dialog.h"

#include "console/editors/field_checks.h"
#include "console/shell/module.h"

#include <QPushButton>

namespace console {
namespace {

constexpr LanguageText kOk{"OK", "确认", "確認"};
constexpr LanguageText kCancel{"Cancel", "取消", "取消"};

} // namespace

RecordDialog::RecordDialog(const LanguageText& title)
    : m_title(title), m_ok(new QPushButton(QString::fromUtf8(kOk.english), this)),
      m_cancel(new QPushButton(QString::fromUtf8(kCancel.english), this)) {
    setWindowTitle(QString::fromUtf8(title.english));
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(238, 249, 253));
    setPalette(background);
    m_ok->setObjectName(QStringLiteral("okBtn"));
    m_cancel->setObjectName(QStringLiteral("cancelBtn"));
    m_ok->setAutoDefault(false);
    m_cancel->setAutoDefault(false);
    connect(m_ok, &QPushButton::clicked, this, [this] { confirm(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { unloadSelf(); });
}

void RecordDialog::updateCaptions() {
    const int language = module().uiLanguage;
    if (language < 0 || language > 2) {
        return;
    }
    AdvancedFrame::setTitle(this, m_title.text());
    if (m_ok->text() != kOk.text()) {
        m_ok->setText(kOk.text());
    }
    if (m_cancel->text() != kCancel.text()) {
        m_cancel->setText(kCancel.text());
    }
    paintCaptions();
}

void RecordDialog::showOver(QWidget* owner) {
    if (owner != nullptr) {
        setParent(owner, windowFlags() | Qt::Dialog);
    }
    exec();
}

void RecordDialog::refuse(const QString& text, QWidget* field) {
    updateCaptions();
    showMessage(this, {text, windowTitle(), MessageButtons::Ok, MessageIcon::Exclamation});
    field->setFocus();
}

bool RecordDialog::fitsCodePage(const QString& text, QWidget* field) {
    const QString missing = missingCharacter(text);
    if (missing.isEmpty()) {
        return true;
    }
    refuse(missingCharacterMessage(missing), field);
    return false;
}

void RecordDialog::paintEvent(QPaintEvent* event) {
    updateCaptions();
    QDialog::paintEvent(event);
}

void RecordDialog::reject() {
    unloadSelf();
}

} // namespace console
