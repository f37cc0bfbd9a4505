#include "console/shell/caption_table.h"

#include "console/shell/console_trace.h"
#include "console/shell/language.h"
#include "console/shell/text_fit.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>

namespace console {
namespace {

QWidget* control(QWidget* window, const char* name) {
    if (*name == '\0') {
        return window;
    }
    QWidget* found = window->findChild<QWidget*>(QString::fromLatin1(name));
    if (found == nullptr) {
        CONSOLE_TRACE("caption: no control %s", name);
    }
    return found;
}

void setCaption(QWidget* window, QWidget* target, const QString& text) {
    if (target == window) {
        if (window->windowTitle() != text) {
            window->setWindowTitle(text);
        }
    } else if (auto* label = qobject_cast<QLabel*>(target)) {
        if (label->text() != text) {
            label->setText(text);
            fitLabelFont(label);
        }
    } else if (auto* button = qobject_cast<QAbstractButton*>(target)) {
        if (button->text() != text) {
            button->setText(text);
        }
    } else if (auto* frame = qobject_cast<QGroupBox*>(target)) {
        if (frame->title() != text) {
            frame->setTitle(text);
        }
    }
}

} // namespace

void applyCaptions(QWidget* window, std::span<const Caption> captions) {
    for (const Caption& c : captions) {
        if (QWidget* target = control(window, c.control)) {
            setCaption(window, target, byLanguage(c.english, c.simplified, c.traditional));
        }
    }
}

void applyToolTips(QWidget* window, std::span<const Caption> tips) {
    for (const Caption& c : tips) {
        QWidget* target = control(window, c.control);
        const QString text = byLanguage(c.english, c.simplified, c.traditional);
        if (target != nullptr && target->toolTip() != text) {
            target->setToolTip(text);
        }
    }
}

} // namespace console
