#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QMap>
#include <QString>

namespace console {

// A record file's lines as they were read, and what a save changes in them:
// a line that is neither replaced nor dropped is written back byte for byte
// in its place, so comments, lines of other kinds and bytes the code page
// cannot show survive every save. Each line is written with CR LF.
class LineEdits {
public:
    explicit LineEdits(const QByteArrayList& lines) : m_lines(lines) {}

    // Writes lines in place of the line at index; none drops it.
    void replace(int index, const QByteArrayList& lines);
    // Writes line before the line at index; the line count puts it at the end.
    void insertBefore(int index, const QByteArray& line);
    // The whole new file.
    QByteArray text() const;

private:
    const QByteArrayList& m_lines;
    QMap<int, QByteArrayList> m_replaced;
    QMap<int, QByteArrayList> m_inserted;
};

// A text of the console as a line of the file (ANSI code page), and back.
QByteArray ansiLine(const QString& text);
QString lineText(const QByteArray& raw);

} // namespace console
