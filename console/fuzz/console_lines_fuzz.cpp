// Every line of the input goes through each line parser of the console: the
// attack-log and run-log patterns (a logged URL or host is the client's
// text) and the readers of the rule and connection-limit files. The input
// is then saved as each of those files: unchanged, it must come back byte
// for byte; with records changed, dropped and added, the save must hold.
#include "console/editors/attack_rule_file.h"
#include "console/editors/conn_limit_file.h"
#include "console/editors/data_file.h"
#include "console/editors/jtype_dic.h"
#include "console/editors/patch_rule_file.h"
#include "console/editors/record_lines.h"
#include "console/shell/attack_log_reader.h"
#include "console/shell/log_records.h"

#include <cstddef>
#include <cstdint>

namespace {

struct ReadFile {
    QList<console::attackrule::PlacedRule> attackRules;
    console::JTypeDic types;
    QList<console::PatchRule> patchRules;
    QList<console::connlimit::ConnLimit> limits;
};

ReadFile readAll(const QByteArrayList& lines) {
    ReadFile read;
    console::attackrule::AttackRuleReader attackRules;
    for (int i = 0; i < int(lines.size()); ++i) {
        if (lines[i].startsWith('#')) {
            continue;
        }
        const QString line = console::lineText(lines[i]);
        if (const auto rule = attackRules.read(line, i)) {
            read.attackRules.append({rule->rule, i, rule->remarkAt});
        }
        if (auto limit = console::connlimit::readConnLimit(line)) {
            limit->line = i;
            read.limits.append(*limit);
        }
        console::readPatchRuleLine(line, read.types, read.patchRules, i);
    }
    return read;
}

void checkUnchangedSaves(const QByteArrayList& lines, const ReadFile& read) {
    QByteArray same;
    for (const QByteArray& line : lines) {
        same += line + "\r\n";
    }
    if (console::attackrule::attackRuleFile(lines, read.attackRules) != same ||
        console::patchRuleFile(lines, read.types, read.patchRules) != same ||
        console::connlimit::connLimitFile(lines, read.limits) != same) {
        __builtin_trap();
    }
}

// Every other record changed, the one after it dropped, one added.
void saveChanged(const QByteArrayList& lines, ReadFile read) {
    for (int i = 0; i < read.attackRules.size(); ++i) {
        read.attackRules[i].rule.regex += QLatin1Char('x');
        read.attackRules[i].rule.desc.clear();
        if (i + 1 < read.attackRules.size()) {
            read.attackRules.removeAt(i + 1);
        }
    }
    read.attackRules.append(console::attackrule::PlacedRule{});
    for (int i = 0; i < read.patchRules.size(); ++i) {
        read.patchRules[i].maxlen = QStringLiteral("7");
        if (i + 1 < read.patchRules.size()) {
            read.patchRules.removeAt(i + 1);
        }
    }
    read.patchRules.append(console::PatchRule{});
    (void)read.types.add(QStringLiteral("fuzz"), QStringLiteral("^x$"));
    for (int i = 0; i < read.limits.size(); ++i) {
        read.limits[i].remark = QStringLiteral("r");
        if (i + 1 < read.limits.size()) {
            read.limits.removeAt(i + 1);
        }
    }
    read.limits.append(console::connlimit::ConnLimit{});
    (void)console::attackrule::attackRuleFile(lines, read.attackRules);
    (void)console::patchRuleFile(lines, read.types, read.patchRules);
    (void)console::connlimit::connLimitFile(lines, read.limits);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        console::AttackRow row;
        console::RunLogRow runLog;
        QStringList fields;
        console::parseAttackRecord(line, row);
        console::parseAttackRecord(line, fields);
        console::parseRunLogLine(line, runLog);
    }
    const QByteArrayList lines = console::splitDataLines(bytes);
    const ReadFile read = readAll(lines);
    checkUnchangedSaves(lines, read);
    saveChanged(lines, read);
    return 0;
}
