// The window as a technician first meets it: every control where it belongs,
// the settings it remembers, the log window, the port list and the port.

#include "BoxCatcher.h"
#include "PtyPair.h"
#include "TestSettings.h"
#include "WindowProbe.h"
#include "session/portlist.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSettings>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolBar>
#include <QtTest>

namespace {

QStringList itemsOf(QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

// The message of the last log entry, without its timestamp and tab.
QString lastEntry(const ZorvikTestTool &window)
{
    const QString text = window.findChild<QTextEdit *>(QStringLiteral("textEdit"))->toPlainText();
    const int tab = text.lastIndexOf(QLatin1Char('\t'));
    return tab < 0 ? QString() : text.mid(tab + 1);
}

} // namespace

class AppTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void windowIsFixedWidthWithoutMenus();
    void controlsHaveTheirTexts_data();
    void controlsHaveTheirTexts();
    void comboListsInOrder_data();
    void comboListsInOrder();
    void startValuesAndEnabling();
    void sessionCopiesTheWidgets();
    void statusBarWelcomeAndStateTexts();

    void logEntryShape();
    void logKeepsAtMost5000Blocks();
    void logClearAndContextMenu();

    void settingsAreReadAtStart();
    void lastPortPreselectedOnlyWithFourCharacters();
    void refreshEntryRebuildsOnce();

    void openingMissingPortFails();
    void openingPtySetsLineAndCollectsBytes();

    void writeChecksKeepTheirCouplings();
    void valueSettersStoreValues();

private:
    BoxCatcher *boxes = nullptr;
};

void AppTest::initTestCase()
{
    isolateSettings();
    boxes = new BoxCatcher(this);
}

void AppTest::init()
{
    QFile::remove(settingsFilePath());
    boxes->clear();
}

void AppTest::windowIsFixedWidthWithoutMenus()
{
    ZorvikTestTool window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Tavrin远程设备测试工具"));
    QCOMPARE(window.size(), QSize(755, 858));
    QCOMPARE(window.minimumSize(), QSize(755, 600));
    QCOMPARE(window.maximumSize(), QSize(755, 1024));
    QVERIFY(!window.findChild<QMenuBar *>());
    QVERIFY(!window.findChild<QToolBar *>());
    QCOMPARE(window.metaObject()->className(), "ZorvikTestTool");

    // The four layout actions exist but are placed nowhere.
    for (const char *name : {"disconnect", "action", "connect", "action_2"}) {
        auto *action = window.findChild<QAction *>(QLatin1String(name));
        QVERIFY2(action, name);
        QVERIFY(action->associatedWidgets().isEmpty());
    }

    // 32 private slots in their order, with their parameter names.
    const QMetaObject *meta = window.metaObject();
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 32);
    QCOMPARE(meta->method(meta->methodOffset()).methodSignature(),
             QByteArray("_10msTimerCallback()"));
    QCOMPARE(meta->method(meta->methodOffset() + 14).methodSignature(),
             QByteArray("onSerialComNumChanged(int)"));
    QCOMPARE(meta->method(meta->methodOffset() + 19).parameterNames(), QList<QByteArray>{"Time"});
    QCOMPARE(meta->method(meta->methodOffset() + 31).methodSignature(),
             QByteArray("snLineChanged()"));
}

void AppTest::controlsHaveTheirTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");

    const struct
    {
        const char *name, *cls, *text;
    } rows[] = {
        {"comNum_2", "QLabel", "端口:"},
        {"Label_Braud", "QLabel", "波特率："},
        {"autoConnectButton", "QPushButton", "自动连接"},
        {"connectButton", "QPushButton", "连接设备"},
        {"disConnectButton", "QPushButton", "断开连接"},
        {"label_15", "QLabel", "站号："},
        {"label", "QLabel", "CSQ："},
        {"label_Temp", "QLabel", "0"},
        {"label_3", "QLabel", "开关状态："},
        {"label_4", "QLabel", "关"},
        {"pushButton_4", "QPushButton", "打开设备"},
        {"label_2", "QLabel", "服务器连接状态："},
        {"label_Humidy", "QLabel", "未连接"},
        {"label_16", "QLabel", "设备SN："},
        {"lineEdit", "QLineEdit", "点击右侧读取SN号"},
        {"checkBox_6", "QCheckBox", "SN绑定文件"},
        {"pushButton_5", "QPushButton", "打开SN绑定文件"},
        {"SNlineEdit", "QLineEdit", ""},
        {"readSNbutton", "QPushButton", "读取SN号"},
        {"writeSNbutton", "QPushButton", "写入SN号"},
        {"groupBox_3", "QGroupBox", "设备参数"},
        {"label_13", "QLabel", "站号："},
        {"label_11", "QLabel", "波特率："},
        {"label_18", "QLabel", "服务器协议："},
        {"label_27", "QLabel", "设备类型："},
        {"label_29", "QLabel", "上传间隔："},
        {"readButton", "QPushButton", "批量读取"},
        {"label_12", "QLabel", "服务器地址:"},
        {"label_14", "QLabel", "服务器端口："},
        {"label_26", "QLabel", "MQTT登录名："},
        {"label_28", "QLabel", "MQTT登录密钥："},
        {"textBrowser", "QTextBrowser", "等待读取"},
        {"textBrowser_5", "QTextBrowser", "等待读取"},
        {"textBrowser_2", "QTextBrowser", "等待读取"},
        {"textBrowser_6", "QTextBrowser", "等待读取"},
        {"groupBox_2", "QGroupBox", "修改参数"},
        {"checkBox", "QCheckBox", "站号："},
        {"checkBox_2", "QCheckBox", "波特率："},
        {"checkBox_7", "QCheckBox", "服务器协议："},
        {"checkBox_13", "QCheckBox", "设备类型："},
        {"checkBox_16", "QCheckBox", "上传间隔："},
        {"writeButton", "QPushButton", "批量写入"},
        {"checkBox_8", "QCheckBox", "SN"},
        {"checkBox_3", "QCheckBox", "服务器地址:"},
        {"checkBox_4", "QCheckBox", "服务器端口："},
        {"checkBox_14", "QCheckBox", "MQTT登录名："},
        {"checkBox_15", "QCheckBox", "MQTT登录密钥："},
        {"textEdit_2", "QTextEdit", "iot.tavrin.example.com"},
        {"textEdit_3", "QTextEdit", "3999"},
        {"textEdit_5", "QTextEdit", "admin"},
        {"textEdit_4", "QTextEdit", "velkr"},
        {"pushButton_3", "QPushButton", "打开继电器1"},
        {"pushButton_2", "QPushButton", "打开继电器2"},
        {"pushButton", "QPushButton", "打开继电器3"},
        {"groupBox", "QGroupBox", "日志窗口"},
        {"checkBox_5", "QCheckBox", "打开日志"},
        {"readButton_2", "QPushButton", "清除窗口"},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << QString::fromLatin1(row.name) << QString::fromLatin1(row.cls)
                                << QString::fromUtf8(row.text);
}

void AppTest::controlsHaveTheirTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, text);

    ZorvikTestTool window;
    QWidget *widget = window.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QString shown;
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        shown = button->text();
    else if (auto *label = qobject_cast<QLabel *>(widget))
        shown = label->text();
    else if (auto *line = qobject_cast<QLineEdit *>(widget))
        shown = line->text();
    else if (auto *edit = qobject_cast<QTextEdit *>(widget))
        shown = edit->toPlainText();
    else if (auto *group = qobject_cast<QGroupBox *>(widget))
        shown = group->title();
    QCOMPARE(shown, text);
}

void AppTest::comboListsInOrder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    const QStringList baudA{"9600", "115200", "1200", "2400", "4800", "19200", "57600"};
    const QStringList deviceTypesR{"空开-开关-RS485终端",
                                   "远程阀门（12V供电）",
                                   "保留",
                                   "远程遥控器（3键）",
                                   "普通插座",
                                   "机械手控制器（220V供电）",
                                   "电量检测插座",
                                   "3继电器控制主板",
                                   "4G透传RS485（1P空开外壳）"};
    QStringList deviceTypesW = deviceTypesR;
    deviceTypesW[0] = QStringLiteral("空开、开关、RS485终端");
    deviceTypesW[7] = QStringLiteral("3继电器远程控制主板");
    QTest::newRow("BraudRate_1") << "BraudRate_1" << baudA;
    QTest::newRow("braudRate_2") << "braudRate_2" << baudA;
    QTest::newRow("BraudRate_3") << "BraudRate_3" << QStringList{"9600", "115200", "2400", "4800"};
    QTest::newRow("BraudRate_5") << "BraudRate_5"
                                 << QStringList{"TCP_透传", "TCP_JT808", "TCP_EC", "MQTT",
                                                "未知协议"};
    QTest::newRow("BraudRate_4") << "BraudRate_4"
                                 << QStringList{"TCP_透传", "TCP-JT808", "TCP_EC", "MQTT",
                                                "未知协议"};
    QTest::newRow("BraudRate_9") << "BraudRate_9" << deviceTypesR;
    QTest::newRow("BraudRate_10") << "BraudRate_10" << deviceTypesW;
}

void AppTest::comboListsInOrder()
{
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    ZorvikTestTool window;
    auto *combo = window.findChild<QComboBox *>(name);
    QVERIFY(combo);
    QCOMPARE(itemsOf(combo), items);
    QCOMPARE(combo->currentIndex(), 0);
}

void AppTest::startValuesAndEnabling()
{
    ZorvikTestTool window;
    WindowProbe probe(window);
    auto &ui = probe.ui();

    QCOMPARE(ui.readAddress_1->value(), 1);
    QCOMPARE(ui.readAddress_3->value(), 1);
    QCOMPARE(ui.readAddress_5->value(), 60);
    QCOMPARE(ui.readAddress_5->minimum(), 10);
    QCOMPARE(ui.readAddress_4->maximum(), 3600);
    QCOMPARE(ui.readAddress_2->maximum(), 254);
    QVERIFY(ui.connectButton->isDefault());
    QVERIFY(ui.lineEdit->isReadOnly());
    QVERIFY(ui.textEdit->isReadOnly());
    QVERIFY(!ui.textEdit->acceptRichText());

    for (QWidget *w :
         std::initializer_list<QWidget *>{ui.connectButton, ui.readButton_2, ui.autoConnectButton,
                                          ui.pushButton_4, ui.pushButton_5, ui.SerialComNum})
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui.disConnectButton, ui.readButton, ui.writeButton, ui.readSNbutton, ui.writeSNbutton,
             ui.pushButton_3, ui.pushButton_2, ui.pushButton, ui.readAddress_2, ui.braudRate_2,
             ui.BraudRate_5, ui.BraudRate_9, ui.readAddress_4})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));

    const auto checkBoxes = window.findChildren<QCheckBox *>();
    QCOMPARE(checkBoxes.size(), 12);
    for (QCheckBox *box : checkBoxes)
        QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));

    // The welcome replaces the layout's placeholder in the log window.
    QVERIFY(ui.textEdit->toPlainText().contains(
        QStringLiteral("技术支持：support@tavrin.example.com")));
}

void AppTest::sessionCopiesTheWidgets()
{
    ZorvikTestTool window;
    WindowProbe probe(window);
    const SessionState &s = probe.session();
    QCOMPARE(s.connectState, qint32(Idle));
    QCOMPARE(s.devAddress, quint8(1));
    QCOMPARE(s.wDevAddress, quint8(1));
    QCOMPARE(s.braudRate, 9600);
    QCOMPARE(s.wBraudRate, 9600);
    QCOMPARE(s.devBraudRate, 9600);
    QCOMPARE(s.writeMask, quint16(0));
    QCOMPARE(s.sessionFlags, quint16(0));
    QCOMPARE(s.readStep, kReadStepIdle);
    QCOMPARE(s.writeStep, quint16(0));
    QCOMPARE(s.comName, probe.ui().SerialComNum->currentText());
    QCOMPARE(probe.waitSelector(), 0);
    QVERIFY(probe.rxBuffer().isEmpty());
    QVERIFY(probe.tickTimer().isActive());
    QCOMPARE(probe.tickTimer().interval(), 10);
}

void AppTest::statusBarWelcomeAndStateTexts()
{
    ZorvikTestTool window;
    WindowProbe probe(window);
    QCOMPARE(window.statusBar()->currentMessage(),
             QStringLiteral("欢迎使用-技术支持 support@tavrin.example.com"));

    const QStringList texts{" 设备已断开 请重新连接",
                            " 手动连接设备中，请等待",
                            " 自动连接设备中，请等待",
                            " 设备连接成功",
                            " 连接失败,请检查线路连接及串口编号是否正确",
                            " 设备已断开 请重新连接"};
    for (int state = 0; state <= 5; ++state) {
        probe.showConnectState(state);
        QCOMPARE(window.statusBar()->currentMessage(), texts.at(state));
    }
    probe.showConnectState(42);
    QCOMPARE(window.statusBar()->currentMessage(), texts.at(5));
}

void AppTest::logEntryShape()
{
    ZorvikTestTool window;
    WindowProbe probe(window);
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\t"));

    probe.appendLog(QStringLiteral("批量读取参数开始"));
    QTextDocument *doc = probe.ui().textEdit->document();
    const QString entry = doc->lastBlock().text();
    const int firstEntry = doc->lastBlock().blockNumber();
    QVERIFY2(stamp.match(entry).hasMatch(), qPrintable(entry));
    QCOMPARE(entry.mid(20), QStringLiteral("批量读取参数开始"));

    probe.appendLog(QString());
    QVERIFY(stamp.match(doc->lastBlock().text()).hasMatch());
    QCOMPARE(doc->lastBlock().text().size(), 20);

    // What the terminal sent is shown as sent, even when it looks like markup.
    probe.appendLog(QStringLiteral("MQTT用户名为：<b>admin</b>"));
    QCOMPARE(doc->lastBlock().text().mid(20), QStringLiteral("MQTT用户名为：<b>admin</b>"));
    probe.appendLog(QStringLiteral("设备ID为：TV2400001"));

    // Every entry in the window's default format: not the link that ends the
    // welcome text, nor anything an entry before it held.
    for (QTextBlock block = doc->findBlockByNumber(firstEntry); block.isValid();
         block = block.next()) {
        QCOMPARE(block.blockFormat(), QTextBlockFormat());
        for (auto it = block.begin(); !it.atEnd(); ++it)
            QCOMPARE(it.fragment().charFormat(), QTextCharFormat());
    }

    // A message ending in CR LF is followed by an empty line.
    const int before = doc->blockCount();
    probe.appendLog(QStringLiteral("设备连接成功\r\n"));
    QCOMPARE(doc->blockCount(), before + 2);
    QCOMPARE(doc->lastBlock().text(), QString());
    QCOMPARE(doc->lastBlock().previous().text().mid(20), QStringLiteral("设备连接成功"));
}

void AppTest::logKeepsAtMost5000Blocks()
{
    ZorvikTestTool window;
    WindowProbe probe(window);
    QTextDocument *doc = probe.ui().textEdit->document();
    int most = 0;
    for (int i = 0; i < 5200; ++i) {
        probe.appendLog(QStringLiteral("entry %1").arg(i));
        most = qMax(most, doc->blockCount());
    }
    // Never more than 5000 paragraphs; the oldest, the welcome first, are gone
    // from the top, and what is left runs without a gap up to the newest entry.
    QCOMPARE(most, 5000);
    QVERIFY(doc->blockCount() >= 4000);
    QVERIFY(!probe.logText().contains(QStringLiteral("技术支持")));
    QCOMPARE(doc->firstBlock().text().mid(20),
             QStringLiteral("entry %1").arg(5200 - doc->blockCount()));
    QCOMPARE(doc->lastBlock().text().mid(20), QStringLiteral("entry 5199"));
}

void AppTest::logClearAndContextMenu()
{
    ZorvikTestTool window;
    WindowProbe probe(window);
    auto &ui = probe.ui();
    probe.appendLog(QStringLiteral("一"));
    QTest::mouseClick(ui.readButton_2, Qt::LeftButton);
    QVERIFY(ui.textEdit->toPlainText().isEmpty());
    probe.appendLog(QStringLiteral("二"));
    QCOMPARE(ui.textEdit->document()->blockCount(), 1);

    QMenu *menu = probe.logMenu();
    QVERIFY(menu);
    QCOMPARE(menu->parent(), ui.textEdit);
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(texts, (QStringList{"复制", "-", "选择全部", "-", "清除"}));
    QCOMPARE(ui.textEdit->contextMenuPolicy(), Qt::CustomContextMenu);

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCursor::setPos(window.mapToGlobal(QPoint(100, 700)));
    emit ui.textEdit->customContextMenuRequested(QPoint(5, 5));
    QTRY_VERIFY(menu->isVisible());
    // At the pointer (give or take the popup's frame), not at the point the signal reported.
    QVERIFY((menu->pos() - QCursor::pos()).manhattanLength() <= 8);
    QVERIFY((menu->pos() - ui.textEdit->mapToGlobal(QPoint(5, 5))).manhattanLength() > 100);
    menu->hide();

    menu->actions().at(2)->trigger(); // 选择全部
    QCOMPARE(ui.textEdit->textCursor().selectedText().mid(20), QStringLiteral("二"));
    menu->actions().at(4)->trigger(); // 清除
    QVERIFY(ui.textEdit->toPlainText().isEmpty());
}

void AppTest::settingsAreReadAtStart()
{
    {
        QSettings settings(settingsFilePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("snFilePath"), QStringLiteral("/srv/binding"));
        settings.setValue(QStringLiteral("lastComName"), QStringLiteral("ttyUSB7"));
    }
    ZorvikTestTool window;
    WindowProbe probe(window);
    QCOMPARE(probe.settingsPath(), settingsFilePath());
    QCOMPARE(probe.snFileDir(), QStringLiteral("/srv/binding"));
    QCOMPARE(probe.lastPortName(), QStringLiteral("ttyUSB7"));

    QFile::remove(settingsFilePath());
    ZorvikTestTool fresh;
    WindowProbe freshProbe(fresh);
    QVERIFY(freshProbe.snFileDir().isEmpty());
    QVERIFY(freshProbe.lastPortName().isEmpty());
    // Starting reads the file and writes nothing.
    QVERIFY(!QFile::exists(settingsFilePath()));
}

void AppTest::lastPortPreselectedOnlyWithFourCharacters()
{
    const QStringList ports{"COM1", "COM3"};
    QCOMPARE(portlist::preselectedIndex(ports, QStringLiteral("COM3")), 1);
    QCOMPARE(portlist::preselectedIndex(ports, QStringLiteral("COM9")), 0);
    QCOMPARE(portlist::preselectedIndex(ports, QString()), 0);
    QCOMPARE(portlist::preselectedIndex({"COM", "ttyS0"}, QStringLiteral("COM")), 0);
    QCOMPARE(portlist::preselectedIndex({"ttyS0", "COM"}, QStringLiteral("COM")), 0);
    QCOMPARE(portlist::preselectedIndex({"ttyS0", "ttyUSB0"}, QStringLiteral("ttyUSB0")), 1);
    QCOMPARE(portlist::preselectedIndex({}, QStringLiteral("ttyUSB0")), 0);
}

void AppTest::refreshEntryRebuildsOnce()
{
    ZorvikTestTool window;
    WindowProbe probe(window);
    QComboBox *combo = probe.ui().SerialComNum;
    QCOMPARE(combo->itemText(combo->count() - 1), QStringLiteral("刷新串口"));

    // A port of our own at the end, chosen by the user: its name is taken.
    combo->addItem(QStringLiteral("/dev/ttyFAKE0"));
    combo->setCurrentIndex(combo->count() - 1);
    QCOMPARE(probe.session().comName, QStringLiteral("/dev/ttyFAKE0"));

    // Highlighting another entry while a port is current changes nothing.
    emit combo->highlighted(0);
    QCOMPARE(probe.session().comName, QStringLiteral("/dev/ttyFAKE0"));

    // Choosing "刷新串口" rebuilds the list once: the system's ports, then
    // "刷新串口", the first entry current.
    combo->setCurrentIndex(combo->findText(QStringLiteral("刷新串口")));
    QCOMPARE(combo->itemText(combo->count() - 1), QStringLiteral("刷新串口"));
    QCOMPARE(combo->findText(QStringLiteral("/dev/ttyFAKE0")), -1);
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(probe.session().comName, combo->itemText(0));
}

void AppTest::openingMissingPortFails()
{
    ZorvikTestTool window;
    WindowProbe probe(window);
    probe.session().comName = QStringLiteral("/dev/ttyZorvikMissing0");
    probe.session().connectState = ManualConnecting;
    probe.openSerialPort(9600);

    QCOMPARE(boxes->count(), 1);
    QCOMPARE(boxes->last().title, QStringLiteral("串口操作错误"));
    QVERIFY(boxes->last().text.startsWith(QStringLiteral("请检查当前选择的串口是否可用!\r\n\r\n")));
    QVERIFY(boxes->last().text.size() > 20);
    QCOMPARE(probe.session().connectState, qint32(ConnectFailed));
    QCOMPARE(window.statusBar()->currentMessage(),
             QStringLiteral(" 连接失败,请检查线路连接及串口编号是否正确"));
    QVERIFY(!probe.serialPort().isOpen());
    QVERIFY(probe.ui().connectButton->isEnabled());
    QVERIFY(!probe.ui().readButton->isEnabled());

    QSettings settings(settingsFilePath(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("lastComName")).toString(),
             QStringLiteral("/dev/ttyZorvikMissing0"));
}

void AppTest::openingPtySetsLineAndCollectsBytes()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    ZorvikTestTool window;
    WindowProbe probe(window);
    probe.tickTimer().stop(); // the bytes must stay where they arrive
    probe.session().comName = pty.slavePath();
    probe.session().connectState = ManualConnecting;
    probe.openSerialPort(115200);
    QVERIFY(probe.serialPort().isOpen());
    QCOMPARE(boxes->count(), 0);
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral(" 手动连接设备中，请等待"));

    const PtyPair::LineSettings line = pty.lineSettings();
    QCOMPARE(line.baudRate, 115200);
    QCOMPARE(line.dataBits, 8);
    QCOMPARE(line.parity, 'N');
    QCOMPARE(line.stopBits, 1);
    QVERIFY(!line.rtsCts);
    QVERIFY(!line.xonXoff);

    probe.rxQuietTicks() = 3;
    pty.write(QByteArray("+CSQ: 23,99\r\n", 13));
    QTRY_COMPARE(probe.rxBuffer(), QByteArray("+CSQ: 23,99\r\n"));
    QCOMPARE(probe.rxQuietTicks(), quint16(0));
    pty.write(QByteArray("\0OK", 3));
    QTRY_COMPARE(probe.rxBuffer().size(), 16);
    QCOMPARE(probe.rxBuffer().mid(13), QByteArray("\0OK", 3));
}

void AppTest::writeChecksKeepTheirCouplings()
{
    ZorvikTestTool window;
    WindowProbe probe(window);
    auto &ui = probe.ui();
    const quint16 &mask = probe.session().writeMask;

    QTest::mouseClick(ui.checkBox_16, Qt::LeftButton); // 上传间隔
    QCOMPARE(mask, quint16(WriteBit::upDataInterval | WriteBit::mqttCode));
    QVERIFY(ui.checkBox_15->isChecked());
    QTest::mouseClick(ui.checkBox_16, Qt::LeftButton);
    QCOMPARE(mask, quint16(WriteBit::mqttCode));
    QVERIFY(ui.checkBox_15->isChecked());
    QTest::mouseClick(ui.checkBox_15, Qt::LeftButton);
    QCOMPARE(mask, quint16(0));

    QTest::mouseClick(ui.checkBox_4, Qt::LeftButton); // 服务器端口
    QCOMPARE(mask, quint16(WriteBit::srvAddr | WriteBit::srvPort));
    QVERIFY(ui.checkBox_3->isChecked());
    QTest::mouseClick(ui.checkBox_3, Qt::LeftButton); // 服务器地址
    QCOMPARE(mask, quint16(0));
    QVERIFY(!ui.checkBox_4->isChecked());

    // "站号：" and "SN" share one slot.
    ui.checkBox_8->setChecked(true); // set from code: no slot runs
    QCOMPARE(mask, quint16(0));
    QTest::mouseClick(ui.checkBox, Qt::LeftButton);
    QCOMPARE(mask, quint16(WriteBit::devAddress | WriteBit::serialNumber));
    QTest::mouseClick(ui.checkBox_8, Qt::LeftButton);
    QCOMPARE(mask, quint16(WriteBit::devAddress));

    QTest::mouseClick(ui.checkBox_2, Qt::LeftButton);
    QTest::mouseClick(ui.checkBox_7, Qt::LeftButton);
    QTest::mouseClick(ui.checkBox_13, Qt::LeftButton);
    QTest::mouseClick(ui.checkBox_14, Qt::LeftButton);
    QCOMPARE(mask, quint16(WriteBit::devAddress | WriteBit::braudRate | WriteBit::srvProtocol |
                           WriteBit::devType | WriteBit::mqttName));

    // "打开日志" wishes the terminal's log on and ends a wait for an answer
    // nobody reads (a write's).
    probe.waitSelector() = 29;
    QTest::mouseClick(ui.checkBox_5, Qt::LeftButton);
    QVERIFY(probe.session().has(SessionState::logWanted));
    QCOMPARE(probe.waitSelector(), 0);
    // Ending a connection unchecks the box and drops the wish with it.
    probe.refreshControls();
    QVERIFY(!ui.checkBox_5->isChecked());
    QVERIFY(!probe.session().has(SessionState::logWanted));
}

void AppTest::valueSettersStoreValues()
{
    ZorvikTestTool window;
    WindowProbe probe(window);
    auto &ui = probe.ui();
    ui.BraudRate_1->setCurrentIndex(ui.BraudRate_1->findText(QStringLiteral("57600")));
    QCOMPARE(probe.session().braudRate, 57600);
    ui.BraudRate_3->setCurrentIndex(2);
    QCOMPARE(probe.session().wBraudRate, 2400);
    ui.readAddress_1->setValue(200);
    QCOMPARE(probe.session().devAddress, quint8(200));
    ui.readAddress_3->setValue(17);
    QCOMPARE(probe.session().wDevAddress, quint8(17));
    ui.SNlineEdit->setText(QStringLiteral("TV123"));
    QCOMPARE(probe.session().wSN, QStringLiteral("TV123"));

    // Batch starts end each other.
    probe.session().writeStep = 30;
    QTest::mouseClick(ui.readButton, Qt::LeftButton); // disabled: nothing happens
    QCOMPARE(probe.session().writeStep, quint16(30));
    ui.readButton->setEnabled(true);
    QTest::mouseClick(ui.readButton, Qt::LeftButton);
    QCOMPARE(probe.session().writeStep, quint16(0));
    QCOMPARE(probe.session().readStep, kReadStepStart);
    QCOMPARE(lastEntry(window), QStringLiteral("批量读取参数开始"));
    ui.writeButton->setEnabled(true);
    QTest::mouseClick(ui.writeButton, Qt::LeftButton);
    QCOMPARE(probe.session().readStep, kReadStepIdle);
    QCOMPARE(probe.session().writeStep, kWriteStepStart);
    QCOMPARE(lastEntry(window), QStringLiteral("批量写入参数开始"));
}

QTEST_MAIN(AppTest)
#include "test_app.moc"
