#include "console/editors/jrulewin.h"

#include "console/editors/data_file.h"
#include "console/editors/hourglass.h"
#include "console/editors/jrule.h"
#include "console/editors/mantype.h"
#include "console/editors/patch_rule_file.h"
#include "console/editors/rule_id.h"
#include "console/shell/column_fit.h"
#include "console/shell/windows.h"

#include <QTreeWidget>

namespace console {
namespace {

const QString kFileName = QStringLiteral("JIPRULE.dat");

constexpr LanguageText kTitle{"Advanced Setting - Patch Rules", "高级设置 - 入侵检测",
                              "高級設置 - 入侵檢測"};
constexpr LanguageText kDeleteAsk{"Click to Delete:", "点击删除:", "點擊刪除:"};
constexpr LanguageText kNoFreeId{"No free rule id is left!", "没有可用的规则ID!",
                                 "沒有可用的規則ID!"};

// The file line a row was read from (-1: a new row).
constexpr int kLineRole = Qt::UserRole;

struct Column {
    LanguageText caption;
    int width; // twips
};

const Column kColumns[] = {
    {{"ID", "ID", "ID"}, 1000},
    {{"Host", "域名", "域名"}, 2000},
    {{"Port", "端口", "端口"}, 1000},
    {{"Url", "URL", "URL"}, 1500},
    {{"Position", "位置", "位置"}, 2000},
    {{"Parameter", "参数名称", "參數名稱"}, 2000},
    {{"Type", "参数类型", "參數類型"}, 1500},
    {{"Minimum Length", "最小长度", "最小長度"}, 1000},
    {{"Maximum Length", "最大长度", "最大長度"}, 1000},
};
constexpr int kColumnCount = 9;

} // namespace

jrulewin::jrulewin() : AdvancedFrame(AdvancedWindow::PatchRules, kTitle) {
    setObjectName(QStringLiteral("jrulewin"));
    QStringList headers;
    QList<int> widths;
    for (const Column& column : kColumns) {
        headers.append(QString::fromUtf8(column.caption.simplified));
        widths.append(column.width);
    }
    m_list = createRecordList(QStringLiteral("jrList"), headers, widths);
    addMenuItem(QStringLiteral("mantypeBtn"), QStringLiteral("Manage Parameter Type"),
                [this] { manageTypes(); });
    const Hourglass hourglass(this);
    loadData();
}

void jrulewin::paintCaptions() {
    for (int i = 0; i < kColumnCount; ++i) {
        setHeaderCaption(m_list, i, kColumns[i].caption.text());
    }
}

void jrulewin::loadData() {
    QByteArrayList lines;
    readFrameFile(kFileName, lines);
    m_lines = lines;
    showRules(true);
}

void jrulewin::showRules(bool events) {
    const int selected = m_list->indexOfTopLevelItem(firstSelectedRecord());
    m_list->clear();
    sitmX = nullptr;
    jtypeDic.clear();
    QList<PatchRule> rules;
    const QByteArrayList lines = m_lines;
    forEachRecordLine(lines, events, [&](int index, const QString& line) {
        readPatchRuleLine(line, jtypeDic, rules, index);
    });
    for (const PatchRule& rule : rules) {
        addListItem(rule.id, rule.host, rule.port, rule.url, rule.pos, rule.param, rule.jtype,
                    rule.minlen, rule.maxlen);
        m_list->topLevelItem(m_list->topLevelItemCount() - 1)->setData(0, kLineRole, rule.line);
    }
    console::fitColumns(m_list);
    if (QTreeWidgetItem* row = m_list->topLevelItem(selected)) {
        row->setSelected(true);
    }
}

void jrulewin::addListItem(const QString& id, const QString& host, const QString& port,
                           const QString& url, const QString& pos, const QString& param,
                           const QString& jtype, const QString& minlen, const QString& maxlen) {
    auto* row =
        new QTreeWidgetItem(QStringList{id, host, port, url, pos, param, jtype, minlen, maxlen});
    row->setData(0, kLineRole, -1);
    m_list->addTopLevelItem(row);
}

void jrulewin::removeLastRow() {
    const int last = m_list->topLevelItemCount() - 1;
    if (last >= 0) {
        delete m_list->takeTopLevelItem(last);
    }
}

QStringList jrulewin::ids() const {
    QStringList list;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        list.append(m_list->topLevelItem(i)->text(0));
    }
    return list;
}

QString jrulewin::getmaxId() const {
    return maxIdText(ids());
}

PatchRule jrulewin::ruleOf(const QTreeWidgetItem* row) {
    return PatchRule{
        row->text(0), row->text(1), row->text(2), row->text(3), row->text(4),
        row->text(5), row->text(6), row->text(7), row->text(8), row->data(0, kLineRole).toInt()};
}

void jrulewin::setRule(QTreeWidgetItem* row, const PatchRule& rule) {
    const QString fields[] = {rule.id,    rule.host,  rule.port,   rule.url,   rule.pos,
                              rule.param, rule.jtype, rule.minlen, rule.maxlen};
    for (int column = 0; column < kColumnCount; ++column) {
        row->setText(column, fields[column]);
    }
}

bool jrulewin::saveData() {
    const Hourglass hourglass(this);
    QList<PatchRule> rules;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        rules.append(ruleOf(m_list->topLevelItem(i)));
    }
    const QByteArray content = patchRuleFile(m_lines, jtypeDic, rules);
    if (!writeFrameFile(kFileName, m_lines, content)) {
        return false;
    }
    m_lines = splitDataLines(content);
    showRules(false);
    return true;
}

bool jrulewin::hasParamType(const QString& name) const {
    return jtypeDic.existsIgnoringCase(name);
}

void jrulewin::refreshRecords() {
    const Hourglass hourglass(this);
    loadData();
}

void jrulewin::addRecord() {
    PatchRule rule;
    rule.id = proposedIdText(ids());
    if (rule.id.isEmpty()) {
        frameMessage(kNoFreeId.text(), MessageButtons::Ok);
        return;
    }
    jrule& dialog = console::window<jrule>();
    rule.port = QStringLiteral("80");
    rule.pos = codeToText(QStringLiteral("g"));
    rule.minlen = QStringLiteral("0");
    rule.maxlen = QStringLiteral("0");
    dialog.fill(rule, false);
    dialog.baddnew = true;
    dialog.showOver(this);
}

void jrulewin::editRecord() {
    QTreeWidgetItem* row = firstSelectedRecord();
    if (row == nullptr) {
        return;
    }
    sitmX = row;
    const PatchRule rule = ruleOf(row);
    jrule& dialog = console::window<jrule>();
    dialog.fill(rule, hasParamType(rule.jtype));
    dialog.baddnew = false;
    dialog.showOver(this);
}

void jrulewin::deleteRecord() {
    const Hourglass hourglass(this);
    QTreeWidgetItem* row = firstSelectedRecord();
    if (row == nullptr) {
        return;
    }
    const QString question =
        kDeleteAsk.text() + QStringLiteral("\"Rule ") + row->text(0) + QStringLiteral("\".");
    if (frameMessage(question, MessageButtons::YesNo) != MessageAnswer::Yes) {
        return;
    }
    const int index = m_list->indexOfTopLevelItem(row);
    QTreeWidgetItem* taken = m_list->takeTopLevelItem(index);
    if (sitmX == taken) {
        sitmX = nullptr;
    }
    if (saveData()) {
        delete taken;
    } else {
        m_list->insertTopLevelItem(index, taken);
    }
}

void jrulewin::manageTypes() {
    console::window<mantype>().showOver(this);
}

} // namespace console
