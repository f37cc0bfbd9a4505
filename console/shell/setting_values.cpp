#include "console/shell/setting_values.h"

#include "console/shell/console_trace.h"
#include "console/shell/module.h"

namespace console {
namespace {

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Digits from i on; returns how many.
int skipDigits(const QString& text, int& i) {
    const int start = i;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
    }
    return i - start;
}

void skipSign(const QString& text, int& i) {
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        ++i;
    }
}

} // namespace

SettingValues readSettingValues() {
    SettingValues v;
    v.runMod = readSetting(QStringLiteral("run_mod"), QStringLiteral("2"));
    v.httpPorts = readSetting(QStringLiteral("filt_http_port"), QStringLiteral("80"));
    v.httpsPorts = readSetting(QStringLiteral("filt_https_port"), QStringLiteral("443"));
    v.logSize = readSetting(QStringLiteral("max_logfile_size"), kDefaultLogSize);
    v.logStoreTime = readSetting(QStringLiteral("max_logfile_store_time"), kDefaultLogStoreTime);
    v.autoUpdate = readSetting(QStringLiteral("auto_update_report"), QStringLiteral("0"));
    if (!readsAsNumber(v.logSize)) {
        v.logSize = kDefaultLogSize;
    }
    if (!readsAsNumber(v.logStoreTime)) {
        v.logStoreTime = kDefaultLogStoreTime;
    }
    return v;
}

SettingValues restoredSettingValues() {
    return {QStringLiteral("2"), QStringLiteral("80"), QStringLiteral("443"),
            kDefaultLogSize,     kDefaultLogStoreTime, QStringLiteral("1")};
}

bool readsAsNumber(const QString& text) {
    const QString t = text.trimmed();
    int i = 0;
    skipSign(t, i);
    int digits = skipDigits(t, i);
    if (i < t.size() && t[i] == QLatin1Char('.')) {
        ++i;
        digits += skipDigits(t, i);
    }
    if (digits == 0) {
        return false;
    }
    if (i < t.size() && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        ++i;
        skipSign(t, i);
        if (skipDigits(t, i) == 0) {
            return false;
        }
    }
    return i == t.size();
}

QString numberOr(const QString& text, const QString& fallback) {
    const QString trimmed = text.trimmed();
    return readsAsNumber(trimmed) ? trimmed : fallback;
}

int optionOfMode(const QString& mode) {
    static const QString modes[] = {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"),
                                    QStringLiteral("3")};
    for (int option = 0; option < 4; ++option) {
        if (mode == modes[option]) {
            return option;
        }
    }
    return -1;
}

QString modeOfOption(int option) {
    return option >= 0 && option <= 3 ? QString::number(option) : QString();
}

bool writeChecked(const QString& key, const QString& value) {
    writeSetting(key, value);
    // A default that cannot be the value tells a missing key from a written one.
    if (readSetting(key, value + QLatin1Char('\x01')) == value) {
        return true;
    }
    CONSOLE_TRACE("settings: %s was not saved", key.toUtf8().constData());
    return false;
}

WriteResult writeWhenChanged(const QString& key, const QString& value, QString& saved) {
    if (value == saved) {
        return WriteResult::Unchanged;
    }
    if (!writeChecked(key, value)) {
        return WriteResult::Failed;
    }
    saved = value;
    return WriteResult::Written;
}

} // namespace console
