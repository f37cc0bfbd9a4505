#include "console/tests/support/message_recorder.h"

namespace console::testing {

MessageRecorder::MessageRecorder() {
    setMessageResponderForTest([this](const Message& message) {
        m_messages.append(message);
        if (message.buttons == MessageButtons::Ok) {
            return MessageAnswer::Ok;
        }
        return m_answers.isEmpty() ? MessageAnswer::Yes : m_answers.takeFirst();
    });
}

MessageRecorder::~MessageRecorder() {
    setMessageResponderForTest({});
}

void MessageRecorder::answerNext(MessageAnswer answer) {
    m_answers.append(answer);
}

QStringList MessageRecorder::texts() const {
    QStringList out;
    for (const Message& m : m_messages) {
        out.append(m.text);
    }
    return out;
}

} // namespace console::testing
