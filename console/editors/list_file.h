#pragma once

#include <QString>
#include <QStringList>

namespace console {

// wblist.dat as the list windows see it: each of the eight lists is one key
// ("WL_IP" ... "BL_HOST"); an entry is the key, white space and a quoted
// value, found anywhere in a line and in any letter case. Lines beginning
// with "#" are comments.

enum class ListRead { Read, Missing, Failed };

// The values of key's entries in file order, the value running to the
// line's last double quote. A line belongs to the key of its first entry
// match only, so a value that quotes another key stays in its own list.
[[nodiscard]] ListRead readListValues(const QString& path, const QString& key, QStringList& values);

// Rewrites the file: every line that is not an entry of key keeps its bytes
// and its order, then one written-form line per value. Nothing is written
// when an existing file cannot be read; false then, or when the write fails.
[[nodiscard]] bool writeListValues(const QString& path, const QString& key,
                                   const QStringList& values);

// The written form of an entry: key, three blanks, the value in double quotes.
QString listEntryLine(const QString& key, const QString& value);

} // namespace console
