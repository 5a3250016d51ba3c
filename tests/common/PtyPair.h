#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair for tests: the code under test opens slavePath() like
// a serial adapter, the test plays the terminal on the master side.
//
// The pair keeps a descriptor of its own on the slave for its whole life. On
// Linux the master reports a hang-up (and reads fail with EIO) whenever no one
// has the slave open, which would otherwise happen each time the code under
// test closes and reopens its port.
class PtyPair
{
public:
    // The slave's line settings as the code under test last set them; read on
    // the master side, where tcgetattr returns the slave's termios. The Linux
    // pty driver forces 8 data bits without parity whatever is asked, so only
    // the rate, the stop bits and the flow control tell anything.
    struct LineSettings
    {
        int baudRate = 0; // output rate in bit/s, 0 when unknown
        int dataBits = 8;
        char parity = 'N'; // 'N', 'E' or 'O'
        int stopBits = 1;
        bool rtsCts = false;
        bool xonXoff = false;
    };

    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_masterFd >= 0; }
    int masterFd() const { return m_masterFd; }
    QString slavePath() const { return m_slavePath; }

    LineSettings lineSettings() const;
    // Sets the slave's output and input rate from the master side, as if the
    // port had been opened at that rate.
    bool setBaudRate(int baudRate);

    // Writes on the master side: the bytes arrive at the slave. Returns the
    // number of bytes written, -1 on error.
    qint64 write(const QByteArray &bytes);
    // Everything the slave side has written so far, without waiting.
    QByteArray readAvailable();

    // Closes the master as if the adapter were unplugged: the slave side then
    // sees a hang-up.
    void closeMaster();

private:
    int m_masterFd = -1;
    int m_slaveFd = -1;
    QString m_slavePath;
};
