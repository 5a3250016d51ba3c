#include "app/ZorvikTestTool.h"

#include "app/branding.h"
#include "app/settingsfile.h"
#include "session/timing.h"

#include <QDir>
#include <QProgressBar>
#include <QStandardPaths>
#include <QStatusBar>

ZorvikTestTool::ZorvikTestTool(QWidget *parent) : QMainWindow(parent)
{
    ui.setupUi(this);
    keepTerminalViewAtStart();

    const QString configDir = QStandardPaths::writableLocation(QStandardPaths::ConfigLocation);
    settingsPath = configDir + QStringLiteral("/Setting.ini");
    QDir().mkpath(configDir);
    {
        SettingsFile settings(settingsPath);
        snFileDir = settings.value(QStringLiteral("snFilePath")).toString();
        lastPortName = settings.value(QStringLiteral("lastComName")).toString();
        // A site that wants no log on disk sets "logFile=false".
        openRecords(settings.value(QStringLiteral("logFile"), true).toBool());
    }

    initSessionFromUi();
    setupLogWindow();

    statusBar()->showMessage(tr("欢迎使用-技术支持 ") + QLatin1String(branding::kSupportEmail), 0);
    progressBar = new QProgressBar(statusBar());
    progressBar->setObjectName(QStringLiteral("progressBar"));
    statusBar()->addPermanentWidget(progressBar);
    progressBar->hide();

    tickTimer.setInterval(timing::kTickIntervalMs);
    connect(&tickTimer, &QTimer::timeout, this, &ZorvikTestTool::_10msTimerCallback);
    tickTimer.start();

    connect(&serialPort, &QSerialPort::errorOccurred, this, &ZorvikTestTool::onSerialError);
    connect(&serialPort, &QSerialPort::readyRead, this, &ZorvikTestTool::onSerialReadyRead);

    ui.connectButton->setEnabled(true);
    ui.readButton_2->setEnabled(true);
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui.disConnectButton, ui.readButton, ui.writeButton, ui.readSNbutton, ui.writeSNbutton,
             ui.pushButton_3, ui.pushButton_2, ui.pushButton})
        w->setEnabled(false);

    ui.textEdit->setMarkdown(QString::fromUtf8(branding::kWelcomeLine) +
                             QStringLiteral("\r\n\r\n") + QStringLiteral("技术支持：") +
                             QLatin1String(branding::kSupportEmail) + QStringLiteral("\r\n\r\n") +
                             QLatin1String(branding::kWebAddress));

    connectWidgetSignals();
}

ZorvikTestTool::~ZorvikTestTool()
{
    closeRecords();
    if (serialPort.isOpen())
        serialPort.close();
}

// Every user action reaches its slot through exactly one of these connections,
// made after the initial copy so that no slot runs during construction.
void ZorvikTestTool::connectWidgetSignals()
{
    using Self = ZorvikTestTool;
    connect(ui.connectButton, &QPushButton::clicked, this, &Self::onConnectButtonClicked);
    connect(ui.autoConnectButton, &QPushButton::clicked, this, &Self::onautoConnectButtonClicked);
    connect(ui.disConnectButton, &QPushButton::clicked, this, &Self::onDisConnectButtonClicked);
    connect(ui.readButton, &QPushButton::clicked, this, &Self::onReadButtonClicked);
    connect(ui.writeButton, &QPushButton::clicked, this, &Self::onWriteButtonClicked);
    connect(ui.readButton_2, &QPushButton::clicked, this, &Self::onAutoReadButtonClicked);
    connect(ui.writeSNbutton, &QPushButton::clicked, this, &Self::writeSNButtonClicked);
    connect(ui.readSNbutton, &QPushButton::clicked, this, &Self::readSNButtonClicked);
    connect(ui.pushButton_3, &QPushButton::clicked, this, &Self::onpushButton_3Clicked);
    connect(ui.pushButton_2, &QPushButton::clicked, this, &Self::onpushButton_2Clicked);
    connect(ui.pushButton, &QPushButton::clicked, this, &Self::onpushButtonClicked);
    connect(ui.pushButton_4, &QPushButton::clicked, this, &Self::onpushButton_4Clicked);
    connect(ui.pushButton_5, &QPushButton::clicked, this, &Self::onpushButton_5Clicked);
    connect(ui.SerialComNum, QOverload<int>::of(&QComboBox::highlighted), this,
            &Self::onSerialComNumChanged);
    connect(ui.SerialComNum, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Self::onSerialComNumChanged);
    connect(ui.BraudRate_1, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Self::onBraudRate_1Changed);
    connect(ui.BraudRate_3, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Self::onWBraudRate_1Changed);
    connect(ui.readAddress_1, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &Self::onDevAddressChanged);
    connect(ui.readAddress_3, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &Self::onWDevAddressChanged);
    connect(ui.readAddress_5, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &Self::onWupDataIntervalChanged);
    connect(ui.checkBox, &QCheckBox::clicked, this, &Self::devNumCheckClicked);
    connect(ui.checkBox_2, &QCheckBox::clicked, this, &Self::braudRateCheckClicked);
    connect(ui.checkBox_7, &QCheckBox::clicked, this, &Self::srvProtocolCheckClicked);
    connect(ui.checkBox_13, &QCheckBox::clicked, this, &Self::devTypeCheckClicked);
    connect(ui.checkBox_16, &QCheckBox::clicked, this, &Self::upDataIntervalCheckClicked);
    connect(ui.checkBox_3, &QCheckBox::clicked, this, &Self::srvAddrCheckClicked);
    connect(ui.checkBox_4, &QCheckBox::clicked, this, &Self::srvPortCheckClicked);
    connect(ui.checkBox_14, &QCheckBox::clicked, this, &Self::mqttNameCheckClicked);
    connect(ui.checkBox_15, &QCheckBox::clicked, this, &Self::mqttCodeCheckClicked);
    connect(ui.checkBox_5, &QCheckBox::clicked, this, &Self::gsmLogCheckClicked);
    connect(ui.checkBox_6, &QCheckBox::clicked, this, &Self::bindSNfileCheckClicked);
    connect(ui.checkBox_8, &QCheckBox::clicked, this, &Self::devNumCheckClicked);
    connect(ui.SNlineEdit, &QLineEdit::textChanged, this, &Self::snLineChanged);
}
