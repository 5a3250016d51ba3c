#pragma once

#include "app/ZorvikTestTool.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The tests' one way into the window's private state. Users never get here:
// they click, and so do the tests wherever a click exists.
class WindowProbe
{
public:
    explicit WindowProbe(ZorvikTestTool &window) : w(window) {}

    SessionState &session() { return w.session; }
    Ui::ZorvikTestToolClass &ui() { return w.ui; }
    QTimer &tickTimer() { return w.tickTimer; }
    QSerialPort &serialPort() { return w.serialPort; }
    QByteArray &rxBuffer() { return w.rxBuffer; }
    int &waitSelector() { return w.waitSelector; }
    int &rxOfferedSize() { return w.rxOfferedSize; }
    int &rxUnsolicitedFrom() { return w.rxUnsolicitedFrom; }
    quint16 &tick100ms() { return w.tick100ms; }
    quint16 &tick2s() { return w.tick2s; }
    QString &snFileDir() { return w.snFileDir; }
    QString &lastPortName() { return w.lastPortName; }
    QStringList &snBindingLines() { return w.snBindingLines; }
    QMenu *logMenu() { return w.logMenu; }
    QString &recordPath() { return w.recordPath; }
    QString &logFolder() { return w.logFolder; }
    bool &writePending() { return w.writePending; }
    bool &recordPathShown() { return w.recordPathShown; }

    void tick() { w._10msTimerCallback(); }
    // The window's receive slot wired again, after a fixture's own.
    void connectReadyRead()
    {
        QObject::connect(&w.serialPort, &QSerialPort::readyRead, &w,
                         &ZorvikTestTool::onSerialReadyRead);
    }
    void appendLog(const QString &message) { w.appendLog(message); }
    void refreshControls() { w.refreshControls(); }
    void openSerialPort(int baud) { w.openSerialPort(baud); }
    void sendCommand(int selector) { w.sendCommand(selector); }
    bool parseRs485Reply(const QByteArray &bytes)
    {
        return w.parseRs485Reply(bytes.constData(), quint16(bytes.size()));
    }
    bool parseAtReply(const QByteArray &bytes)
    {
        return w.parseAtReply(bytes.constData(), quint16(bytes.size()));
    }
    void verifyWrite() { w.verifyWrite(); }
    void flushLogFile() { w.flushLogFile(); }
    void keepLogEntry(const QString &entry, const QDate &day) { w.keepLogEntry(entry, day); }

    QString logText() const { return w.ui.textEdit->toPlainText(); }
    // The timestamp in front of every log entry, at the start of any line.
    static const QRegularExpression &logStamp()
    {
        static const QRegularExpression stamp(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\t"),
            QRegularExpression::MultilineOption);
        return stamp;
    }
    // The log window's entries, timestamps removed; an entry's own line breaks
    // come back as "\r\n", so entries compare equal to the texts logged.
    QStringList logEntries() const
    {
        QStringList entries;
        for (const QString &line : logText().split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch match = logStamp().match(line);
            if (match.hasMatch())
                entries << line.mid(match.capturedLength());
            else if (!entries.isEmpty())
                entries.last() += QStringLiteral("\r\n") + line;
        }
        return entries;
    }

private:
    ZorvikTestTool &w;
};
