#include "console/editors/crulewin.h"

#include "console/editors/crule.h"
#include "console/editors/hourglass.h"
#include "console/shell/twips.h"
#include "console/shell/windows.h"

#include <QTreeWidget>

namespace console {
namespace {

using attackrule::AttackRule;

constexpr LanguageText kTitle{"Advanced Setting - Attack Rules", "高级设置 - 入侵检测",
                              "高級設置 - 入侵檢測"};

struct Column {
    LanguageText caption;
    int width; // twips
};

constexpr Column kColumns[] = {
    {{"ID", "ID", "ID"}, 1000},
    {{"Position", "位置", "位置"}, 2000},
    {{"Transform", "转换", "轉換"}, 1500},
    {{"Compare", "比较", "比較"}, 1500},
    {{"Handle", "处理", "處理"}, 1500},
    {{"Regex", "正则", "正則"}, 7000},
    {{"Remark", "备注", "備註"}, 5000},
};
constexpr int kColumnCount = 7;

constexpr LanguageText kDeleteLead{"Click to Delete:", "点击删除:", "點擊刪除:"};

const char kFileName[] = "RAWRULE.dat";

} // namespace

crulewin::crulewin() : AdvancedFrame(AdvancedWindow::AttackRules, kTitle) {
    setObjectName(QStringLiteral("crulewin"));
    QStringList headers;
    QList<int> widths;
    for (const Column& column : kColumns) {
        headers.append(QString::fromUtf8(column.caption.simplified));
        widths.append(column.width);
    }
    crList = createRecordList(QStringLiteral("crList"), headers, widths);
    Hourglass hourglass(this);
    loadData();
}

void crulewin::paintCaptions() {
    for (int i = 0; i < kColumnCount; ++i) {
        setHeaderCaption(crList, i, kColumns[i].caption.text());
    }
}

AttackRule crulewin::ruleOf(const QTreeWidgetItem* row) {
    return {row->text(0), row->text(1), row->text(2), row->text(3),
            row->text(4), row->text(5), row->text(6)};
}

void crulewin::setRule(QTreeWidgetItem* row, const AttackRule& rule) {
    const QString texts[] = {rule.tar, rule.tran, rule.cm, rule.hd, rule.regex, rule.desc};
    for (int i = 0; i < 6; ++i) {
        row->setText(i + 1, texts[i]);
    }
}

void crulewin::loadData() {
    crList->clear();
    attackrule::AttackRuleReader reader;
    readFrameFile(QString::fromLatin1(kFileName), [&](const QString& line) {
        if (const std::optional<AttackRule> rule = reader.read(line)) {
            addListItem(rule->id, rule->tar, rule->tran, rule->cm, rule->hd, rule->regex,
                        rule->desc);
        }
    });
}

QString crulewin::getmaxId() const {
    QStringList ids;
    for (int i = 0; i < crList->topLevelItemCount(); ++i) {
        ids.append(crList->topLevelItem(i)->text(0));
    }
    return attackrule::maxIdText(ids);
}

void crulewin::addListItem(const QString& id, const QString& tar, const QString& tran,
                           const QString& cm, const QString& hd, const QString& regex,
                           const QString& desc) {
    new QTreeWidgetItem(crList, QStringList{id, tar, tran, cm, hd, regex, desc});
}

bool crulewin::saveData() {
    Hourglass hourglass(this);
    QList<AttackRule> rules;
    for (int i = 0; i < crList->topLevelItemCount(); ++i) {
        rules.append(ruleOf(crList->topLevelItem(i)));
    }
    return writeFrameFile(QString::fromLatin1(kFileName), attackrule::attackRuleLines(rules));
}

void crulewin::removeLastRow() {
    const int last = crList->topLevelItemCount() - 1;
    if (last >= 0) {
        delete crList->takeTopLevelItem(last);
    }
}

void crulewin::refreshRecords() {
    Hourglass hourglass(this);
    loadData();
}

void crulewin::addRecord() {
    crule& dialog = console::window<crule>();
    const qint64 proposed = getmaxId().toLongLong() + 1;
    dialog.setFields({QString::number(proposed), QStringLiteral("QueryString"),
                      QStringLiteral("Normalize"), QStringLiteral("Regex Match"),
                      QStringLiteral("Log"), QString(), QString()});
    dialog.baddnew = true;
    dialog.showOver(this);
}

void crulewin::editRecord() {
    QTreeWidgetItem* row = firstSelectedRecord();
    if (row == nullptr) {
        return;
    }
    sitmX = row;
    crule& dialog = console::window<crule>();
    dialog.setFields(ruleOf(row));
    dialog.baddnew = false;
    dialog.showOver(this);
}

void crulewin::deleteRecord() {
    Hourglass hourglass(this);
    QTreeWidgetItem* row = firstSelectedRecord();
    if (row == nullptr) {
        return;
    }
    const QString text =
        kDeleteLead.text() + QStringLiteral("\"Rule ") + row->text(0) + QStringLiteral("\".");
    if (frameMessage(text, MessageButtons::YesNo) != MessageAnswer::Yes) {
        return;
    }
    const int index = crList->indexOfTopLevelItem(row);
    QTreeWidgetItem* taken = crList->takeTopLevelItem(index);
    if (sitmX == taken) {
        sitmX = nullptr;
    }
    if (saveData()) {
        delete taken;
    } else {
        crList->insertTopLevelItem(index, taken);
    }
}

} // namespace console
