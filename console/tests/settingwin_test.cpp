#include "console/editors/blistwin.h"
#include "console/shell/flashwin.h"
#include "console/shell/mainwin.h"
#include "console/shell/module.h"
#include "console/shell/settingwin.h"
#include "console/shell/tray.h"
#include "console/shell/windows.h"
#include "console/tests/support/elided_texts.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/program_folder.h"
#include "platform/svc/service_manager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using console::MessageAnswer;
using console::settingwin;
using console::testing::MessageRecorder;
using console::testing::ProgramFolder;

namespace {

// Every key the window handles at its default, except automatic update off.
const QByteArray kDefaults =
    "[setting]\r\nrun_mod=2\r\nfilt_http_port=80\r\nfilt_https_port=443\r\n"
    "max_logfile_size=100\r\nmax_logfile_store_time=10\r\n"
    "auto_update_report=0\r\nui_lan=0\r\n";

const QString kRestartQuestion =
    QStringLiteral("Configuration changed, Restart take effect, Click to Restart the Service.");
const QString kDisableQuestion = QStringLiteral("Click to Disable Ostrum.");
const QString kSaved = QStringLiteral("Save Successfully!");

struct Expected {
    const char* control; // empty: the window's title
    const char* texts[3];
    bool toolTip;
};

const Expected kCaptions[] = {
    {"", {"Ostrum Console - Setting", "Ostrum控制台 - 参数配置", "Ostrum控制臺 - 參數配置"}, false},
    {"statelabel", {"State", "当前状态", "當前狀態"}, false},
    {"historylabel", {"History", "查看历史", "查看歷史"}, false},
    {"settinglabel", {"Settings", "参数配置", "參數配置"}, false},
    {"advlabel", {"Advanced", "高级配置", "高級配置"}, false},
    {"proinfolabel", {"About", "产品信息", "產品信息"}, false},
    {"restorelabel", {"Restore", "恢复默认", "重設"}, false},
    {"applyLabel", {"Apply", "应用", "應用"}, false},
    {"advsetlabel", {"Advanced Settings", "高级设置", "高級設置"}, false},
    {"runmodframe", {"Protection Model", "保护模式", "保護模式"}, false},
    {"runmod1", {"Intelligent Mode", "智能模式", "智能模式"}, false},
    {"runmod2", {"Intrusion Prevention Model", "入侵防范模式", "入侵防范模式"}, false},
    {"runmod2", {"Detect and Prevent Attacks", "检测并拦截攻击", "檢測并攔截攻擊"}, true},
    {"runmod3", {"Bypass Mode", "旁路模式", "旁路模式"}, false},
    {"runmod3",
     {"Only Detect and Record Attacks, not to Intercept Attacks", "仅检测和记录攻击而不拦截",
      "僅檢測和記錄攻擊而不攔截"},
     true},
    {"runmod4", {"Disable Protection", "禁用保护", "禁用保護"}, false},
    {"runmod4", {"Protection Will Be Off", "保护将被停止", "保護將被停止"}, true},
    {"bcframe", {"Basic Settings", "基本配置", "基本配置"}, false},
    {"httpportslabel", {"http ports:", "http 端口:", "http 端口:"}, false},
    {"httpportstip",
     {"(To add more Ports, Use \"|\" as Separator)", "(添加更多端口,使用 \"|\"作为分隔符)",
      "(添加更多端口,使用 \"|\"作為分割符)"},
     false},
    {"lanlabel", {"Lanauage:", "Lanauage:", "Lanauage:"}, false},
    {"httpsportslabel", {"https ports:", "https 端口:", "https 端口:"}, false},
    {"luframe", {"Logs Storage", "日志存贮", "日誌存儲"}, false},
    {"logsizelabel", {"Max Size of a Log:", "日志文件最大尺寸:", "日志文件最大尺寸:"}, false},
    {"sizeunitlabel", {"(Unit:MB)", "(单位:MB)", "(單位:MB)"}, false},
    {"logstimelabel",
     {"Max Time of Log Storage:", "日志存储最长时间:", "日誌存儲最長時間:"},
     false},
    {"stimeunitlabel", {"(Unit:Day)", "(单位:天)", "(單位:day)"}, false},
    {"autoupdatecheck",
     {"Auto-update and report attacks", "自动升级并上报攻击", "自動升級并上報攻擊"},
     false},
};

settingwin& load() {
    return console::window<settingwin>();
}

template <class W> W* control(const char* name) {
    W* w = load().findChild<W*>(QString::fromLatin1(name));
    if (w == nullptr) {
        qWarning("no control %s", name);
    }
    return w;
}

void clickLabel(const char* name) {
    QTest::mouseClick(control<QLabel>(name), Qt::LeftButton);
}

QString setting(const char* key) {
    return console::readSetting(QString::fromLatin1(key), QStringLiteral("<missing>"));
}

platform::svc::StartMode startMode() {
    platform::svc::ServiceConfig config;
    if (platform::svc::openServiceManager()->queryConfig("ostrum", config) != 0) {
        qWarning("no service");
    }
    return config.startMode;
}

pid_t servicePid() {
    pid_t pid = 0;
    (void)platform::svc::openServiceManager()->queryProcessId("ostrum", pid);
    return pid;
}

} // namespace

class SettingWinTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        console::module().uiLanguage = 0;
        console::setServiceWaitForTest(0);
    }

    void cleanup() {
        console::unload<settingwin>();
        console::unload<console::mainwin>();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void loadShowsTheStoredValuesAndStoresTheLanguage() {
        ProgramFolder folder;
        folder.write(QStringLiteral("ostrum.cfg"),
                     "[setting]\r\nrun_mod=1\r\nfilt_http_port=80|8080\r\nmax_logfile_size=abc\r\n"
                     "max_logfile_store_time= 1.5 \r\nauto_update_report=yes\r\nui_lan=-1\r\n");
        console::module().uiLanguage = 2;
        load();
        QVERIFY(control<QRadioButton>("runmod2")->isChecked());
        QCOMPARE(control<QLineEdit>("httpportstext")->text(), QStringLiteral("80|8080"));
        QCOMPARE(control<QLineEdit>("httpsportstext")->text(), QStringLiteral("443"));
        QCOMPARE(control<QLineEdit>("logsizetext")->text(), QStringLiteral("100"));
        QCOMPARE(control<QLineEdit>("logstimetext")->text(), QStringLiteral("1.5"));
        QVERIFY(control<QCheckBox>("autoupdatecheck")->isChecked());
        QCOMPARE(control<QComboBox>("lansel")->currentIndex(), 2);
        QCOMPARE(control<QComboBox>("lansel")->itemText(1), QStringLiteral("简体中文"));
        // The language derived at start-up is stored by the load.
        QCOMPARE(setting("ui_lan"), QStringLiteral("2"));
    }

    void anUnknownModeSelectsNoneAndIsWrittenEmpty() {
        ProgramFolder folder;
        folder.write(QStringLiteral("ostrum.cfg"),
                     QByteArray(kDefaults).replace("run_mod=2", "run_mod=7"));
        QVERIFY(folder.installService());
        load();
        for (const char* option : {"runmod1", "runmod2", "runmod3", "runmod4"}) {
            QVERIFY(!control<QRadioButton>(option)->isChecked());
        }
        MessageRecorder messages;
        messages.answerNext(MessageAnswer::No);
        clickLabel("applyLabel");
        QCOMPARE(setting("run_mod"), QString());
        QCOMPARE(messages.texts(), (QStringList{kRestartQuestion, kSaved}));
    }

    void applyWritesOnlyWhatChanged() {
        ProgramFolder folder;
        folder.write(QStringLiteral("ostrum.cfg"), kDefaults);
        QVERIFY(folder.installService());
        QVERIFY(platform::svc::openServiceManager()->changeStartMode(
                    "ostrum", platform::svc::StartMode::Disabled) == 0);
        load();
        // Another program's change after the load is kept for unchanged controls.
        console::writeSetting(QStringLiteral("filt_http_port"), QStringLiteral("8080"));
        const QByteArray before = folder.read(QStringLiteral("ostrum.cfg"));
        MessageRecorder messages;
        clickLabel("applyLabel");
        QCOMPARE(folder.read(QStringLiteral("ostrum.cfg")), before);
        QCOMPARE(messages.texts(), QStringList{kSaved});
        QCOMPARE(messages.messages()[0].title, QStringLiteral("Ostrum Console"));
        QCOMPARE(messages.messages()[0].buttons, console::MessageButtons::Ok);

        // Automatic update alone: written, no restart offered.
        messages.clear();
        control<QCheckBox>("autoupdatecheck")->setChecked(true);
        clickLabel("applyLabel");
        QCOMPARE(setting("auto_update_report"), QStringLiteral("1"));
        QCOMPARE(messages.texts(), QStringList{kSaved});

        // A size that is not a number stands for "100", the saved value.
        messages.clear();
        control<QLineEdit>("logsizetext")->setText(QStringLiteral("big"));
        clickLabel("applyLabel");
        QCOMPARE(messages.texts(), QStringList{kSaved});
        QCOMPARE(setting("max_logfile_size"), QStringLiteral("100"));

        // Mode 2 to 1: written, the start mode becomes Automatic whatever the answer.
        messages.clear();
        messages.answerNext(MessageAnswer::No);
        control<QRadioButton>("runmod2")->setChecked(true);
        control<QLineEdit>("logstimetext")->setText(QStringLiteral(" 30 "));
        clickLabel("applyLabel");
        QCOMPARE(setting("run_mod"), QStringLiteral("1"));
        QCOMPARE(setting("max_logfile_store_time"), QStringLiteral("30"));
        QCOMPARE(setting("filt_http_port"), QStringLiteral("8080"));
        QCOMPARE(startMode(), platform::svc::StartMode::Automatic);
        QCOMPARE(messages.texts(), (QStringList{kRestartQuestion, kSaved}));
        QCOMPARE(messages.messages()[0].buttons, console::MessageButtons::YesNo);
        QCOMPARE(messages.messages()[0].title, QStringLiteral("Ostrum Console"));
        QVERIFY(console::module().serviceStopped);
    }

    void disablingWithAPortChangeAnsweredNoThenYes() {
        ProgramFolder folder;
        folder.write(QStringLiteral("ostrum.cfg"), kDefaults);
        QVERIFY(folder.installService());
        load();
        MessageRecorder messages;
        messages.answerNext(MessageAnswer::No);
        control<QRadioButton>("runmod4")->setChecked(true);
        control<QLineEdit>("httpportstext")->setText(QStringLiteral(" 81|82 "));
        clickLabel("applyLabel");
        QCOMPARE(setting("filt_http_port"), QStringLiteral("81|82"));
        QCOMPARE(setting("run_mod"), QStringLiteral("2"));
        QVERIFY(control<QRadioButton>("runmod3")->isChecked());
        QCOMPARE(messages.texts(), (QStringList{kDisableQuestion, kSaved}));
        QCOMPARE(startMode(), platform::svc::StartMode::Automatic);

        messages.clear();
        control<QRadioButton>("runmod4")->setChecked(true);
        clickLabel("applyLabel");
        QCOMPARE(setting("run_mod"), QStringLiteral("3"));
        QCOMPARE(startMode(), platform::svc::StartMode::Disabled);
        QVERIFY(control<QRadioButton>("runmod4")->isChecked());
        QCOMPARE(messages.texts(), (QStringList{kDisableQuestion, kSaved}));

        // Still disabled, another key changes: no restart offer, the start mode stays.
        messages.clear();
        control<QLineEdit>("httpsportstext")->setText(QStringLiteral("8443"));
        clickLabel("applyLabel");
        QCOMPARE(setting("filt_https_port"), QStringLiteral("8443"));
        QCOMPARE(messages.texts(), QStringList{kSaved});
        QCOMPARE(startMode(), platform::svc::StartMode::Disabled);
    }

    void restoreThenApply() {
        ProgramFolder folder;
        folder.write(QStringLiteral("ostrum.cfg"), kDefaults);
        load();
        control<QRadioButton>("runmod1")->setChecked(true);
        control<QLineEdit>("httpportstext")->setText(QStringLiteral("8000"));
        control<QLineEdit>("logsizetext")->setText(QStringLiteral("5"));
        const QByteArray before = folder.read(QStringLiteral("ostrum.cfg"));
        MessageRecorder messages;
        clickLabel("restorelabel");
        QVERIFY(messages.messages().isEmpty());
        QCOMPARE(folder.read(QStringLiteral("ostrum.cfg")), before);
        QVERIFY(control<QRadioButton>("runmod3")->isChecked());
        QCOMPARE(control<QLineEdit>("httpportstext")->text(), QStringLiteral("80"));
        QCOMPARE(control<QLineEdit>("httpsportstext")->text(), QStringLiteral("443"));
        QCOMPARE(control<QLineEdit>("logsizetext")->text(), QStringLiteral("100"));
        QCOMPARE(control<QLineEdit>("logstimetext")->text(), QStringLiteral("10"));
        QVERIFY(control<QCheckBox>("autoupdatecheck")->isChecked());

        clickLabel("applyLabel");
        QCOMPARE(folder.read(QStringLiteral("ostrum.cfg")),
                 QByteArray(before).replace("auto_update_report=0", "auto_update_report=1"));
        QCOMPARE(messages.texts(), QStringList{kSaved});
    }

    void restartAnsweredYesRestartsTheService() {
        ProgramFolder folder;
        folder.write(QStringLiteral("ostrum.cfg"), kDefaults);
        QVERIFY(folder.installService());
        QCOMPARE(folder.svcctl({QStringLiteral("start")}).isEmpty(), false);
        QTRY_VERIFY(!console::isServiceStopped(console::kServiceName));
        const pid_t before = servicePid();
        console::setServiceWaitForTest(3000);
        console::module().uiLanguage = 1;
        load();
        MessageRecorder messages;
        control<QLineEdit>("httpsportstext")->setText(QStringLiteral("444"));
        clickLabel("applyLabel");
        QCOMPARE(messages.texts(),
                 (QStringList{QStringLiteral("配置参数发生改变,重启方可生效,点击重启服务."),
                              QStringLiteral("保存成功!")}));
        QCOMPARE(messages.messages()[0].title, QStringLiteral("Ostrum Console"));
        QCOMPARE(messages.messages()[1].title, QStringLiteral("Ostrum 控制台"));
        QTRY_VERIFY(!console::isServiceStopped(console::kServiceName));
        QVERIFY(servicePid() != before);
        QVERIFY(!console::module().serviceStopped);
        QVERIFY(!console::isLoaded<console::flashwin>());
    }

    void aKeyThatCannotBeSavedIsReported() {
        ProgramFolder folder;
        folder.write(QStringLiteral("ostrum.cfg"), kDefaults);
        load();
        console::module().configPath = folder.file(QStringLiteral("gone/ostrum.cfg"));
        control<QLineEdit>("httpportstext")->setText(QStringLiteral("81"));
        MessageRecorder messages;
        clickLabel("applyLabel");
        QCOMPARE(messages.texts(), QStringList{QStringLiteral("Failed to Save the Settings!")});
        // Once the file can be written again the same Apply saves the key.
        console::module().configPath = folder.file(QStringLiteral("ostrum.cfg"));
        messages.clear();
        clickLabel("applyLabel");
        QCOMPARE(setting("filt_http_port"), QStringLiteral("81"));
        QCOMPARE(messages.texts(), (QStringList{kRestartQuestion, kSaved}));
    }

    void theLanguageChangesCaptionsTrayAndSetting() {
        ProgramFolder folder;
        folder.write(QStringLiteral("ostrum.cfg"), kDefaults);
        console::mainwin& status = console::window<console::mainwin>();
        load();
        control<QComboBox>("lansel")->setCurrentIndex(1);
        QCOMPARE(console::module().uiLanguage, 1);
        QCOMPARE(setting("ui_lan"), QStringLiteral("1"));
        QCOMPARE(control<QLabel>("applyLabel")->text(), QStringLiteral("应用"));
        QCOMPARE(load().windowTitle(), QStringLiteral("Ostrum控制台 - 参数配置"));
        QCOMPARE(console::trayStateForTest().tip, QStringLiteral("Ostrum 控制台"));
        QCOMPARE(console::trayStateForTest().menu, status.mainMenu(1));

        control<QComboBox>("lansel")->setCurrentIndex(2);
        QCOMPARE(console::trayStateForTest().tip, QStringLiteral("Ostrum 控制臺"));
        QCOMPARE(console::trayStateForTest().menu, status.mainMenu(2));
        QCOMPARE(control<QGroupBox>("runmodframe")->title(), QStringLiteral("保護模式"));
        QCOMPARE(setting("ui_lan"), QStringLiteral("2"));

        // The close box hides into the tray with the language's menu.
        console::setTrayAvailableForTest(true);
        console::traySetMenu(nullptr);
        load().show();
        QVERIFY(!load().close());
        QVERIFY(load().isHidden());
        QCOMPARE(console::trayStateForTest().menu, status.mainMenu(2));
        QCOMPARE(console::module().hiddenForm.data(), &load());
        console::setTrayAvailableForTest(std::nullopt);
    }

    void advancedSettingsOpenTheBlackListOverThisWindow() {
        ProgramFolder folder;
        console::module().advancedOwner = nullptr;
        QWidget* parent = nullptr;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (console::isLoaded<console::blistwin>() &&
                console::window<console::blistwin>().isVisible()) {
                poll.stop();
                parent = console::window<console::blistwin>().parentWidget();
                static_cast<QDialog&>(console::window<console::blistwin>()).reject();
            }
        });
        poll.start(10);
        clickLabel("advsetlabel");
        QCOMPARE(parent, &load());
        QVERIFY(console::module().advancedOwner.isNull());
        QVERIFY(!console::isLoaded<console::blistwin>());
    }

    void rendersInEachLanguage() {
        ProgramFolder folder;
        folder.write(QStringLiteral("ostrum.cfg"), kDefaults);
        settingwin& w = load();
        for (int language = 0; language < 3; ++language) {
            control<QComboBox>("lansel")->setCurrentIndex(language);
            QCOMPARE(console::module().uiLanguage, language);
            // A paint alone sets the captions.
            control<QLabel>("applyLabel")->clear();
            w.grab();
            QVERIFY(w.grab().save(console::testing::renderFolder() +
                                  QStringLiteral("settingwin-%1.png").arg(language)));
            QCOMPARE(console::testing::elidedTexts(w), QStringList());
            for (const Expected& e : kCaptions) {
                const QString name = QString::fromLatin1(e.control);
                QWidget* target = name.isEmpty() ? &w : w.findChild<QWidget*>(name);
                QVERIFY2(target != nullptr, e.control);
                const QString expected = QString::fromUtf8(e.texts[language]);
                QString shown = target->toolTip();
                if (!e.toolTip) {
                    if (name.isEmpty()) {
                        shown = w.windowTitle();
                    } else if (auto* label = qobject_cast<QLabel*>(target)) {
                        shown = label->text();
                    } else if (auto* button = qobject_cast<QAbstractButton*>(target)) {
                        shown = button->text();
                    } else if (auto* frame = qobject_cast<QGroupBox*>(target)) {
                        shown = frame->title();
                    }
                }
                QVERIFY2(shown == expected, e.control);
            }
        }
    }
};

QTEST_MAIN(SettingWinTest)
#include "settingwin_test.moc"
