#include "console/editors/clwin.h"

#include "console/editors/cl.h"
#include "console/editors/data_file.h"
#include "console/editors/hourglass.h"
#include "console/shell/column_fit.h"
#include "console/shell/twips.h"
#include "console/shell/windows.h"

#include <QTreeWidget>

namespace console {
namespace {

using connlimit::ConnLimit;

constexpr LanguageText kTitle{"Advanced Setting - Connection Limit", "高级设置 - 连接限制",
                              "高級設置 - 連接限制"};

struct Column {
    LanguageText caption;
    int width; // twips
};

constexpr Column kColumns[] = {
    {{"Max Conn", "连接上限", "連接上限"}, 1000},
    {{"Ip Range", "IP地址段", "IP地址段"}, 6500},
    {{"Remark", "备注", "備註"}, 2000},
};
constexpr int kColumnCount = 3;

constexpr LanguageText kDeleteLead{"Click to Delete:", "点击删除:", "點擊刪除:"};

const char kFileName[] = "iprange.dat";

// The file line a row was read from (-1: a new row).
constexpr int kLineRole = Qt::UserRole;

} // namespace

clwin::clwin() : AdvancedFrame(AdvancedWindow::ConnectionLimit, kTitle) {
    setObjectName(QStringLiteral("clwin"));
    QStringList headers;
    QList<int> widths;
    for (const Column& column : kColumns) {
        headers.append(column.caption.text());
        widths.append(column.width);
    }
    ipList = createRecordList(QStringLiteral("ipList"), headers, widths);
    loadData();
}

void clwin::paintCaptions() {
    for (int i = 0; i < kColumnCount; ++i) {
        setHeaderCaption(ipList, i, kColumns[i].caption.text());
    }
}

ConnLimit clwin::limitOf(const QTreeWidgetItem* row) {
    return {row->text(0), row->text(1), row->text(2), row->data(0, kLineRole).toInt()};
}

void clwin::setLimit(QTreeWidgetItem* row, const ConnLimit& limit) {
    row->setText(0, limit.maxconn);
    row->setText(1, limit.ips);
    row->setText(2, limit.remark);
}

void clwin::loadData() {
    QByteArrayList lines;
    readFrameFile(QString::fromLatin1(kFileName), lines);
    m_lines = lines;
    showLimits(true);
}

void clwin::showLimits(bool events) {
    const int selected = ipList->indexOfTopLevelItem(firstSelectedRecord());
    ipList->clear();
    sitmX = nullptr;
    const QByteArrayList lines = m_lines;
    forEachRecordLine(lines, events, [&](int index, const QString& line) {
        if (const std::optional<ConnLimit> limit = connlimit::readConnLimit(line)) {
            addListItem(limit->maxconn, limit->remark, limit->ips);
            ipList->topLevelItem(ipList->topLevelItemCount() - 1)->setData(0, kLineRole, index);
        }
    });
    console::fitColumns(ipList);
    if (QTreeWidgetItem* row = ipList->topLevelItem(selected)) {
        row->setSelected(true);
    }
}

void clwin::addListItem(const QString& cm, const QString& ps, const QString& ips) {
    auto* row = new QTreeWidgetItem(ipList, QStringList{cm, ips, ps});
    row->setData(0, kLineRole, -1);
}

bool clwin::saveData() {
    Hourglass hourglass(this);
    QList<ConnLimit> limits;
    for (int i = 0; i < ipList->topLevelItemCount(); ++i) {
        limits.append(limitOf(ipList->topLevelItem(i)));
    }
    const QByteArray content = connlimit::connLimitFile(m_lines, limits);
    if (!writeFrameFile(QString::fromLatin1(kFileName), m_lines, content)) {
        return false;
    }
    m_lines = splitDataLines(content);
    showLimits(false);
    return true;
}

void clwin::removeLastRow() {
    const int last = ipList->topLevelItemCount() - 1;
    if (last >= 0) {
        delete ipList->takeTopLevelItem(last);
    }
}

void clwin::refreshRecords() {
    Hourglass hourglass(this);
    loadData();
}

void clwin::addRecord() {
    Hourglass hourglass(this);
    cl& dialog = console::window<cl>();
    dialog.setFields({QStringLiteral("1000"), QString(), QString()});
    dialog.baddnew = true;
    dialog.showOver(this);
}

void clwin::editRecord() {
    QTreeWidgetItem* row = firstSelectedRecord();
    if (row == nullptr) {
        return;
    }
    sitmX = row;
    cl& dialog = console::window<cl>();
    dialog.setFields(limitOf(row));
    dialog.baddnew = false;
    dialog.showOver(this);
}

void clwin::deleteRecord() {
    Hourglass hourglass(this);
    QTreeWidgetItem* row = firstSelectedRecord();
    if (row == nullptr) {
        return;
    }
    const QString text = kDeleteLead.text() + QLatin1Char('"') + row->text(2) + QLatin1Char('(') +
                         row->text(1) + QStringLiteral(")\".");
    if (frameMessage(text, MessageButtons::YesNo) != MessageAnswer::Yes) {
        return;
    }
    const int index = ipList->indexOfTopLevelItem(row);
    QTreeWidgetItem* taken = ipList->takeTopLevelItem(index);
    if (sitmX == taken) {
        sitmX = nullptr;
    }
    if (saveData()) {
        delete taken;
    } else {
        ipList->insertTopLevelItem(index, taken);
    }
}

} // namespace console
