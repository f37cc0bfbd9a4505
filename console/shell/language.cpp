#include "console/shell/language.h"

#include "console/shell/module.h"

namespace console {

QString byLanguage(const char* english, const char* simplified, const char* traditional) {
    switch (module().uiLanguage) {
    case 1:
        return QString::fromUtf8(simplified);
    case 2:
        return QString::fromUtf8(traditional);
    default:
        return QString::fromUtf8(english);
    }
}

QString consoleTitle() {
    return QStringLiteral("Ostrum Console");
}

QString languageTitle() {
    return byLanguage("Ostrum Console", "Ostrum 控制台", "Ostrum 控制臺");
}

int languageForLocale(const QString& localeName) {
    const QString name = localeName.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    if (name == QLatin1String("zh_TW") || name == QLatin1String("zh_HK")) {
        return 2;
    }
    if (name == QLatin1String("zh_CN") || name == QLatin1String("zh_SG")) {
        return 1;
    }
    return 0;
}

int languageFromSetting(const QString& stored, const QString& localeName) {
    bool number = false;
    const int value = stored.trimmed().toInt(&number);
    if (!number || value == -1) {
        return languageForLocale(localeName);
    }
    return value;
}

} // namespace console
