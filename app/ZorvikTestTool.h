#pragma once

#include "session/SessionState.h"
#include "ui_ZorvikTestTool.h"

#include <QByteArray>
#include <QDate>
#include <QMainWindow>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QVector>

class QAction;
class QMenu;
class QProgressBar;

// The one window of the tool. It owns the layout, the session with the
// terminal, the serial port and the 10 ms tick that drives every exchange.
//
// Where its code lives (docs/ARCHITECTURE.md draws the whole of it): this
// class is declared here and built in app/ZorvikTestTool.cpp; every other
// member function is defined in a file named *_window.cpp, in the folder of
// the subsystem it belongs to: app/ (short slots, log window), protocol/ (sending
// commands, reading replies), session/ (view, serial port, tick, connection,
// batch read and write), binding/ (SN binding file), records/ (record and
// log file). Every file without that mark knows nothing of the window: pure
// functions in a namespace (bytes and text in, values out) that the members
// call, plus the few that say at their top what else they touch. The line's
// timing is in session/timing.h.
class ZorvikTestTool : public QMainWindow
{
    Q_OBJECT

public:
    explicit ZorvikTestTool(QWidget *parent = nullptr);
    ~ZorvikTestTool() override;

private slots:
    // Each slot with the control that triggers it: object name "caption". The
    // short ones are in app/actions_window.cpp; the tick, the connect buttons,
    // the port list, the log's clear button and the binding's controls are
    // with their subsystem.
    void _10msTimerCallback();               // tickTimer, every 10 ms: the engine
    void onConnectButtonClicked();           // connectButton "连接设备"
    void onautoConnectButtonClicked();       // autoConnectButton "自动连接"
    void onDisConnectButtonClicked();        // disConnectButton "断开连接"
    void onReadButtonClicked();              // readButton "批量读取"
    void onWriteButtonClicked();             // writeButton "批量写入"
    void onAutoReadButtonClicked();          // readButton_2 "清除窗口"
    void onpushButton_3Clicked();            // pushButton_3 "打开继电器1" / "关闭继电器1"
    void onpushButton_2Clicked();            // pushButton_2 "打开继电器2" / "关闭继电器2"
    void onpushButtonClicked();              // pushButton "打开继电器3" / "关闭继电器3"
    void onpushButton_4Clicked();            // pushButton_4 "打开设备" / "关闭设备"
    void onpushButton_5Clicked();            // pushButton_5 "打开SN绑定文件"
    void readSNButtonClicked();              // readSNbutton "读取SN号"
    void writeSNButtonClicked();             // writeSNbutton "写入SN号"
    void onSerialComNumChanged(int index);   // SerialComNum, the port list after "端口:"
    void onBraudRate_1Changed(int index);    // BraudRate_1, the rate to connect at, "波特率："
    void onWBraudRate_1Changed(int index);   // BraudRate_3, the baud rate to write
    void onDevAddressChanged(int address);   // readAddress_1, the station address, "站号："
    void onWDevAddressChanged(int address);  // readAddress_3, the station address to write
    void onWupDataIntervalChanged(int Time); // readAddress_5, the upload interval to write
    void devNumCheckClicked();               // checkBox "站号：" and checkBox_8 "SN"
    void braudRateCheckClicked();            // checkBox_2 "波特率："
    void srvProtocolCheckClicked();          // checkBox_7 "服务器协议："
    void devTypeCheckClicked();              // checkBox_13 "设备类型："
    void upDataIntervalCheckClicked();       // checkBox_16 "上传间隔："
    void srvAddrCheckClicked();              // checkBox_3 "服务器地址:"
    void srvPortCheckClicked();              // checkBox_4 "服务器端口："
    void mqttNameCheckClicked();             // checkBox_14 "MQTT登录名："
    void mqttCodeCheckClicked();             // checkBox_15 "MQTT登录密钥："
    void gsmLogCheckClicked();               // checkBox_5 "打开日志"
    void bindSNfileCheckClicked();           // checkBox_6 "SN绑定文件"
    void snLineChanged();                    // SNlineEdit, the SN to write, before "读取SN号"

private:
    // Log window (app/log_window.cpp).
    void appendLog(QString message);
    void flushLog();
    void holdLogRepaints(bool hold);
    void showLogHeight();
    void setupLogWindow();
    void setupLogRepaints();
    void setupLogDocument();
    void setupLogMenu();

    // While one is alive (the tick holds one), log entries wait and go into
    // the log window together when it ends.
    struct LogBatch
    {
        explicit LogBatch(ZorvikTestTool &window);
        ~LogBatch();
        LogBatch(const LogBatch &) = delete;
        LogBatch &operator=(const LogBatch &) = delete;
        ZorvikTestTool &w;
    };

    // Construction helpers (app/ZorvikTestTool.cpp).
    void connectWidgetSignals();

    // Modbus RTU (protocol/modbus_window.cpp).
    quint16 crc16(const quint8 *bytes, quint8 count) const;
    bool sendRs485Frame(quint8 address, quint8 function, quint16 reg, quint16 value);
    bool parseRs485Reply(const char *data, quint16 length);

    // Sending commands (protocol/commands_window.cpp) and AT replies
    // (protocol/atreplies_window.cpp).
    void sendCommand(int selector);
    bool parseAtReply(const char *data, quint16 length);
    bool takeResultCode();

    // The session shown, and the serial port (session/view_window.cpp,
    // session/serial_window.cpp).
    void showConnectState(int state);
    void showProgress();
    void refreshControls();
    void keepTerminalViewAtStart();
    void forgetTerminal();
    void initSessionFromUi();
    void openSerialPort(int baud);
    void onSerialError(QSerialPort::SerialPortError error);
    void onSerialReadyRead();
    bool writeCommandBytes(const QByteArray &bytes);
    void discardReceived();
    void dropReceivedFront(int count);
    void writeAndClosePort();

    // Tick engine (session/tick_window.cpp).
    void receiveStage();
    void takeUnterminatedOutput();
    void routeReply();
    bool awaitsResultCode() const;
    bool stepMayAdvance(quint16 &beatCounter);

    // Connection (session/connection_window.cpp).
    bool connectMayStart();
    bool connectWindowBeat();
    void manualConnectBeat();
    void autoConnectBeat();
    void handleConnectionReply();
    void requestAtEnable();
    void syncDeviceLog();
    void letTerminalGo(const QString &logLine, const QString &recordReason);

    // Batch read and write (session/batch_window.cpp).
    void readStepBeat();
    void writeStepBeat();
    void verifyWrite();
    void writeRefused(int selector);
    void stopBatches();
    bool typedValuesAcceptable(const WriteSnapshot &write, quint16 bits);

    // SN binding (binding/binding_window.cpp).
    bool bindingCredentialsAcceptable();

    // Provisioning record and daily log file (records/records_window.cpp).
    void openRecords(bool logFileWanted);
    void closeRecords();
    void beginRecordedWrite();
    void recordWriteVerdict(quint16 failed);
    void recordWriteInterrupted(const QString &why);
    void appendRecord(const QString &verdict, const QString &note, bool readBack);
    bool saveRecord();
    void keepRecordApart();
    QStringList recordedValues() const;
    QString recordedBindingFile(const WriteSnapshot &write) const;
    bool repeatedSerialNumberAllowed(const QString &sn, bool *repeated);
    void keepLogEntry(const QString &entry, const QDate &day);
    void flushLogFile();
    void removeOldLogFiles();
    void reportSaveResult(QString &fault, const QString &what, const QString &path,
                          const QString &reason);

    SessionState session;
    Ui::ZorvikTestToolClass ui;
    QTimer tickTimer;
    QSerialPort serialPort;
    quint16 tick100ms = 0;
    quint16 tick2s = 0;
    quint16 rxQuietTicks = 0;
    int waitSelector = 0;
    QByteArray rxBuffer;
    QString settingsPath;
    QString snFileDir;
    QString lastPortName;
    QString snBindingFile;
    QStringList snBindingLines;

    // The log window's context menu; children of the log window.
    QMenu *logMenu = nullptr;
    QAction *copyAction = nullptr;
    QAction *selectAllAction = nullptr;
    QAction *clearAction = nullptr;
    QStringList pendingLog; // entries not yet in the log window
    int logBatchDepth = 0;
    QTimer logRepaintTimer;     // holds the log window's repaints back in a storm
    QVector<int> logScrollLook; // what the log's scroll bar showed when its repaints were held
    qint64 logStampSecond = -1; // the second that logStamp shows
    QString logStamp;           // "yyyy-MM-dd HH:mm:ss\t"
    QDate logStampDay;

    // How far rxBuffer has been looked at: its size when last offered to the
    // parsers (unchanged bytes are not parsed again), and where the text not
    // yet handled as unsolicited output begins (a report is handled once).
    int rxOfferedSize = 0;
    int rxUnsolicitedFrom = 0;
    // The bytes of the last command written, until the receive stage has seen
    // whether an echoing adapter sent them back in front of the answer.
    QByteArray rxEcho;
    // The 2 s device-log sync has fallen due and waits for an awaited reply.
    bool logSyncDue = false;

    // What the fields that show the terminal's state held at start, the relay
    // and device buttons' captions included: each new connection starts from it.
    struct ShownAtStart
    {
        QObject *widget;
        const char *property;
        QVariant value;
    };
    QVector<ShownAtStart> terminalViewAtStart;
    QString baudShownAtStart; // item 0 of braudRate_2, where the baud rate read is shown

    // Steps done of steps to do while a sequence runs, on the right of the
    // status bar; hidden otherwise. A sequence that has just completed shows
    // it full until the next beat.
    QProgressBar *progressBar = nullptr;
    bool progressCompleted = false;

    // Set while the port list is rebuilt, so the combo's own change
    // notifications cannot start another rebuild.
    bool rebuildingPortList = false;

    // The provisioning record and the daily log files, in the user's data
    // folder. A write is pending from "批量写入" until its line is recorded.
    QString recordPath;
    QString logFolder;
    bool logFileOn = true;
    bool writePending = false;
    bool recordPathShown = false;
    QByteArray unsavedRecord; // record lines another program kept out so far
    QByteArray logFileBuffer; // entries not yet in the log file of logFileDay
    int droppedLogLines = 0;  // of logFileBuffer, while the log file kept failing
    QDate logFileDay;
    QTimer logFileTimer;
    QString recordFault; // why the record could not be saved last; empty while it can
    QString logFileFault;

    friend class WindowProbe; // tests only
};
