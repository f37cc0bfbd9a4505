#include "console/editors/crulewin.h"

#include "console/editors/crule.h"
#include "console/editors/data_file.h"
#include "console/editors/hourglass.h"
#include "console/editors/rule_id.h"
#include "console/shell/column_fit.h"
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
constexpr LanguageText kNoFreeId{"No free rule id is left!", "没有可用的规则ID!",
                                 "沒有可用的規則ID!"};

const char kFileName[] = "RAWRULE.dat";

// Where a row was read from: its rule line and its remark line (-1: none).
constexpr int kRuleLineRole = Qt::UserRole;
constexpr int kRemarkLineRole = Qt::UserRole + 1;

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
    const QString texts[] = {rule.id, rule.tar, rule.tran, rule.cm, rule.hd, rule.regex, rule.desc};
    for (int i = 0; i < kColumnCount; ++i) {
        row->setText(i, texts[i]);
    }
}

void crulewin::loadData() {
    QByteArrayList lines;
    readFrameFile(QString::fromLatin1(kFileName), lines);
    m_lines = lines;
    showRules(true);
}

void crulewin::showRules(bool events) {
    const int selected = crList->indexOfTopLevelItem(firstSelectedRecord());
    crList->clear();
    sitmX = nullptr;
    attackrule::AttackRuleReader reader;
    const QByteArrayList lines = m_lines;
    forEachRecordLine(lines, events, [&](int index, const QString& line) {
        if (const std::optional<attackrule::ReadRule> read = reader.read(line, index)) {
            const AttackRule& rule = read->rule;
            addListItem(rule.id, rule.tar, rule.tran, rule.cm, rule.hd, rule.regex, rule.desc);
            QTreeWidgetItem* row = crList->topLevelItem(crList->topLevelItemCount() - 1);
            row->setData(0, kRuleLineRole, index);
            row->setData(0, kRemarkLineRole, read->remarkAt);
        }
    });
    console::fitColumns(crList);
    if (QTreeWidgetItem* row = crList->topLevelItem(selected)) {
        row->setSelected(true);
    }
}

QStringList crulewin::ids() const {
    QStringList ids;
    for (int i = 0; i < crList->topLevelItemCount(); ++i) {
        ids.append(crList->topLevelItem(i)->text(0));
    }
    return ids;
}

QString crulewin::getmaxId() const {
    return maxIdText(ids());
}

void crulewin::addListItem(const QString& id, const QString& tar, const QString& tran,
                           const QString& cm, const QString& hd, const QString& regex,
                           const QString& desc) {
    auto* row = new QTreeWidgetItem(crList, QStringList{id, tar, tran, cm, hd, regex, desc});
    row->setData(0, kRuleLineRole, -1);
    row->setData(0, kRemarkLineRole, -1);
}

bool crulewin::saveData() {
    Hourglass hourglass(this);
    QList<attackrule::PlacedRule> rules;
    for (int i = 0; i < crList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = crList->topLevelItem(i);
        rules.append({ruleOf(row), row->data(0, kRuleLineRole).toInt(),
                      row->data(0, kRemarkLineRole).toInt()});
    }
    const QByteArray content = attackrule::attackRuleFile(m_lines, rules);
    if (!writeFrameFile(QString::fromLatin1(kFileName), m_lines, content)) {
        return false;
    }
    m_lines = splitDataLines(content);
    showRules(false);
    return true;
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
    const QString proposed = proposedIdText(ids());
    if (proposed.isEmpty()) {
        frameMessage(kNoFreeId.text(), MessageButtons::Ok);
        return;
    }
    crule& dialog = console::window<crule>();
    dialog.setFields({proposed, QStringLiteral("QueryString"), QStringLiteral("Normalize"),
                      QStringLiteral("Regex Match"), QStringLiteral("Log"), QString(), QString()});
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
