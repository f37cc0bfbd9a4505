#include "console/shell/language.h"
#include "console/shell/module.h"
#include "console/shell/single_instance.h"
#include "console/tests/support/program_folder.h"

#include <QtTest>

using namespace console;

class ModuleTest : public QObject {
    Q_OBJECT
private slots:
    void languageFromSettingAndLocale();
    void settingsKeepEmptyValuesApart();
    void settingsCrossTheCodePage();
    void logRecordsSkipHeaderLines();
    void memoryTextOfMissingAndOwnProcess();
    void serviceOperationsOnAMissingService();
    void secondInstanceOfAFolderIsRefused();
};

void ModuleTest::languageFromSettingAndLocale() {
    QCOMPARE(languageFromSetting("-1", "zh_CN.UTF-8"), 1);
    QCOMPARE(languageFromSetting("-1", "zh_SG"), 1);
    QCOMPARE(languageFromSetting("-1", "zh_TW.UTF-8"), 2);
    QCOMPARE(languageFromSetting("-1", "zh_HK"), 2);
    QCOMPARE(languageFromSetting("-1", "ja_JP.UTF-8"), 0);
    QCOMPARE(languageFromSetting("-1", "C"), 0);
    QCOMPARE(languageFromSetting("", "zh_CN"), 1); // not a number: the locale's
    QCOMPARE(languageFromSetting("abc", "zh_TW"), 2);
    QCOMPARE(languageFromSetting("1", "en_US"), 1); // a stored choice wins
    QCOMPARE(languageFromSetting(" 2 ", "en_US"), 2);
    QCOMPARE(languageFromSetting("7", "zh_CN"), 7); // kept as read...
    module().uiLanguage = 7;
    QCOMPARE(languageTitle(), QStringLiteral("Ostrum Console")); // ...and read as English
    module().uiLanguage = 2;
    QCOMPARE(languageTitle(), QStringLiteral("Ostrum 控制臺"));
    module().uiLanguage = 0;
}

void ModuleTest::settingsKeepEmptyValuesApart() {
    testing::ProgramFolder folder;
    folder.write("ostrum.cfg", "[setting]\r\nrun_mod=\r\nui_lan=1\r\n");
    QCOMPARE(readSetting("run_mod", "2"), QString());
    QCOMPARE(readSetting("RUN_MOD", "2"), QString());
    QCOMPARE(readSetting("self_learn", "2"), QStringLiteral("2"));
    writeSetting("self_learn", "1");
    QCOMPARE(folder.read("ostrum.cfg"),
             QByteArray("[setting]\r\nrun_mod=\r\nui_lan=1\r\nself_learn=1\r\n"));
    QFile::remove(folder.file("ostrum.cfg"));
    QCOMPARE(readSetting("ui_lan", "-1"), QStringLiteral("-1"));
    writeSetting("ui_lan", "0");
    QCOMPARE(readSetting("ui_lan", "-1"), QStringLiteral("0"));
}

void ModuleTest::settingsCrossTheCodePage() {
    testing::ProgramFolder folder;
    writeSetting("note", QStringLiteral("中文"));
    QVERIFY(folder.read("ostrum.cfg").contains("note=\xD6\xD0\xCE\xC4"));
    QCOMPARE(readSetting("note", ""), QStringLiteral("中文"));
    writeSetting("long", QString(300, QLatin1Char('x')));
    QCOMPARE(readSetting("long", "").size(), 255);
}

void ModuleTest::logRecordsSkipHeaderLines() {
    testing::ProgramFolder folder;
    QCOMPARE(countLogRecords("missing.log"), 0);
    folder.write("log/header.log", "#Software: x\r\n#Date: y\r\n\r\n");
    QCOMPARE(countLogRecords("header.log"), 1);
    folder.write("log/three.log", "#h\r\na\r\nb\r\nc");
    QCOMPARE(countLogRecords("three.log"), 3);
    folder.write("log/empty.log", "");
    QCOMPARE(countLogRecords("empty.log"), 0);
}

void ModuleTest::memoryTextOfMissingAndOwnProcess() {
    QCOMPARE(kilobytesText(12345344 / 1024.0), QStringLiteral("12,056"));
    QCOMPARE(kilobytesText(1536 / 1024.0), QStringLiteral("1.5"));
    QCOMPARE(kilobytesText(0.5), QStringLiteral(".5"));
    QCOMPARE(kilobytesText(1234567.25), QStringLiteral("1,234,567.3"));
    QCOMPARE(kilobytesText(0), QString());
    QCOMPARE(processMemoryText("no-such-program"), QStringLiteral("0 K"));
    QCOMPARE(processIdOf("no-such-program"), 0);
    const QString own = processMemoryText(QString());
    QVERIFY2(QRegularExpression("^[1-9][0-9]{0,2}(,[0-9]{3})* K$").match(own).hasMatch(),
             qPrintable(own));
}

void ModuleTest::serviceOperationsOnAMissingService() {
    testing::ProgramFolder folder;
    QVERIFY(!isServiceInstalled(kServiceName));
    QVERIFY(isServiceStopped(kServiceName));
    stopServiceAndWait(kServiceName);
    startServiceAndWait(kServiceName);
    QVERIFY(!isServiceInstalled(kServiceName));
}

void ModuleTest::secondInstanceOfAFolderIsRefused() {
    testing::ProgramFolder one;
    testing::ProgramFolder two;
    QVERIFY(claimSingleInstance(one.path()));
    QVERIFY(!claimSingleInstance(one.path()));
    QVERIFY(claimSingleInstance(two.path()));
}

QTEST_MAIN(ModuleTest)
#include "module_test.moc"
