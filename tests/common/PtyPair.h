#pragma once

#include <QByteArray>
#include <QString>

#include "ptyline.h"

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
    // the master side, where tcgetattr returns the slave's termios.
    using LineSettings = ::LineSettings;

    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_ends.masterFd >= 0; }
    int masterFd() const { return m_ends.masterFd; }
    QString slavePath() const { return m_ends.slavePath; }

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
    ptyline::Ends m_ends;
};
