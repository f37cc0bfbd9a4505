#include "console/editors/jrule.h"

#include "console/editors/drop_down_list.h"
#include "console/editors/field_checks.h"
#include "console/editors/hourglass.h"
#include "console/editors/jrulewin.h"
#include "console/editors/rule_id.h"
#include "console/shell/windows.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidgetItem>

namespace console {
namespace {

constexpr LanguageText kTitle{"Patch Rules Editor", "补丁规则编辑器", "補丁規則編輯器"};

struct Caption {
    const char* label;
    LanguageText text;
};

const Caption kCaptions[] = {
    {"idLabel", {"Rule ID:", "规则编号:", "規則編號:"}},
    {"hostLabel", {"Host:", "主机域名:", "主機域名:"}},
    {"portLabel", {"Port:", "主机端口:", "主機端口:"}},
    {"urlLabel", {"Url:", "请求URL:", "請求URL:"}},
    {"posLabel", {"Position:", "参数位置:", "參數位置:"}},
    {"paramLabel", {"Parameter:", "参数名称:", "參數名稱:"}},
    {"jtypeLabel", {"Type:", "参数类型:", "參數類型:"}},
    {"lenLabel", {"Length:", "长度范围:", "長度範圍:"}},
};

constexpr LanguageText kHostEmpty{"Host can not be empty!", "主机域名不能为空!",
                                  "主機域名不能為空!"};
constexpr LanguageText kPortEmpty{"Port can not be empty!", "端口不能为空!", "端口不能為空!"};
constexpr LanguageText kUrlEmpty{"URL can not be empty!", "URL不能为空!", "URL不能為空!"};
constexpr LanguageText kParamEmpty{"Param can not be empty!", "参数名不能为空!", "參數名不能為空!"};
constexpr LanguageText kTypeEmpty{"ParamType can not be empty!", "参数类型不能为空!",
                                  "參數類型不能為空!"};

// Layout in pixels: a label column, a field column, one row every 32.
constexpr int kLabelLeft = 16;
constexpr int kLabelWidth = 100;
constexpr int kFieldLeft = 122;
constexpr int kFieldWidth = 270;
constexpr int kTop = 16;
constexpr int kRowStep = 32;
constexpr int kRowHeight = 24;

// Survives the dialog's unloads: a field change, or a drop-down opened,
// since the last OK in edit mode.
bool s_changed = false;

QString stored(const QLineEdit* field) {
    return oneLine(field->text()).trimmed();
}

} // namespace

jrule::jrule() : RecordDialog(kTitle) {
    setObjectName(QStringLiteral("jrule"));
    m_id = addField("idLabel", "idText", 0);
    m_id->setEnabled(false);
    m_host = addField("hostLabel", "hostText", 1);
    m_port = addField("portLabel", "portText", 2);
    m_url = addField("urlLabel", "urlText", 3);
    m_pos = addList("posLabel", "posCombo", 4);
    m_pos->addItems(positionTexts());
    m_pos->setCurrentIndex(0);
    m_param = addField("paramLabel", "paramText", 5);
    m_jtype = addList("jtypeLabel", "jtypeCombo", 6);
    if (isLoaded<jrulewin>()) {
        m_jtype->addItems(console::window<jrulewin>().jtypeDic.keys());
    }
    m_jtype->setCurrentIndex(-1);
    buildLengthRow(7);
    const int buttonsTop = kTop + 8 * kRowStep + 8;
    okButton()->setGeometry(kFieldLeft, buttonsTop, 90, 28);
    cancelButton()->setGeometry(kFieldLeft + kFieldWidth - 90, buttonsTop, 90, 28);
    setFixedSize(kFieldLeft + kFieldWidth + kLabelLeft, buttonsTop + 28 + kTop);
}

QLineEdit* jrule::addField(const char* labelName, const char* fieldName, int row) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(labelName));
    label->setGeometry(kLabelLeft, kTop + row * kRowStep, kLabelWidth, kRowHeight);
    auto* field = new QLineEdit(this);
    field->setObjectName(QString::fromLatin1(fieldName));
    field->setGeometry(kFieldLeft, kTop + row * kRowStep, kFieldWidth, kRowHeight);
    connect(field, &QLineEdit::textChanged, this, [] { s_changed = true; });
    return field;
}

DropDownList* jrule::addList(const char* labelName, const char* listName, int row) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(labelName));
    label->setGeometry(kLabelLeft, kTop + row * kRowStep, kLabelWidth, kRowHeight);
    auto* list = new DropDownList(this);
    list->setObjectName(QString::fromLatin1(listName));
    list->setGeometry(kFieldLeft, kTop + row * kRowStep, kFieldWidth, kRowHeight);
    list->setOpenHandler([] { s_changed = true; });
    return list;
}

void jrule::buildLengthRow(int row) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("lenLabel"));
    label->setGeometry(kLabelLeft, kTop + row * kRowStep, kLabelWidth, kRowHeight);
    const int width = (kFieldWidth - 20) / 2;
    m_minLen = new QLineEdit(this);
    m_minLen->setObjectName(QStringLiteral("minLenText"));
    m_minLen->setGeometry(kFieldLeft, kTop + row * kRowStep, width, kRowHeight);
    auto* dash = new QLabel(QStringLiteral("-"), this);
    dash->setAlignment(Qt::AlignCenter);
    dash->setGeometry(kFieldLeft + width, kTop + row * kRowStep, 20, kRowHeight);
    m_maxLen = new QLineEdit(this);
    m_maxLen->setObjectName(QStringLiteral("maxLenText"));
    m_maxLen->setGeometry(kFieldLeft + width + 20, kTop + row * kRowStep, width, kRowHeight);
    for (QLineEdit* field : {m_minLen, m_maxLen}) {
        connect(field, &QLineEdit::textChanged, this, [] { s_changed = true; });
    }
}

void jrule::paintCaptions() {
    for (const Caption& caption : kCaptions) {
        if (auto* label = findChild<QLabel*>(QString::fromLatin1(caption.label))) {
            AdvancedFrame::setCaption(label, caption.text.text());
        }
    }
}

void jrule::fill(const PatchRule& rule, bool chooseType) {
    m_id->setText(rule.id);
    // Only an id the service would not enforce may be changed.
    m_id->setEnabled(!isServiceId(rule.id));
    m_pos->selectEntry(rule.pos);
    m_host->setText(rule.host);
    m_port->setText(rule.port);
    m_url->setText(rule.url);
    m_param->setText(rule.param);
    if (chooseType) {
        // The list's own spelling wins; a type that differs only in case is taken next.
        int index = m_jtype->findText(rule.jtype, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index < 0) {
            index = m_jtype->findText(rule.jtype, Qt::MatchFixedString);
        }
        m_jtype->setCurrentIndex(index);
    }
    m_minLen->setText(rule.minlen);
    m_maxLen->setText(rule.maxlen);
}

bool jrule::checkedRule(PatchRule& rule) {
    rule.id = m_id->text().trimmed();
    rule.host = stored(m_host);
    rule.port = stored(m_port);
    rule.url = stored(m_url);
    rule.param = stored(m_param);
    rule.jtype = m_jtype->currentText();
    const struct {
        const QString& value;
        QWidget* field;
        const LanguageText& message;
    } checks[] = {
        {rule.host, m_host, kHostEmpty},   {rule.port, m_port, kPortEmpty},
        {rule.url, m_url, kUrlEmpty},      {rule.param, m_param, kParamEmpty},
        {rule.jtype, m_jtype, kTypeEmpty},
    };
    for (const auto& check : checks) {
        if (check.value.isEmpty()) {
            refuse(check.message.text(), check.field);
            return false;
        }
    }
    for (QLineEdit* field : {m_host, m_port, m_url, m_param}) {
        if (!fitsCodePage(field->text(), field)) {
            return false;
        }
    }
    if (!isServiceId(rule.id)) {
        refuse(badIdMessage(), m_id);
        return false;
    }
    rule.pos = m_pos->currentText();
    rule.minlen = lengthText(m_minLen->text());
    rule.maxlen = lengthText(m_maxLen->text());
    m_minLen->setText(rule.minlen);
    m_maxLen->setText(rule.maxlen);
    return true;
}

void jrule::confirm() {
    PatchRule rule;
    if (!checkedRule(rule) || !store(rule)) {
        return;
    }
    unloadSelf();
}

bool jrule::store(const PatchRule& rule) {
    if (!isLoaded<jrulewin>()) {
        return true;
    }
    jrulewin& list = console::window<jrulewin>();
    if (baddnew) {
        list.addListItem(rule.id, rule.host, rule.port, rule.url, rule.pos, rule.param, rule.jtype,
                         rule.minlen, rule.maxlen);
        const Hourglass hourglass(&list);
        if (!list.saveData()) {
            list.removeLastRow();
            return false;
        }
        return true;
    }
    if (list.sitmX == nullptr) {
        return true;
    }
    const PatchRule before = jrulewin::ruleOf(list.sitmX);
    jrulewin::setRule(list.sitmX, rule);
    if (s_changed) {
        const Hourglass hourglass(&list);
        if (!list.saveData()) {
            jrulewin::setRule(list.sitmX, before);
            return false;
        }
        s_changed = false;
    }
    return true;
}

void jrule::unloadSelf() {
    unload<jrule>();
}

} // namespace console
