#include "console/editors/cl.h"

#include "console/editors/clwin.h"
#include "console/editors/hourglass.h"
#include "console/shell/windows.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace console {
namespace {

using namespace connlimit;

constexpr LanguageText kTitle{"Connection Limit Rules Editor", "并发连接规则编辑器",
                              "幷發連接規則編輯器"};
constexpr LanguageText kCmCaption{"Max Conn:", "连接上限:", "連接上限:"};
constexpr LanguageText kPsCaption{"Remark:", "备注信息:", "備註信息:"};
constexpr LanguageText kIpsCaption{"Ip Range:", "IP地址段:", "IP地址段:"};
constexpr LanguageText kMaxInvalid{"Conn Max Must be a integer!", "最大连接数必须为正整数!",
                                   "最大連接數必須為正整數!"};
constexpr LanguageText kRangesInvalid{"Ip range invalid!", "Ip地址段无效!", "Ip地址段無效!"};
constexpr LanguageText kRemarkInvalid{"Remark can not contain blanks!", "备注信息不能包含空格!",
                                      "備註信息不能包含空格!"};

constexpr int kLabelLeft = 14;
constexpr int kLabelWidth = 104;
constexpr int kFieldLeft = 124;
constexpr int kFieldWidth = 330;
constexpr int kRowHeight = 24;

} // namespace

bool cl::changed = false;

cl::cl() : RecordDialog(kTitle) {
    setObjectName(QStringLiteral("cl"));
    setFixedSize(470, 300);
    cmLabel = addLabel("cmLabel", 14);
    cmText = new QLineEdit(this);
    cmText->setObjectName(QStringLiteral("cmText"));
    cmText->setGeometry(kFieldLeft, 14, kFieldWidth, kRowHeight);
    psLabel = addLabel("psLabel", 46);
    psText = new QLineEdit(this);
    psText->setObjectName(QStringLiteral("psText"));
    psText->setGeometry(kFieldLeft, 46, kFieldWidth, kRowHeight);
    ipsLabel = addLabel("ipsLabel", 78);
    ipsText = new QPlainTextEdit(this);
    ipsText->setObjectName(QStringLiteral("ipsText"));
    ipsText->setGeometry(kFieldLeft, 78, kFieldWidth, 150);
    ipsText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ipsText->setLineWrapMode(QPlainTextEdit::NoWrap);
    for (QLineEdit* field : {cmText, psText}) {
        connect(field, &QLineEdit::textChanged, this, [] { changed = true; });
    }
    connect(ipsText, &QPlainTextEdit::textChanged, this, [] { changed = true; });
    okButton()->setGeometry(130, 250, 96, 28);
    cancelButton()->setGeometry(246, 250, 96, 28);
    updateCaptions();
}

QLabel* cl::addLabel(const char* name, int top) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(kLabelLeft, top, kLabelWidth, kRowHeight);
    return label;
}

void cl::paintCaptions() {
    AdvancedFrame::setCaption(cmLabel, kCmCaption.text());
    AdvancedFrame::setCaption(psLabel, kPsCaption.text());
    AdvancedFrame::setCaption(ipsLabel, kIpsCaption.text());
}

void cl::setFields(const ConnLimit& limit) {
    cmText->setText(limit.maxconn);
    psText->setText(limit.remark);
    const QString ranges = rangesText(limit.ips);
    if (ipsText->toPlainText() != ranges) {
        ipsText->setPlainText(ranges);
    }
}

void cl::confirm() {
    if (!validMaxConn(cmText->text())) {
        refuse(kMaxInvalid.text(), cmText);
        return;
    }
    const ConnLimit limit{cmText->text(), rangesLine(ipsText->toPlainText()),
                          psText->text().trimmed()};
    if (limit.ips.isEmpty()) {
        refuse(kRangesInvalid.text(), ipsText);
        return;
    }
    if (!validRemark(limit.remark)) {
        refuse(kRemarkInvalid.text(), psText);
        return;
    }
    if (!fitsCodePage(limit.remark, psText) || !fitsCodePage(limit.ips, ipsText)) {
        return;
    }
    clwin& list = console::window<clwin>();
    if (baddnew) {
        Hourglass hourglass(this);
        list.addListItem(limit.maxconn, limit.remark, limit.ips);
        if (!list.saveData()) {
            list.removeLastRow();
            return;
        }
    } else if (changed && list.sitmX != nullptr) {
        Hourglass hourglass(this);
        const ConnLimit before = clwin::limitOf(list.sitmX);
        clwin::setLimit(list.sitmX, limit);
        if (!list.saveData()) {
            clwin::setLimit(list.sitmX, before);
            return;
        }
        changed = false;
    }
    unloadSelf();
}

void cl::unloadSelf() {
    unload<cl>();
}

} // namespace console
