#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

namespace console {

// The editors' data files: 8-bit text in the system's ANSI code page.

// The raw lines of a file's content: LF ends a line, one CR before it is
// dropped, and a last line without an end counts.
QByteArrayList splitDataLines(const QByteArray& content);

// The file's raw lines in order. False when the file cannot be read (a
// missing file too), with lines left empty.
[[nodiscard]] bool readDataFile(const QString& path, QByteArrayList& lines);

// Replaces the file with content. The file is replaced whole or not at
// all; false when it cannot be written.
[[nodiscard]] bool writeDataFile(const QString& path, const QByteArray& content);

} // namespace console
