#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace console {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Information, Question, Exclamation, Critical };
enum class MessageAnswer { Ok, Yes, No };

struct Message {
    QString text;
    QString title;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
};

// Every message box of the console goes through here.
MessageAnswer showMessage(QWidget* owner, const Message& message);

// Tests: instead of a box, the responder sees each message and answers it.
// An empty responder brings the real boxes back.
using MessageResponder = std::function<MessageAnswer(const Message&)>;
void setMessageResponderForTest(MessageResponder responder);

} // namespace console
