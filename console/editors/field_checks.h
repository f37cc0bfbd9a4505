#pragma once

#include <QString>

namespace console {

// Checks of what a user types against what the files and the service can
// hold, shared by the editors' dialogs.

// The first character of text that the system's ANSI code page has no form
// for (the file would hold "?" in its place); empty when every one fits.
QString missingCharacter(const QString& text);

// Why the service cannot compile pattern as a rule or type pattern (PCRE2,
// options 0, on the pattern's bytes in the ANSI code page): the library's
// message and the offset; empty when it compiles.
QString patternError(const QString& pattern);

// The messages of the two checks in the current language.
QString missingCharacterMessage(const QString& character);
QString patternErrorMessage(const QString& error);
// The message of an id the service does not load.
QString badIdMessage();

} // namespace console
