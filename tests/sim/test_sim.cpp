// terminal-sim as a technician starts it: the options shape the terminal that
// answers on the pseudo-terminal whose path it prints.

#include <QProcess>
#include <QSerialPort>
#include <QtTest>

class SimTest : public QObject
{
    Q_OBJECT

private slots:
    void optionsShapeTheTerminal()
    {
        QProcess sim;
        sim.start(QStringLiteral(TERMINAL_SIM),
                  {"--sn", "AB12", "--address", "5", "--baud-code", "3", "--silent-writes"});
        QVERIFY(sim.waitForReadyRead(10000));
        QSerialPort port(QString::fromLocal8Bit(sim.readLine().trimmed()));
        port.setBaudRate(115200);
        QVERIFY(port.open(QIODevice::ReadWrite));
        const QByteArray stationRead = QByteArray::fromHex("000301000001 8427");
        port.write("AT+SN=AB13\r\nAT+SN?\r\n" + stationRead); // the write taken without a word
        const QByteArray answers = "+SN:AB13\r\nOK\r\n" + QByteArray::fromHex("0503020005 8987");
        QByteArray received;
        QTRY_COMPARE_WITH_TIMEOUT((received += port.readAll()), answers, 10000);
    }
};

QTEST_GUILESS_MAIN(SimTest)
#include "test_sim.moc"
