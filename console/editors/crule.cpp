#include "console/editors/crule.h"

#include "console/editors/crulewin.h"
#include "console/editors/drop_down_list.h"
#include "console/editors/field_checks.h"
#include "console/editors/hourglass.h"
#include "console/editors/rule_id.h"
#include "console/shell/windows.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace console {
namespace {

using namespace attackrule;

constexpr LanguageText kTitle{"Intrusion Rules Editor", "入侵规则编辑器", "入侵規則編輯器"};
constexpr LanguageText kIdCaption{"Rule ID:", "规则ID:", "規則ID:"};
constexpr LanguageText kTarCaption{"Position:", "匹配位置:", "匹配位置:"};
constexpr LanguageText kTranCaption{"Transform:", "转换方式:", "轉換方式:"};
constexpr LanguageText kCmCaption{"Compare:", "比较方式:", "比較方式:"};
constexpr LanguageText kHdCaption{"Handle:", "处理方式:", "處理方式:"};
constexpr LanguageText kRegexCaption{"RegEx:", "规则正则:", "規則正則:"};
constexpr LanguageText kDescCaption{"Remark:", "规则说明:", "規則說明:"};
constexpr LanguageText kRegexEmpty{"Regex can not be empty!", "规则正则式不能为空!",
                                   "規則正則式不能為空!"};

constexpr int kLabelLeft = 14;
constexpr int kLabelWidth = 104;
constexpr int kFieldLeft = 124;
constexpr int kFieldWidth = 330;
constexpr int kRowHeight = 24;

void selectChoice(DropDownList* list, const QString& cell, const QStringList& choices) {
    if (const std::optional<QString> entry = choiceFor(cell, choices)) {
        list->selectEntry(*entry);
    }
}

} // namespace

bool crule::changed = false;

crule::crule() : RecordDialog(kTitle) {
    setObjectName(QStringLiteral("crule"));
    setFixedSize(470, 400);
    idLabel = addLabel("idLabel", 14);
    idText = new QLineEdit(this);
    idText->setObjectName(QStringLiteral("idText"));
    idText->setGeometry(kFieldLeft, 14, kFieldWidth, kRowHeight);
    idText->setEnabled(false);
    tarLabel = addLabel("tarLabel", 46);
    tarCombo = addList("tarCombo", 46, positionTexts(), QStringLiteral("Any"));
    tranLabel = addLabel("tranLabel", 78);
    tranCombo = addList("tranCombo", 78, transformTexts(), QStringLiteral("Normalize"));
    cmLabel = addLabel("cmLabel", 110);
    cmCombo = addList("cmCombo", 110, compareTexts(), QStringLiteral("Regex Match"));
    hdLabel = addLabel("hdLabel", 142);
    hdCombo = addList("hdCombo", 142, handleTexts(), QStringLiteral("Block & Log"));
    regexLabel = addLabel("regexLabel", 174);
    regexText = new QPlainTextEdit(this);
    regexText->setObjectName(QStringLiteral("regexText"));
    regexText->setGeometry(kFieldLeft, 174, kFieldWidth, 84);
    descLabel = addLabel("descLabel", 268);
    descText = new QPlainTextEdit(this);
    descText->setObjectName(QStringLiteral("descText"));
    descText->setGeometry(kFieldLeft, 268, kFieldWidth, 64);
    for (QPlainTextEdit* field : {regexText, descText}) {
        connect(field, &QPlainTextEdit::textChanged, this, [] { changed = true; });
    }
    okButton()->setGeometry(130, 352, 96, 28);
    cancelButton()->setGeometry(246, 352, 96, 28);
    updateCaptions();
}

QLabel* crule::addLabel(const char* name, int top) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(kLabelLeft, top, kLabelWidth, kRowHeight);
    return label;
}

DropDownList* crule::addList(const char* name, int top, const QStringList& entries,
                             const QString& defaultEntry) {
    auto* list = new DropDownList(this);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(kFieldLeft, top, kFieldWidth, kRowHeight);
    list->addItems(entries);
    list->selectEntry(defaultEntry);
    list->setOpenHandler([] { changed = true; });
    return list;
}

void crule::paintCaptions() {
    AdvancedFrame::setCaption(idLabel, kIdCaption.text());
    AdvancedFrame::setCaption(tarLabel, kTarCaption.text());
    AdvancedFrame::setCaption(tranLabel, kTranCaption.text());
    AdvancedFrame::setCaption(cmLabel, kCmCaption.text());
    AdvancedFrame::setCaption(hdLabel, kHdCaption.text());
    AdvancedFrame::setCaption(regexLabel, kRegexCaption.text());
    AdvancedFrame::setCaption(descLabel, kDescCaption.text());
}

void crule::setText(QPlainTextEdit* field, const QString& text) {
    if (field->toPlainText() != text) {
        field->setPlainText(text);
    }
}

void crule::setFields(const AttackRule& rule) {
    idText->setText(rule.id);
    // Only an id the service would drop may be changed.
    idText->setEnabled(!isServiceId(rule.id));
    selectChoice(tarCombo, rule.tar, positionTexts());
    selectChoice(tranCombo, rule.tran, transformTexts());
    selectChoice(cmCombo, rule.cm, compareTexts());
    selectChoice(hdCombo, rule.hd, handleTexts());
    setText(regexText, rule.regex);
    setText(descText, rule.desc);
}

void crule::confirm() {
    const QString regex = patternLine(regexText->toPlainText());
    // A pattern of blanks only would be read back as no rule at all.
    if (regex.trimmed().isEmpty()) {
        refuse(kRegexEmpty.text(), regexText);
        return;
    }
    const AttackRule rule{idText->text().trimmed(),
                          tarCombo->currentText(),
                          tranCombo->currentText(),
                          cmCombo->currentText(),
                          hdCombo->currentText(),
                          regex,
                          remarkLine(descText->toPlainText())};
    if (!acceptable(rule)) {
        return;
    }
    crulewin& list = console::window<crulewin>();
    if (baddnew) {
        list.addListItem(rule.id, rule.tar, rule.tran, rule.cm, rule.hd, rule.regex, rule.desc);
        Hourglass hourglass(this);
        if (!list.saveData()) {
            list.removeLastRow();
            return;
        }
    } else if (list.sitmX != nullptr) {
        const AttackRule before = crulewin::ruleOf(list.sitmX);
        crulewin::setRule(list.sitmX, rule);
        if (changed) {
            Hourglass hourglass(this);
            if (!list.saveData()) {
                crulewin::setRule(list.sitmX, before);
                return;
            }
            changed = false;
        }
    }
    unloadSelf();
}

bool crule::acceptable(const AttackRule& rule) {
    if (!fitsCodePage(rule.regex, regexText) || !fitsCodePage(rule.desc, descText)) {
        return false;
    }
    // The service compiles the pattern of a regular-expression compare only.
    const QString compare = textToCode(rule.cm);
    if (compare == QLatin1String("regex") || compare == QLatin1String("!regex")) {
        if (const QString error = patternError(rule.regex); !error.isEmpty()) {
            refuse(patternErrorMessage(error), regexText);
            return false;
        }
    }
    if (!isServiceId(rule.id)) {
        refuse(badIdMessage(), idText);
        return false;
    }
    return true;
}

void crule::unloadSelf() {
    unload<crule>();
}

} // namespace console
