#include "console/shell/message_box.h"

#include <QMessageBox>

namespace console {
namespace {

MessageResponder& responder() {
    static MessageResponder current;
    return current;
}

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

MessageAnswer showMessage(QWidget* owner, const Message& message) {
    if (responder()) {
        return responder()(message);
    }
    const bool question = message.buttons == MessageButtons::YesNo;
    QMessageBox box(boxIcon(message.icon), message.title, message.text,
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner);
    const int pressed = box.exec();
    if (!question) {
        return MessageAnswer::Ok;
    }
    return pressed == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

void setMessageResponderForTest(MessageResponder r) {
    responder() = std::move(r);
}

} // namespace console
