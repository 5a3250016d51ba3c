// terminal-sim started as a technician starts it: the options shape the
// terminal that answers on the pseudo-terminal whose path it prints, and an
// option it cannot honour ends it with a usage error. What the terminal
// answers is checked through the tool by the other tests.

#include <QProcess>
#include <QSerialPort>
#include <QtTest>

class SimTest : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
};

void SimTest::commandLine_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("baud"); // 0: refused
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer"); // or what standard error says
    const QByteArray sn = "AT+SN?\r\n";
    QTest::newRow("defaults") << QStringList() << 9600 << sn
                              << QByteArray("+SN:TV2400001\r\nOK\r\n");
    QTest::newRow("sn, echo") << QStringList{"--sn", "AB12", "--echo"} << 9600 << sn
                              << sn + "+SN:AB12\r\nOK\r\n";
    QTest::newRow("station 5 at 115200")
        << QStringList{"--address", "5", "--baud-code", "3"} << 115200
        << QByteArray::fromHex("000301000001 8427") << QByteArray::fromHex("0503020005 8987");
    QTest::newRow("AT disabled") << QStringList{"--at-disabled"} << 9600
                                 << QByteArray("AT+ENATCMD?\r\n")
                                 << QByteArray("ENATCMD:1:0\r\nOK\r\n");
    QTest::newRow("address 255") << QStringList{"--address", "255"} << 0 << QByteArray()
                                 << QByteArray("--address takes a number from 1 to 254");
    QTest::newRow("pty and port") << QStringList{"--pty", "--port", "ttyS0"} << 0 << QByteArray()
                                  << QByteArray("--pty and --port exclude each other");
}

void SimTest::commandLine()
{
    QFETCH(QStringList, options);
    QFETCH(int, baud);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QProcess sim;
    sim.start(QStringLiteral(TERMINAL_SIM), options);
    if (baud == 0) {
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(sim.readAllStandardError().contains(answer));
        return;
    }
    QVERIFY(sim.waitForReadyRead(10000));
    QSerialPort port(QString::fromLocal8Bit(sim.readLine().trimmed()));
    port.setBaudRate(baud);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    port.write(request);
    QByteArray received;
    QTRY_COMPARE_WITH_TIMEOUT((received += port.readAll()), answer, 10000);
    sim.kill();
    sim.waitForFinished();
}

QTEST_GUILESS_MAIN(SimTest)
#include "test_sim.moc"
