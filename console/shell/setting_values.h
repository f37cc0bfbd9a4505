#pragma once

#include <QString>

namespace console {

// The settings window's share of ostrum.cfg, one text a key: as read at load
// (after the numeric fallbacks) or as last written by Apply.
struct SettingValues {
    QString runMod;       // run_mod, raw
    QString httpPorts;    // filt_http_port, raw
    QString httpsPorts;   // filt_https_port, raw
    QString logSize;      // max_logfile_size, "100" when not a number
    QString logStoreTime; // max_logfile_store_time, "10" when not a number
    QString autoUpdate;   // auto_update_report, raw ("0" unchecked, else checked)
};

inline const QString kDefaultLogSize = QStringLiteral("100");
inline const QString kDefaultLogStoreTime = QStringLiteral("10");

SettingValues readSettingValues();
// What Restore puts into the controls.
SettingValues restoredSettingValues();

// The general numeric test: blanks around, a sign, digits with a decimal
// point, an exponent ("0", "-5", "1.5", " 2e3 ").
bool readsAsNumber(const QString& text);
// The trimmed text, or the fallback when it does not read as a number.
QString numberOr(const QString& text, const QString& fallback);

// Protection modes "0" to "3" and the options runmod1..runmod4 (0 to 3);
// -1 and the empty text stand for none.
int optionOfMode(const QString& mode);
QString modeOfOption(int option);

enum class WriteResult { Unchanged, Written, Failed };
// Writes key = value when value differs from saved (case-sensitive), then
// makes saved the value. A write that does not read back as written is
// Failed and leaves saved as it was, so that the next Apply tries again.
WriteResult writeWhenChanged(const QString& key, const QString& value, QString& saved);
// Writes key = value whatever was saved; the same check.
[[nodiscard]] bool writeChecked(const QString& key, const QString& value);

} // namespace console
