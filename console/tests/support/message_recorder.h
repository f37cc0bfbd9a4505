#pragma once

#include "console/shell/message_box.h"

#include <QList>

namespace console::testing {

// Stands in for the user at every message box while it lives: records each
// message and answers with the queued answers, then Yes (OK for confirmations).
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    void answerNext(MessageAnswer answer);
    const QList<Message>& messages() const { return m_messages; }
    QStringList texts() const;
    void clear() { m_messages.clear(); }

private:
    QList<Message> m_messages;
    QList<MessageAnswer> m_answers;
};

} // namespace console::testing
