#include "console/editors/cl.h"
#include "console/editors/clwin.h"
#include "console/shell/module.h"
#include "console/shell/windows.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/modal.h"
#include "console/tests/support/program_folder.h"
#include "service/http_filter.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <arpa/inet.h>
#include <functional>

using namespace console;
using console::testing::child;
using console::testing::crlf;
using console::testing::menu;
using console::testing::MessageRecorder;
using console::testing::ProgramFolder;
using console::testing::selectOnly;
using console::testing::whenModal;

namespace {

QTreeWidget* listOf(clwin& w) {
    return child<QTreeWidget>(w, "ipList");
}

void selectRow(clwin& w, int row) {
    selectOnly(listOf(w), row);
}

QStringList rowTexts(clwin& w, int row) {
    QTreeWidgetItem* item = listOf(w)->topLevelItem(row);
    return {item->text(0), item->text(1), item->text(2)};
}

struct Typed {
    QString max, remark, ranges; // a null text keeps the field
};

void type(cl& d, const Typed& t) {
    if (!t.max.isNull()) {
        child<QLineEdit>(d, "cmText")->setText(t.max);
    }
    if (!t.remark.isNull()) {
        child<QLineEdit>(d, "psText")->setText(t.remark);
    }
    if (!t.ranges.isNull()) {
        child<QPlainTextEdit>(d, "ipsText")->setPlainText(t.ranges);
    }
}

void clickButton(QWidget& dialog, const char* name) {
    QTest::mouseClick(child<QPushButton>(dialog, name), Qt::LeftButton);
}

void addLimit(clwin& w, const Typed& t) {
    whenModal<cl>([t](cl& d) {
        type(d, t);
        clickButton(d, "okBtn");
    });
    menu(w, "addBtn");
}

void editLimit(clwin& w, int row, const Typed& t) {
    selectRow(w, row);
    whenModal<cl>([t](cl& d) {
        type(d, t);
        clickButton(d, "okBtn");
    });
    menu(w, "editBtn");
}

// What OK answers for the typed fields: the refusal texts, none when it took them.
QStringList refusals(clwin& w, const Typed& t, MessageRecorder& recorder) {
    recorder.clear();
    whenModal<cl>([t](cl& d) {
        type(d, t);
        clickButton(d, "okBtn");
        if (d.isVisible()) {
            clickButton(d, "cancelBtn");
        }
    });
    menu(w, "addBtn");
    return recorder.texts();
}

// The address in host byte order, as the service holds it.
quint32 address(const QString& dotted) {
    in_addr converted{};
    if (inet_pton(AF_INET, dotted.toLatin1().constData(), &converted) != 1) {
        return 0;
    }
    return ntohl(converted.s_addr);
}

void closeWindows() {
    unload<cl>();
    unload<clwin>();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class ClTest : public QObject {
    Q_OBJECT

private slots:
    void init() { module().uiLanguage = 0; }
    void cleanup() { closeWindows(); }

    void editsReachTheServiceExactly();
    void readingAndWritingTheLines();
    void maximumAndRangesChecks();
    void remarksTheServiceReadsWhole();
    void deleteAsksFirst();
    void unwritableFileKeepsTheList();
    void rendersInThreeLanguages();
};

void ClTest::editsReachTheServiceExactly() {
    ProgramFolder folder;
    folder.write("iprange.dat",
                 crlf({"# limits", "CONNLIMIT  100  192.0.2.0-192.0.2.255  \"partners\"",
                       "CONNLIMIT  5  10.0.0.1-10.0.0.9,10.0.1.1-10.0.1.9  \"Office\"",
                       "CONNLIMIT  7  10.7.0.0-10.7.0.255  \"gone\""}));
    MessageRecorder recorder;
    clwin& w = window<clwin>();
    QCOMPARE(rowTexts(w, 1), (QStringList{"5", "10.0.0.1-10.0.0.9,10.0.1.1-10.0.1.9", "Office"}));

    QString opened;
    selectRow(w, 1);
    whenModal<cl>([&opened](cl& d) {
        opened = child<QPlainTextEdit>(d, "ipsText")->toPlainText();
        type(d, {"250", QString(), QString()});
        clickButton(d, "okBtn");
    });
    menu(w, "editBtn");
    QCOMPARE(opened, QString("10.0.0.1-10.0.0.9\n10.0.1.1-10.0.1.9"));
    addLimit(w, {"30", "  lab  ", "172.16.0.1 - 172.16.0.50\n172.16.1.1-172.16.1.2"});
    recorder.answerNext(MessageAnswer::Yes);
    selectRow(w, 2);
    menu(w, "delBtn");

    QCOMPARE(folder.read("iprange.dat"),
             crlf({"# limits", "CONNLIMIT  100  192.0.2.0-192.0.2.255  \"partners\"",
                   "CONNLIMIT  250  10.0.0.1-10.0.0.9,10.0.1.1-10.0.1.9  \"Office\"",
                   "CONNLIMIT  30  172.16.0.1-172.16.0.50,172.16.1.1-172.16.1.2  \"lab\""}));

    QDir::setCurrent(folder.path());
    ostrum::HttpFilter filter;
    QCOMPARE(filter.loadIpRange(), 0);
    const auto& ranges = filter.rules().ipRanges();
    QCOMPARE(int(ranges.size()), listOf(w)->topLevelItemCount());
    for (int i = 0; i < int(ranges.size()); ++i) {
        const QStringList row = rowTexts(w, i);
        QCOMPARE(ranges[i].maxconn, row[0].toUInt());
        QCOMPARE(QString::fromStdString(ranges[i].name), "\"" + row[2] + "\"");
        const QStringList pairs = row[1].split(',');
        QCOMPARE(int(ranges[i].segments.size()), int(pairs.size()));
        for (int p = 0; p < pairs.size(); ++p) {
            QCOMPARE(ranges[i].segments[p]._lsip, address(pairs[p].section('-', 0, 0)));
            QCOMPARE(ranges[i].segments[p]._leip, address(pairs[p].section('-', 1, 1)));
        }
    }
}

void ClTest::readingAndWritingTheLines() {
    ProgramFolder folder;
    folder.write(
        "iprange.dat",
        crlf({"# comment kept", "  connlimit  9  1.1.1.1-1.1.1.2  \"lower\"  tail",
              "CONNLIMIT  8  2.2.2.2-2.2.2.3  \"\"", "CONNLIMIT  8  2.2.2.2-2.2.2.3  no quotes",
              "CONNLIMIT \"", "CONNLIMIT  12 3.3.3.3-3.3.3.4, 4.4.4.4-4.4.4.5  \"split\"",
              "CONNLIMIT  6  5.5.5.5-5.5.5.6  \"Head Office\""}) +
            QByteArray(100000, 'x') + "\r\nCONNLIMIT\t\x01\xff\t\"\r\n");
    clwin& w = window<clwin>();
    QCOMPARE(listOf(w)->topLevelItemCount(), 4);
    QCOMPARE(rowTexts(w, 0), (QStringList{"9", "1.1.1.1-1.1.1.2", "lower"}));
    QCOMPARE(rowTexts(w, 1), (QStringList{"8", "2.2.2.2-2.2.2.3", ""}));
    // The last run of blanks before the ranges decides: the rest goes to the maximum.
    QCOMPARE(rowTexts(w, 2), (QStringList{"12 3.3.3.3-3.3.3.4,", "4.4.4.4-4.4.4.5", "split"}));
    QCOMPARE(rowTexts(w, 3), (QStringList{"6", "5.5.5.5-5.5.5.6", "Head Office"}));

    // A save that changes nothing keeps every line as it was.
    const QByteArray before = folder.read("iprange.dat");
    MessageRecorder recorder;
    editLimit(w, 0, {});
    QCOMPARE(folder.read("iprange.dat"), before);

    // Empty lines between and after the ranges leave empty items.
    addLimit(w, {QString(), "gaps", "6.6.6.6-6.6.6.7\n\n7.7.7.7-7.7.7.8\n"});
    QCOMPARE(rowTexts(w, 4), (QStringList{"1000", "6.6.6.6-6.6.6.7,,7.7.7.7-7.7.7.8,", "gaps"}));
    // A new limit follows the file's last limit line.
    QVERIFY(folder.read("iprange.dat")
                .contains("\"Head Office\"\r\nCONNLIMIT  1000  6.6.6.6-6.6.6.7,,7.7.7.7-7.7.7.8,  "
                          "\"gaps\"\r\nxxx"));
    QVERIFY(recorder.messages().isEmpty());
}

void ClTest::maximumAndRangesChecks() {
    ProgramFolder folder;
    QFile::remove(folder.file("iprange.dat"));
    MessageRecorder recorder;
    clwin& w = window<clwin>();
    QCOMPARE(listOf(w)->topLevelItemCount(), 0);
    QStringList defaults;
    whenModal<cl>([&defaults](cl& d) {
        defaults = {child<QLineEdit>(d, "cmText")->text(), child<QLineEdit>(d, "psText")->text(),
                    child<QPlainTextEdit>(d, "ipsText")->toPlainText()};
        clickButton(d, "cancelBtn");
    });
    menu(w, "addBtn");
    QCOMPARE(defaults, (QStringList{"1000", "", ""}));
    QVERIFY(!QFile::exists(folder.file("iprange.dat")));

    const QString maxMessage = "Conn Max Must be a integer!";
    for (const char* max : {"0", "1.5", "-3", "abc", "", "4294967296", "1 2"}) {
        QCOMPARE(refusals(w, {QString::fromLatin1(max), "r", "1.1.1.1-1.1.1.2"}, recorder),
                 QStringList{maxMessage});
    }
    QCOMPARE(recorder.messages()[0].title, QString("Connection Limit Rules Editor"));
    QCOMPARE(refusals(w, {"250", "r", ""}, recorder), QStringList{"Ip range invalid!"});
    QCOMPARE(refusals(w, {"250", "r", "  \t "}, recorder), QStringList{"Ip range invalid!"});
    QCOMPARE(listOf(w)->topLevelItemCount(), 0);
    QCOMPARE(refusals(w, {" 4294967295 ", "r", "1.1.1.1-1.1.1.2"}, recorder), QStringList{});
    QCOMPARE(folder.read("iprange.dat"), crlf({"CONNLIMIT   4294967295   1.1.1.1-1.1.1.2  \"r\""}));

    module().uiLanguage = 1;
    QCOMPARE(refusals(w, {"x", "r", "1.1.1.1-1.1.1.2"}, recorder),
             QStringList{QString::fromUtf8("最大连接数必须为正整数!")});
    QCOMPARE(recorder.messages()[0].title, QString::fromUtf8("并发连接规则编辑器"));
}

void ClTest::remarksTheServiceReadsWhole() {
    ProgramFolder folder;
    folder.write("iprange.dat", QByteArray());
    MessageRecorder recorder;
    clwin& w = window<clwin>();
    QCOMPARE(refusals(w, {"5", "Head Office", "1.1.1.1-1.1.1.2"}, recorder),
             QStringList{"Remark can not contain blanks!"});
    // An empty remark is kept, and read back by the next load.
    QCOMPARE(refusals(w, {"5", "   ", "1.1.1.1-1.1.1.2"}, recorder), QStringList{});
    menu(w, "refreshBtn");
    QCOMPARE(rowTexts(w, 0), (QStringList{"5", "1.1.1.1-1.1.1.2", ""}));
    QDir::setCurrent(folder.path());
    ostrum::HttpFilter filter;
    QCOMPARE(filter.loadIpRange(), 0);
    QCOMPARE(int(filter.rules().ipRanges().size()), 1);
    QCOMPARE(int(filter.rules().ipRanges()[0].segments.size()), 1);
}

void ClTest::deleteAsksFirst() {
    ProgramFolder folder;
    folder.write("iprange.dat", crlf({"CONNLIMIT  5  10.0.0.1-10.0.0.9  \"Office\""}));
    const QByteArray before = folder.read("iprange.dat");
    MessageRecorder recorder;
    clwin& w = window<clwin>();
    menu(w, "delBtn");
    QVERIFY(recorder.messages().isEmpty());
    recorder.answerNext(MessageAnswer::No);
    selectRow(w, 0);
    menu(w, "delBtn");
    QCOMPARE(recorder.texts(), QStringList{"Click to Delete:\"Office(10.0.0.1-10.0.0.9)\"."});
    QCOMPARE(recorder.messages()[0].title, QString("Advanced Setting - Connection Limit"));
    QCOMPARE(folder.read("iprange.dat"), before);
    module().uiLanguage = 1;
    menu(w, "delBtn");
    QCOMPARE(recorder.texts()[1], QString::fromUtf8("点击删除:\"Office(10.0.0.1-10.0.0.9)\"."));
    QCOMPARE(recorder.messages()[1].title, QString::fromUtf8("高级设置 - 连接限制"));
    QCOMPARE(folder.read("iprange.dat"), QByteArray());
}

void ClTest::unwritableFileKeepsTheList() {
    ProgramFolder folder;
    folder.write("iprange.dat", crlf({"CONNLIMIT  5  10.0.0.1-10.0.0.9  \"Office\""}));
    MessageRecorder recorder;
    clwin& w = window<clwin>();
    // The file turns into a folder: no save can replace it.
    QFile::remove(folder.file("iprange.dat"));
    QVERIFY(QDir().mkpath(folder.file("iprange.dat")));
    QCOMPARE(refusals(w, {"9", "new", "1.1.1.1-1.1.1.2"}, recorder).size(), 1);
    QVERIFY(recorder.texts()[0].startsWith("Can not write the file: "));
    QCOMPARE(recorder.messages()[0].title, QString("Advanced Setting - Connection Limit"));
    QCOMPARE(listOf(w)->topLevelItemCount(), 1);
    selectRow(w, 0);
    whenModal<cl>([](cl& d) {
        type(d, {"77", QString(), QString()});
        clickButton(d, "okBtn");
        QVERIFY(d.isVisible());
        clickButton(d, "cancelBtn");
    });
    menu(w, "editBtn");
    QCOMPARE(rowTexts(w, 0)[0], QString("5"));
    recorder.answerNext(MessageAnswer::Yes);
    selectRow(w, 0);
    menu(w, "delBtn");
    QCOMPARE(listOf(w)->topLevelItemCount(), 1);
}

void ClTest::rendersInThreeLanguages() {
    ProgramFolder folder;
    const char* headers[3][3] = {{"Max Conn", "Ip Range", "Remark"},
                                 {"连接上限", "IP地址段", "备注"},
                                 {"連接上限", "IP地址段", "備註"}};
    const char* titles[3] = {"Advanced Setting - Connection Limit", "高级设置 - 连接限制",
                             "高級設置 - 連接限制"};
    const char* labels[3][5] = {{"Max Conn:", "Remark:", "Ip Range:", "OK", "Cancel"},
                                {"连接上限:", "备注信息:", "IP地址段:", "确认", "取消"},
                                {"連接上限:", "備註信息:", "IP地址段:", "確認", "取消"}};
    const char* dialogTitles[3] = {"Connection Limit Rules Editor", "并发连接规则编辑器",
                                   "幷發連接規則編輯器"};
    const char* names[5] = {"cmLabel", "psLabel", "ipsLabel", "okBtn", "cancelBtn"};
    for (int language = 0; language < 3; ++language) {
        module().uiLanguage = language;
        clwin& w = window<clwin>();
        // The columns are made in the language of the load, before any paint.
        QCOMPARE(listOf(w)->headerItem()->text(1), QString::fromUtf8(headers[language][1]));
        w.show();
        QVERIFY(w.grab().save(console::testing::renderFolder() +
                              QStringLiteral("clwin-%1.png").arg(language)));
        QCOMPARE(w.windowTitle(), QString::fromUtf8(titles[language]));
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(listOf(w)->headerItem()->text(c), QString::fromUtf8(headers[language][c]));
        }
        cl& d = window<cl>();
        d.show();
        QVERIFY(d.grab().save(console::testing::renderFolder() +
                              QStringLiteral("cl-%1.png").arg(language)));
        QCOMPARE(d.windowTitle(), QString::fromUtf8(dialogTitles[language]));
        for (int i = 0; i < 5; ++i) {
            QWidget* control = child<QWidget>(d, names[i]);
            const QString text = qobject_cast<QLabel*>(control)
                                     ? qobject_cast<QLabel*>(control)->text()
                                     : qobject_cast<QPushButton*>(control)->text();
            QCOMPARE(text, QString::fromUtf8(labels[language][i]));
        }
        closeWindows();
    }
}

QTEST_MAIN(ClTest)
#include "editor_cl_test.moc"
