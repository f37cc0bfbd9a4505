// Every line of the input goes through each line parser of the console: the
// attack-log and run-log patterns (a logged URL or host is the client's
// text) and the readers of the rule and connection-limit files.
#include "console/editors/attack_rule_file.h"
#include "console/editors/conn_limit_file.h"
#include "console/editors/jtype_dic.h"
#include "console/editors/patch_rule_file.h"
#include "console/shell/attack_log_reader.h"
#include "console/shell/log_records.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    console::attackrule::AttackRuleReader attackRules;
    console::JTypeDic types;
    QList<console::PatchRule> patchRules;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        console::AttackRow row;
        console::RunLogRow runLog;
        QStringList fields;
        console::parseAttackRecord(line, row);
        console::parseAttackRecord(line, fields);
        console::parseRunLogLine(line, runLog);
        (void)attackRules.read(line);
        (void)console::connlimit::readConnLimit(line);
        console::readPatchRuleLine(line, types, patchRules);
    }
    (void)console::patchRuleFileLines(types, patchRules);
    return 0;
}
