#include "console/editors/record_lines.h"

#include "platform/text.h"

namespace console {

void LineEdits::replace(int index, const QByteArrayList& lines) {
    m_replaced.insert(index, lines);
}

void LineEdits::insertBefore(int index, const QByteArray& line) {
    m_inserted[index].append(line);
}

QByteArray LineEdits::text() const {
    QByteArray text;
    const auto append = [&text](const QByteArrayList& lines) {
        for (const QByteArray& line : lines) {
            text += line;
            text += "\r\n";
        }
    };
    for (int i = 0; i <= int(m_lines.size()); ++i) {
        append(m_inserted.value(i));
        if (i == int(m_lines.size())) {
            break;
        }
        const auto replaced = m_replaced.constFind(i);
        append(replaced != m_replaced.cend() ? *replaced : QByteArrayList{m_lines[i]});
    }
    return text;
}

QByteArray ansiLine(const QString& text) {
    return QByteArray::fromStdString(platform::utf8ToAnsi(text.toStdString()));
}

QString lineText(const QByteArray& raw) {
    return QString::fromStdString(platform::ansiToUtf8(raw.toStdString()));
}

} // namespace console
