#pragma once

#include <QString>

namespace console {

// The text of the console's language (UTF-8 literals). A stored language
// outside 0 to 2 reads English.
QString byLanguage(const char* english, const char* simplified, const char* traditional);

// A text in the three languages (UTF-8 literals), for the windows' tables.
struct LanguageText {
    const char* english;
    const char* simplified;
    const char* traditional;
    QString text() const { return byLanguage(english, simplified, traditional); }
};

// The title of the main windows' and start-up messages: the same in every language.
QString consoleTitle();
// "Ostrum Console" in the current language: the quit question and the
// settings window's save confirmation.
QString languageTitle();

// The language id of a locale name such as "zh_TW" or "en_US.UTF-8".
int languageForLocale(const QString& localeName);
// The language of a stored "ui_lan": -1, and what is not a whole number,
// means the locale's; any other number is kept.
int languageFromSetting(const QString& stored, const QString& localeName);

} // namespace console
